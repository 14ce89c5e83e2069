<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de" sourcelanguage="en">
<context>
    <name>UninstallTQ58</name>
    <message id="WINDOW_TITLE">
        <source>Uninstall TQ-58</source>
        <translation>TQ-58 deinstallieren</translation>
    </message>
    <message id="FIRST_MSG">
        <source>This removes the TQ-58 printer driver from this computer: the filter, the status daemon, the status utility, the profiles and the PPD. You will be asked for an administrator password.</source>
        <translation>Damit wird der Druckertreiber TQ-58 von diesem Computer entfernt: der Filter, der Statusdienst, das Statusprogramm, die Profile und die PPD. Sie werden nach einem Administratorkennwort gefragt.</translation>
    </message>
    <message id="EXEC_MSG">
        <source>Removing the TQ-58 printer driver…</source>
        <translation>Der Druckertreiber TQ-58 wird entfernt …</translation>
    </message>
    <message id="SUCCESS_MSG">
        <source>The TQ-58 printer driver has been removed.</source>
        <translation>Der Druckertreiber TQ-58 wurde entfernt.</translation>
    </message>
    <message id="FAIL_MSG">
        <source>The TQ-58 printer driver could not be removed completely. You can try again.</source>
        <translation>Der Druckertreiber TQ-58 konnte nicht vollständig entfernt werden. Sie können es erneut versuchen.</translation>
    </message>
    <message id="EXIT">
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message id="UNINSTALL_BUTTON">
        <source>Uninstall</source>
        <translation>Deinstallieren</translation>
    </message>
    <message id="CANCEL_BUTTON">
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
</TS>
