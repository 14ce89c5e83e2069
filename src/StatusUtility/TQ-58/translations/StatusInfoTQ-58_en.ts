<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>StatusInfoTQ-58</name>
    <message id="percent0">
        <source>0%</source>
        <translation>0%</translation>
    </message>
    <message id="percent50">
        <source>50%</source>
        <translation>50%</translation>
    </message>
    <message id="percent100">
        <source>100%</source>
        <translation>100%</translation>
    </message>
    <message id="statusGroupTitle">
        <source>Printer status</source>
        <translation>Printer status</translation>
    </message>
    <message id="totalCountGroupTitle">
        <source>Total prints</source>
        <translation>Total prints</translation>
    </message>
    <message id="serialNoGroupTitle">
        <source>Serial number</source>
        <translation>Serial number</translation>
    </message>
    <message id="update">
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message id="firmVersionGroupTitle">
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message id="mediaGroupTitle">
        <source>Media </source>
        <translation>Media </translation>
    </message>
    <message id="sheets">
        <source>prints</source>
        <translation>prints</translation>
    </message>
    <message id="mediaDigital">
        <source>Digital</source>
        <translation>Digital</translation>
    </message>
    <message id="mediaPremiumDigital">
        <source>Premium Digital</source>
        <translation>Premium Digital</translation>
    </message>
    <message id="mediaPurePremium">
        <source>Pure Premium</source>
        <translation>Pure Premium</translation>
    </message>
    <message id="size_00150">
        <source>4 in wide (102 mm)</source>
        <translation>4 in wide (102 mm)</translation>
    </message>
    <message id="size_00161">
        <source>4.5 in wide (115 mm)</source>
        <translation>4.5 in wide (115 mm)</translation>
    </message>
    <message id="st_00000">
        <source>Ready</source>
        <translation>Ready</translation>
    </message>
    <message id="st_00001">
        <source>Printing</source>
        <translation>Printing</translation>
    </message>
    <message id="st_00500">
        <source>Cooling down</source>
        <translation>Cooling down</translation>
    </message>
    <message id="st_00900">
        <source>Standby</source>
        <translation>Standby</translation>
    </message>
    <message id="st_01000">
        <source>Cover open</source>
        <translation>Cover open</translation>
    </message>
    <message id="st_01010">
        <source>Scrap box missing</source>
        <translation>Scrap box missing</translation>
    </message>
    <message id="st_01100">
        <source>Out of paper</source>
        <translation>Out of paper</translation>
    </message>
    <message id="st_01200">
        <source>Out of ribbon</source>
        <translation>Out of ribbon</translation>
    </message>
    <message id="st_01300">
        <source>Paper jam</source>
        <translation>Paper jam</translation>
    </message>
    <message id="st_01400">
        <source>Ribbon error</source>
        <translation>Ribbon error</translation>
    </message>
    <message id="st_01500">
        <source>Paper error</source>
        <translation>Paper error</translation>
    </message>
    <message id="st_01600">
        <source>Printer error</source>
        <translation>Printer error</translation>
    </message>
    <message id="st_02000">
        <source>System error 2000</source>
        <translation>System error 2000</translation>
    </message>
    <message id="st_02100">
        <source>System error 2100</source>
        <translation>System error 2100</translation>
    </message>
    <message id="st_02200">
        <source>System error 2200</source>
        <translation>System error 2200</translation>
    </message>
    <message id="st_02300">
        <source>System error 2300</source>
        <translation>System error 2300</translation>
    </message>
    <message id="st_02400">
        <source>System error 2400</source>
        <translation>System error 2400</translation>
    </message>
    <message id="st_02500">
        <source>System error 2500</source>
        <translation>System error 2500</translation>
    </message>
    <message id="st_02600">
        <source>System error 2600</source>
        <translation>System error 2600</translation>
    </message>
    <message id="st_02610">
        <source>System error 2610</source>
        <translation>System error 2610</translation>
    </message>
    <message id="st_02700">
        <source>System error 2700</source>
        <translation>System error 2700</translation>
    </message>
    <message id="st_02800">
        <source>System error 2800</source>
        <translation>System error 2800</translation>
    </message>
    <message id="st_03000">
        <source>System error 3000</source>
        <translation>System error 3000</translation>
    </message>
    <message id="st_99999">
        <source>Offline</source>
        <translation>Offline</translation>
    </message>
    <message id="ms_00001">
        <source>The printer is ready to print.</source>
        <translation>The printer is ready to print.</translation>
    </message>
    <message id="ms_00002">
        <source>A print job is in progress. Do not open the cover or switch the printer off.</source>
        <translation>A print job is in progress. Do not open the cover or switch the printer off.</translation>
    </message>
    <message id="ms_00003">
        <source>The print head is cooling down. Printing continues by itself in a moment.</source>
        <translation>The print head is cooling down. Printing continues by itself in a moment.</translation>
    </message>
    <message id="ms_00004">
        <source>Printing is paused while the print head cools. It continues by itself.</source>
        <translation>Printing is paused while the print head cools. It continues by itself.</translation>
    </message>
    <message id="ms_00005">
        <source>The printer is in standby. It wakes up when the next job arrives.</source>
        <translation>The printer is in standby. It wakes up when the next job arrives.</translation>
    </message>
    <message id="ms_00006">
        <source>No data from the printer. Check that it is switched on and that its USB cable is connected.</source>
        <translation>No data from the printer. Check that it is switched on and that its USB cable is connected.</translation>
    </message>
    <message id="ms_00100">
        <source>Close the printer's cover.</source>
        <translation>Close the printer's cover.</translation>
    </message>
    <message id="ms_00101">
        <source>Insert the scrap box into the printer.</source>
        <translation>Insert the scrap box into the printer.</translation>
    </message>
    <message id="ms_00102">
        <source>Load a new paper roll.</source>
        <translation>Load a new paper roll.</translation>
    </message>
    <message id="ms_00103">
        <source>The ink ribbon is used up. Replace the ribbon and paper.</source>
        <translation>The ink ribbon is used up. Replace the ribbon and paper.</translation>
    </message>
    <message id="ms_00104">
        <source>Open the cover, remove the jammed paper, then close the cover.</source>
        <translation>Open the cover, remove the jammed paper, then close the cover.</translation>
    </message>
    <message id="ms_00105">
        <source>Check that the ink ribbon is installed correctly and not torn, or replace it.</source>
        <translation>Check that the ink ribbon is installed correctly and not torn, or replace it.</translation>
    </message>
    <message id="ms_00106">
        <source>Check that the paper is loaded correctly and matches the ink ribbon.</source>
        <translation>Check that the paper is loaded correctly and matches the ink ribbon.</translation>
    </message>
    <message id="ms_00107">
        <source>The printer reported an error. Switch it off and on again.</source>
        <translation>The printer reported an error. Switch it off and on again.</translation>
    </message>
    <message id="ms_00108">
        <source>The loaded media is not supported. Load a paper and ribbon set made for this printer.</source>
        <translation>The loaded media is not supported. Load a paper and ribbon set made for this printer.</translation>
    </message>
    <message id="ms_00200">
        <source>System error 2000. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2000. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00201">
        <source>System error 2100. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2100. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00202">
        <source>System error 2200. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2200. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00203">
        <source>System error 2300. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2300. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00204">
        <source>System error 2400. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2400. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00205">
        <source>System error 2500. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2500. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00206">
        <source>System error 2600. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2600. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00207">
        <source>System error 2610. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2610. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00208">
        <source>System error 2700. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2700. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00209">
        <source>System error 2800. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 2800. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
    <message id="ms_00210">
        <source>System error 3000. Switch the printer off and on again. If the error comes back, contact service.</source>
        <translation>System error 3000. Switch the printer off and on again. If the error comes back, contact service.</translation>
    </message>
</context>
</TS>
