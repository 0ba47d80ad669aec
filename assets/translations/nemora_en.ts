<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>About Application</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CDeviceIdentity</name>
    <message>
        <source>Unknow product name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknow model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unknow Device</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CDfuUpdate</name>
    <message>
        <source>Please select one or several targets before !</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No permission to open the device: install the driver</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No permission to open the device: the driver is not installed.
Install it now? Then unplug and plug the device in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to find data for that device from the file </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updating</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Id</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Available Sectors (Double Click for more)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: its flash is read-protected, so its settings and screens cannot be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: reading it failed: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Outcome: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to get descriptors... Bad Firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to get DFU descriptor... Bad Firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bad Updating protocol version. Should be 1.1A</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to find or decode device mapping... Bad Firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Wait until the other program is done, then try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1; nothing was sent</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to lock the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%i sectors...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is running its firmware, not in update mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Switch it off, hold the fire key and plug it in again, then try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update of %1 from %2 refused: %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update of %1 from %2 started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reading from %1 started</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: leaving update mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The device is still in update mode: download the file again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Put the device back in update mode (switch it off, hold the fire key, plug it in) and download the file again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 during the erase</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 during the download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 during the erase: the firmware is incomplete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 during the download: the firmware is incomplete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 during the verify: the firmware was written but not checked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 during the read: nothing on the device was changed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 while leaving update mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Operation on-going. Leave anyway ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Saving a snapshot of the settings %u%%...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upgrade successful !</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verify successful !</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Verify successful, but data not matching...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Matching not good. First Difference at address 0x%08X:
File  byte  is  0x%02X.
Read byte is 0x%02X.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload successful !</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Successfully left updating mode !</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshot of the settings saved to %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to read the settings for a snapshot; nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This feature is not supported by this firmware.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file is not supposed to be used with device,ID:0x%04x!!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to find data for that target in the dfu file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to get data from source image...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to get elements from read image...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to get data from read image...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to create a new updating file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to append image to updating file...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to save a snapshot of the settings; nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings on the device could not be kept before the write: %1
Nothing was written. Free some space or check the folder&apos;s permissions, then try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file cannot be written into this device; nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings on the device cannot be read (%1), so no snapshot of them can be kept before the write.
Write anyway, without a snapshot ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writing without a snapshot, as the user chose</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CHarborApp</name>
    <message>
        <source>the workspace folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>remove it, or set NEMORA_WORKSPACE_DIR to a folder of your own</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to use %1
