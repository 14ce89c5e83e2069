<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>UninstallTQ58</name>
    <message id="WINDOW_TITLE">
        <source>Uninstall TQ-58</source>
        <translation>Uninstall TQ-58</translation>
    </message>
    <message id="FIRST_MSG">
        <source>This removes the TQ-58 printer driver from this computer: the filter, the status daemon, the status utility, the profiles and the PPD. You will be asked for an administrator password.</source>
        <translation>This removes the TQ-58 printer driver from this computer: the filter, the status daemon, the status utility, the profiles and the PPD. You will be asked for an administrator password.</translation>
    </message>
    <message id="EXEC_MSG">
        <source>Removing the TQ-58 printer driver…</source>
        <translation>Removing the TQ-58 printer driver…</translation>
    </message>
    <message id="SUCCESS_MSG">
        <source>The TQ-58 printer driver has been removed.</source>
        <translation>The TQ-58 printer driver has been removed.</translation>
    </message>
    <message id="FAIL_MSG">
        <source>The TQ-58 printer driver could not be removed completely. You can try again.</source>
        <translation>The TQ-58 printer driver could not be removed completely. You can try again.</translation>
    </message>
    <message id="EXIT">
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message id="UNINSTALL_BUTTON">
        <source>Uninstall</source>
        <translation>Uninstall</translation>
    </message>
    <message id="CANCEL_BUTTON">
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
</context>
</TS>