The console starts without it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nemorate</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1  error code</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The program is already running!!!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Can not access Magic File! </source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CHarborView</name>
    <message>
        <source>Welcome Page</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device Information</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>ROM Update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Customize</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CLogEditPanel</name>
    <message>
        <source> You will close the editor. Do you want to save the data?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Image Files (*.bmp);;All Files (*.*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User Text</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>User Char Mode</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Font Choose</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>OK</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Threshold</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fit to screen</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Invert</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>LogEditor</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Import Image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Export Image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Dither</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>None</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Floyd–Steinberg</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>U</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>D</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>L</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>R</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>O</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not import &quot;%1&quot;: %2. Choose a picture file that can be read, such as a BMP, PNG, JPEG or GIF file.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Could not export to &quot;%1&quot;: %2. Choose a folder you can write to and a file name ending in .bmp, .png or .jpg.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Font</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Font:%1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CLogEditor</name>
    <message>
        <source>Fore:Blue + Back:Gray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fore:DarkGreen + Back:Gray</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fore:White + Back:Black</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Fore:Black + Back:White</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Show grid</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zoom level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Color scheme</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Zoom:x%d</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Pixel:%dx%d</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Position:(%d,%d)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>Standard</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This write is not recorded (%1): if it is cut short, the console will not offer to finish it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System(&amp;S)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Settings...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Exit(&amp;X)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>View(&amp;V)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Tool(&amp;T)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Status(&amp;S)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help(&amp;H)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HandBook</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Diagnostic Report...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>About Nemora(&amp;A)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No device in update mode is selected. Switch the device off, hold the fire key and plug it in, select it in the device list, then restore.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to open the snapshot folder: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Customize...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Page Navigation</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save As...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the log</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Log files (*.log *.txt);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>LOG</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ready</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Current device list</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The log could not be saved to &quot;%1&quot;: %2.
Choose another folder or file name.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1: put the device in update mode to finish it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The device may hold only part of it.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, so it cannot be written again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write it again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore the settings kept before it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not now</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Not finished now: it is offered again the next time the console starts with the device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Writing %1 again</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The write could not be started again: choose the file on &quot;ROM Update&quot;.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring the settings kept before it</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The device stayed busy: nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (update mode)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (application mode)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (update mode, %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 (application mode, %2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>A transfer is running on %1.
Choose another device when it has finished.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device chosen: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 in update mode (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 running its firmware (%2)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 in update mode, serial %2 (%3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 running its firmware, serial %2 (%3)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device removed: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device arrived: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you want to close the program?!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ask</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CMessageBoxDialog</name>
    <message>
        <source>&amp;Ok</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Abort</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Retry</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Ignore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Ignore &amp;all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Yes to &amp;all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No to a&amp;ll</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Continue</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Skip</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skip &amp;all</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Don&apos;t display this &amp;message again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Don&apos;t ask this &amp;question again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageCustom</name>
    <message>
        <source>Unable to insert one element in the image...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【All user logo resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【All user parameter resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【All user temperature resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【All user Power resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【All user Powe resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Temperature Lines</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power Line</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The device is busy with another transfer.
Wait until it has finished, then try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Read From Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write To Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Load File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save File</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to use the transfer folder: %1
Set NEMORA_TRANSFER_DIR to a folder you can write to and try again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write back what the device held before the failed write ?
The snapshot taken before it: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The write did not finish on a device that is no longer selected; the way back, %1, is offered when that device is selected again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Screen %1 was not read from this device: the write would replace them on the device with the built-in screens shown here.
Read From Device first to keep the device&apos;s own. Write anyway ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Screens %1 were not read from this device: the write would replace them on the device with the built-in screens shown here.
Read From Device first to keep the device&apos;s own. Write anyway ?</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to write the staging file %1: %2
Nothing was sent to the device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No device in update mode is selected: plug the device in update mode, select it, and restore again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to restore the snapshot: %1
Nothing was sent to the device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restoring the settings from %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Written and verified: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restored and verified: the Customize tab shows what the device now holds, from %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to save the settings file %1: %2
Choose a folder you can write to and save again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to load the settings file %1: %2
Nothing was changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its address 0x%08X is neither this device&apos;s logo area (0x%08X) nor its parameter area (0x%08X): it is for another device family</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>
- image &quot;%1&quot;: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The settings file %1 holds nothing for this device.%2
Nothing was changed.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Loaded from %1, but for these, which were left out:%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Has been restored to the default value!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hints</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageCustomDisplay</name>
    <message>
        <source>01. Logo for power on</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>02. Detecting coil</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>03. Coil resistance too low</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>04. Coil resistance too high</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>05. Coil not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>06. Coil short</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>07. Warning for over time</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>08. Warning for Locked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>09. Warning for Unlocked</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>10. Logo for power off</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>11. Warning for low battery</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>11. Warning for low power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>12. Warning for low power</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>12. Warning for low battery</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not read from the device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The built-in screen is shown: read the device&apos;s screens with &quot;Read From Device&quot; before writing, or the device gets this one.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Edit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageCustomPara</name>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!            【Parameter Lines user resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【ParameterLines user resource】Has been restored to the default value!</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Coil advanced setting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Display setting</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hints</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageCustomPower</name>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!        【Power Lines user resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【Power Lines user resource】Has been restored to the default value!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageCustomTEMP</name>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!        【Temperature Lines user resource】</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>【Temperature Lines user resource】Has been restored to the default value!</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageInfo</name>
    <message>
        <source>Product Name:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Product Model:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Auto</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Install Driver</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Manual</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WIN7(Or Older)_32Bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WIN7(Or Older)_64Bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WIN8(Or Newer)_32Bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>WIN8(Or Newer)_64Bit</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Driver Install</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver installer is running: waiting for the administrator&apos;s password.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Driver installer started: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Driver installer %1 could not be started: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Driver installer: %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageUpdate</name>
    <message>
        <source>logo area</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>parameter area</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Choose file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DNLOAD</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Suitable For Product:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Suitable For Model:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>FW Version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file is for %1 (model %2), not for the device attached, %3 (model %4): it cannot be written into it.
Choose a firmware file made for %3.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Choose a firmware file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>vek Files (*.vek)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File chosen: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its screen images, coil settings and curves</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its screen images</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>its coil settings and curves</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This file also overwrites the device&apos;s %1 (%2). A snapshot of them is taken before the download; you can restore it afterwards.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Written and verified: %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The update replaced the device&apos;s %1.
Restore your settings from the snapshot taken before it ?
%2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>one of its images cannot be read</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>error 0x%08X</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; cannot be used: %2.
Choose a firmware file (.vek) made for your device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>File refused: %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CPageWelcome</name>
    <message>
        <source>Welcome to use『Lumecraft』</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>While connecting to your device, please shut down the device first and holding fire key, then plug in USB cable</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CReportDialog</name>
    <message>
        <source>Include serial numbers</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Diagnostic Report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Copy</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save As...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Close</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Save the report</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Text files (*.txt);;All Files (*)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to save the report to %1: %2
Nothing was written. Choose a folder you can write to and save again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ChangeReport</name>
    <message>
        <source> and </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>, </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>nothing changed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; </source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>other bytes of the area changed too</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; nothing else</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>display level</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>temperature unit %1 -&gt; %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>power point %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>power points %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>temperature point %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>temperature points %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screen %1 changed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screens %1 changed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the logo area</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the parameter area</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the parameter area was blank: every setting in it is new</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the parameter area was written (what it held before is not known)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the whole logo area was written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>every page the file touches was erased and written</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no page changed: the device held these bytes already</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 page changed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 of %2 pages changed</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; no user area touched</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>; the file also wrote %1</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CurveChart</name>
    <message>
        <source>Position:(%2dS, %d(W)				 Power Chart</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Position:(%2dS, %d°%c) 	 	 	 	 Temperature Chart</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CustomizeSession</name>
    <message>
        <source>Everything was written, but the check of it did not finish: read it back to see what the device holds.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The write stopped while it erased the parameter area: the device may have no settings until you write them again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The write stopped part-way: the parameter area is incomplete, so the device has no valid settings until you write them again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The write stopped part-way: some screens on the device may be blank or incomplete until you write them again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The restore stopped part-way: the device&apos;s screens and settings may be incomplete until the snapshot is written again.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DeviceLock</name>
    <message>
        <source>another program</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>process %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 %2 is busy: %3 is using it</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DeviceReturn</name>
    <message>
        <source>%1 is back in application mode, firmware %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is back in update mode, firmware %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 did not come back within %2 s: unplug it and plug it in again</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DfuFile</name>
    <message>
        <source>no error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bad parameter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown handle</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>index out of range</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>buffer too small</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot read the file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write the file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>file too large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DFU suffix too short</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no DFU suffix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bad DFU suffix length</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a DfuSe suffix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CRC mismatch</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>truncated DfuSe prefix</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>not a DfuSe file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unsupported DfuSe version</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DfuSe size field does not match the file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>truncated image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>bad image signature</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image name not terminated</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>truncated element</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image size does not match its elements</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>image count does not match the file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>too many images</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>too large</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DfuNames</name>
    <message>
        <source>Getting Device Descriptor.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting DFU Descriptor.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting String Descriptor.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting amount of configurations.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting Configuration Descriptor.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting amount of interfaces.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting amount of alternates.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Getting interface Descriptor.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Opening device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Closing device.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Detach Request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Download Request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Upload Request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Get Status Request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Clear Status Request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Get State Request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Abort Request.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Selecting target.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Awaiting UNPLUG EVENT.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Awaiting PLUG EVENT.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Identifying device after reenumeration.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no error (!)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unable to launch operation (Thread problem)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DFU already running</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bad parameter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bad state machine in firmware</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Unexpected error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DFU error</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Retry error</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DfuTexts</name>
    <message>
        <source>Sector %03i	0x%08X	0x%08X	%s	</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%i KB(%i Bytes) of %i KB(%i Bytes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Detaching %i%%...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Leaving Updating mode %i%%...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> %02i: Uploading %i%%...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> %02i: Upgrading - Download Phase (%i%%)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> %02i: Upgrading - Erase Phase (%i%%)...</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error Code: Unknown error 0x%08X. 
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Operation: DETACH
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Operation: RETURN
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Operation: UPLOAD
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Operation: UPGRADE
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updating State: %.*s
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updating State: (Unknown 0x%02X)
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updating Status: %.*s
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Updating Status: (Unknown 0x%02X)
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Request: (unknown 0x%08X). 
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>TransferSize: %i
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CurrentNBlock: 0x%04X
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>CurrentLength: 0x%04X
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Percent: %i%%
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Error Code: %s
</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Request: %s 
</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>DriverInstall</name>
    <message>
        <source>安装失败，错误码：0x%X</source>
        <translation>Installation failed, error code: 0x%X</translation>
    </message>
    <message>
        <source>The driver is installed: unplug the device and plug it in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver is already installed: unplug the device and plug it in again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver was not installed: the administrator&apos;s password was not given.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver was not installed: pkexec could not get the administrator&apos;s authorisation (exit status %1%2).
To install it by hand, run in a terminal:
%3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver was not installed: pkexec is missing, so no administrator&apos;s password can be asked for.
To install it by hand, run in a terminal:
%1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver installer was stopped before it finished%1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The driver installer failed with exit status %1%2.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileChecks</name>
    <message>
        <source>image %zu element %zu (%s, %zu bytes)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%s and %s both hold bytes for %s to %s</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file&apos;s data overlaps: %s; nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file holds more than one image for target %02u (image %zu is the second); a download writes one image per target, so the others would not be written; nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The file holds an image for target %02u, but the device has no such target; nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%llu bytes lie outside the writable sectors of target %02u &quot;%s&quot; (the first from %s to %s); nothing was written.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>FileFolders</name>
    <message>
        <source>it cannot be written</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>LanguageMenu</name>
    <message>
        <source>&amp;Language</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>System Language</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The console shows the language you chose at its next start.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PagePlan</name>
    <message>
        <source>%zu of %zu pages already held these bytes; %zu to write (%zu of them blank)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%zu of %zu pages already held these bytes; %zu to write</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>PictureFile</name>
    <message>
        <source>All Pictures (%1)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>file not found</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is a folder, not a picture file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>it is not a regular file (a device or pipe is never read)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the file name has no extension that names a picture format</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>there is no picture format for the extension &quot;.%1&quot;</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>RestoreSnapshotDialog</name>
    <message>
        <source>firmware update %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>restore of %1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write To Device (%1)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>SettingsFile</name>
    <message>
        <source>not a settings image name</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>no element</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>neither NEMORA_TRANSFER_DIR, XDG_STATE_HOME nor HOME is set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the transfer folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>remove it, or set NEMORA_TRANSFER_DIR to a folder of your own</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Snapshots</name>
    <message>
        <source>neither XDG_DATA_HOME nor HOME is set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>remove it, or set XDG_DATA_HOME to a folder of your own</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the workspace folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the snapshot folder</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(not recorded)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>cannot write the snapshot %1: %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>every name of that second is taken</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 does not hold both areas of this device&apos;s model whole</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the snapshot did not get both areas</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>TransferJob</name>
    <message>
        <source>the device is read-protected, so every page the file touches is erased and written: bytes of those pages the file does not cover are lost</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>this target&apos;s pages cannot be read back, so every page the file touches is erased and written: bytes of those pages the file does not cover are lost</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WriteJournal</name>
    <message>
        <source>%d Jan</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Feb</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Mar</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Apr</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d May</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Jun</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Jul</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Aug</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Sep</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Oct</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Nov</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%d Dec</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>firmware update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>settings write</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>settings restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%s at %02d:%02d</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>the write kept no file</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 is not there any more</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1 has changed since (its bytes are not those that were written)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The %1 of %2 was cut short on %3</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The %1 of %2 was cut short on %3 (%4)</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>WriteOutcome</name>
    <message>
        <source>%1 to %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was changed: the device holds the settings it held before the write.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The new settings reached the device whole, though the write did not end cleanly.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The parameter area was erased but not written: the device has no settings until you write them again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>The parameter area is only partly written: the device has no valid settings until you write them again.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Nothing was changed: the screens on the device are as they were before the write.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screen %1 is blank</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screens %1 are blank</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screen %1 is incomplete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screens %1 are incomplete</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screen %1 already shows its new image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>screens %1 already show their new images</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1; the other screens are as they were</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>%1.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> Write the screens again to complete them.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>NEMORA_SIM cannot be used: %1
Correct it, or unset it to use real USB devices.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>USB devices cannot be reached: %1
Check that libusb works on this system and that you may use USB devices; the console will list no device.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>nemora::settings::ChartPage</name>
    <message>
        <source>Default</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Warning</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hints</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>nemora::settings::RestoreSnapshotDialog</name>
    <message>
        <source>Restore</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Restore Settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Date</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Model</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Taken before</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>No snapshot of a %1 device is kept yet: the console takes one before every write to the device&apos;s flash.</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Snapshots are kept in %1 (the newest %2 of each device).</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>(unreadable)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Write the settings of %1 (serial %2) back into the device ?
Its screens, coil settings and curves are replaced; a snapshot of what it holds now is taken first.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
