<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>CAboutDlg</name>
    <message>
        <source>About Application</source>
        <translation>关于本程序</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
</context>
<context>
    <name>CDeviceIdentity</name>
    <message>
        <source>Unknow product name</source>
        <translation>未知产品名称</translation>
    </message>
    <message>
        <source>Unknow model</source>
        <translation>未知型号</translation>
    </message>
    <message>
        <source>Unknow Device</source>
        <translation>未知设备</translation>
    </message>
</context>
<context>
    <name>CDfuUpdate</name>
    <message>
        <source>Please select one or several targets before !</source>
        <translation>请先选择一个或多个目标！</translation>
    </message>
    <message>
        <source>No permission to open the device: install the driver</source>
        <translation>没有打开设备的权限：请安装驱动</translation>
    </message>
    <message>
        <source>No permission to open the device: the driver is not installed.
Install it now? Then unplug and plug the device in again.</source>
        <translation>没有打开设备的权限：驱动未安装。
现在安装吗？安装后请拔下设备再重新插上。</translation>
    </message>
    <message>
        <source>Unable to find data for that device from the file </source>
        <translation>文件中找不到该设备的数据 </translation>
    </message>
    <message>
        <source>Updating</source>
        <translation>正在升级</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Id</source>
        <translation>编号</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>名称</translation>
    </message>
    <message>
        <source>Available Sectors (Double Click for more)</source>
        <translation>可用扇区（双击查看详情）</translation>
    </message>
    <message>
        <source>%1: its flash is read-protected, so its settings and screens cannot be read</source>
        <translation>%1：闪存已读保护，无法读取其设置和屏幕</translation>
    </message>
    <message>
        <source>%1: reading it failed: %2</source>
        <translation>%1：读取失败：%2</translation>
    </message>
    <message>
        <source>Outcome: %1</source>
        <translation>结果：%1</translation>
    </message>
    <message>
        <source>Unable to get descriptors... Bad Firmware</source>
        <translation>无法获取描述符……固件有误</translation>
    </message>
    <message>
        <source>Unable to get DFU descriptor... Bad Firmware</source>
        <translation>无法获取 DFU 描述符……固件有误</translation>
    </message>
    <message>
        <source>Bad Updating protocol version. Should be 1.1A</source>
        <translation>升级协议版本错误，应为 1.1A</translation>
    </message>
    <message>
        <source>Unable to find or decode device mapping... Bad Firmware</source>
        <translation>无法找到或解析设备存储映射……固件有误</translation>
    </message>
    <message>
        <source>Wait until the other program is done, then try again.</source>
        <translation>请等待另一程序完成后再试。</translation>
    </message>
    <message>
        <source>%1; nothing was sent</source>
        <translation>%1；未发送任何内容</translation>
    </message>
    <message>
        <source>Unable to lock the device</source>
        <translation>无法锁定设备</translation>
    </message>
    <message>
        <source>%i sectors...</source>
        <translation>%i 个扇区……</translation>
    </message>
    <message>
        <source>%1 is running its firmware, not in update mode</source>
        <translation>%1 正在运行固件，不在升级模式</translation>
    </message>
    <message>
        <source>Switch it off, hold the fire key and plug it in again, then try again.</source>
        <translation>请关闭设备，按住点火键重新插上，然后再试。</translation>
    </message>
    <message>
        <source>Update of %1 from %2 refused: %3</source>
        <translation>用 %2 升级 %1 被拒绝：%3</translation>
    </message>
    <message>
        <source>Update of %1 from %2 started</source>
        <translation>开始用 %2 升级 %1</translation>
    </message>
    <message>
        <source>Reading from %1 started</source>
        <translation>开始从 %1 读取</translation>
    </message>
    <message>
        <source>%1: leaving update mode</source>
        <translation>%1：正在退出升级模式</translation>
    </message>
    <message>
        <source>Disconnected</source>
        <translation>连接断开</translation>
    </message>
    <message>
        <source>The device is still in update mode: download the file again.</source>
        <translation>设备仍处于升级模式：请重新下载文件。</translation>
    </message>
    <message>
        <source>Put the device back in update mode (switch it off, hold the fire key, plug it in) and download the file again.</source>
        <translation>请让设备重新进入升级模式（关闭设备，按住点火键，插上），然后重新下载文件。</translation>
    </message>
    <message>
        <source>%1 during the erase</source>
        <translation>擦除时%1</translation>
    </message>
    <message>
        <source>%1 during the download</source>
        <translation>下载时%1</translation>
    </message>
    <message>
        <source>%1 during the erase: the firmware is incomplete</source>
        <translation>擦除时%1：固件不完整</translation>
    </message>
    <message>
        <source>%1 during the download: the firmware is incomplete</source>
        <translation>下载时%1：固件不完整</translation>
    </message>
    <message>
        <source>%1 during the verify: the firmware was written but not checked</source>
        <translation>校验时%1：固件已写入但未校验</translation>
    </message>
    <message>
        <source>%1 during the read: nothing on the device was changed</source>
        <translation>读取时%1：设备上没有任何改动</translation>
    </message>
    <message>
        <source>%1 while leaving update mode</source>
        <translation>退出升级模式时%1</translation>
    </message>
    <message>
        <source>Operation on-going. Leave anyway ?</source>
        <translation>操作正在进行。仍要退出吗？</translation>
    </message>
    <message>
        <source>Stopped</source>
        <translation>已停止</translation>
    </message>
    <message>
        <source> Saving a snapshot of the settings %u%%...</source>
        <translation> 正在保存设置快照 %u%%……</translation>
    </message>
    <message>
        <source>Upgrade successful !</source>
        <translation>升级成功！</translation>
    </message>
    <message>
        <source>Verify successful !</source>
        <translation>校验成功！</translation>
    </message>
    <message>
        <source>Verify successful, but data not matching...</source>
        <translation>校验成功，但数据不匹配……</translation>
    </message>
    <message>
        <source>Matching not good. First Difference at address 0x%08X:
File  byte  is  0x%02X.
Read byte is 0x%02X.</source>
        <translation>数据不匹配。第一处差异位于地址 0x%08X：
文件字节为 0x%02X。
读取字节为 0x%02X。</translation>
    </message>
    <message>
        <source>Upload successful !</source>
        <translation>上传成功！</translation>
    </message>
    <message>
        <source>Successfully left updating mode !</source>
        <translation>已成功退出升级模式！</translation>
    </message>
    <message>
        <source>Snapshot of the settings saved to %1</source>
        <translation>设置快照已保存到 %1</translation>
    </message>
    <message>
        <source>Unable to read the settings for a snapshot; nothing was written.</source>
        <translation>无法读取设置以制作快照；未写入任何内容。</translation>
    </message>
    <message>
        <source>This feature is not supported by this firmware.</source>
        <translation>此固件不支持该功能。</translation>
    </message>
    <message>
        <source>This file is not supposed to be used with device,ID:0x%04x!!</source>
        <translation>此文件不适用于该设备，ID：0x%04x！！</translation>
    </message>
    <message>
        <source>Unable to find data for that target in the dfu file...</source>
        <translation>在 DFU 文件中找不到该目标的数据……</translation>
    </message>
    <message>
        <source>Unable to get data from source image...</source>
        <translation>无法从源映像获取数据……</translation>
    </message>
    <message>
        <source>Unable to get elements from read image...</source>
        <translation>无法从读取的映像获取元素……</translation>
    </message>
    <message>
        <source>Unable to get data from read image...</source>
        <translation>无法从读取的映像获取数据……</translation>
    </message>
    <message>
        <source>Unable to create a new updating file...</source>
        <translation>无法创建新的升级文件……</translation>
    </message>
    <message>
        <source>Unable to append image to updating file...</source>
        <translation>无法将映像追加到升级文件……</translation>
    </message>
    <message>
        <source>Unable to save a snapshot of the settings; nothing was written.</source>
        <translation>无法保存设置快照；未写入任何内容。</translation>
    </message>
    <message>
        <source>The settings on the device could not be kept before the write: %1
Nothing was written. Free some space or check the folder&apos;s permissions, then try again.</source>
        <translation>写入前未能保存设备上的设置：%1
未写入任何内容。请释放一些空间或检查文件夹权限，然后再试。</translation>
    </message>
    <message>
        <source>This file cannot be written into this device; nothing was written.</source>
        <translation>此文件无法写入该设备；未写入任何内容。</translation>
    </message>
    <message>
        <source>The settings on the device cannot be read (%1), so no snapshot of them can be kept before the write.
Write anyway, without a snapshot ?</source>
        <translation>无法读取设备上的设置（%1），因此写入前无法为其保存快照。
仍要在没有快照的情况下写入吗？</translation>
    </message>
    <message>
        <source>Writing without a snapshot, as the user chose</source>
        <translation>按用户的选择，在没有快照的情况下写入</translation>
    </message>
</context>
<context>
    <name>CHarborApp</name>
    <message>
        <source>the workspace folder</source>
        <translation>工作区文件夹</translation>
    </message>
    <message>
        <source>remove it, or set NEMORA_WORKSPACE_DIR to a folder of your own</source>
        <translation>请删除它，或将 NEMORA_WORKSPACE_DIR 设为您自己的文件夹</translation>
    </message>
    <message>
        <source>Unable to use %1
The console starts without it.</source>
        <translation>无法使用%1
控制台将在不使用它的情况下启动。</translation>
    </message>
    <message>
        <source>Nemorate</source>
        <translation>Nemorate</translation>
    </message>
    <message>
        <source>%1  error code</source>
        <translation>%1  错误码</translation>
    </message>
    <message>
        <source>The program is already running!!!</source>
        <translation>程序已在运行！！！</translation>
    </message>
    <message>
        <source> Can not access Magic File! </source>
        <translation> 无法访问 Magic 文件！ </translation>
    </message>
</context>
<context>
    <name>CHarborView</name>
    <message>
        <source>Welcome Page</source>
        <translation>欢迎页</translation>
    </message>
    <message>
        <source>Device Information</source>
        <translation>设备信息</translation>
    </message>
    <message>
        <source>ROM Update</source>
        <translation>固件升级</translation>
    </message>
    <message>
        <source>Customize</source>
        <translation>自定义</translation>
    </message>
</context>
<context>
    <name>CLogEditPanel</name>
    <message>
        <source> You will close the editor. Do you want to save the data?</source>
        <translation>即将关闭编辑器。是否保存数据？</translation>
    </message>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!</source>
        <translation>确定要将数据恢复为默认值吗？这将放弃您所做的更改！</translation>
    </message>
    <message>
        <source>Image Files (*.bmp);;All Files (*.*)</source>
        <translation>图像文件 (*.bmp);;所有文件 (*.*)</translation>
    </message>
    <message>
        <source>User Text</source>
        <translation>用户文字</translation>
    </message>
    <message>
        <source>User Char Mode</source>
        <translation>用户文字模式</translation>
    </message>
    <message>
        <source>Font Choose</source>
        <translation>选择字体</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>取消</translation>
    </message>
    <message>
        <source>Threshold</source>
        <translation>阈值</translation>
    </message>
    <message>
        <source>Fit to screen</source>
        <translation>适应屏幕</translation>
    </message>
    <message>
        <source>Invert</source>
        <translation>反色</translation>
    </message>
    <message>
        <source>LogEditor</source>
        <translation>标志图像编辑器</translation>
    </message>
    <message>
        <source>Import Image</source>
        <translation>导入图像</translation>
    </message>
    <message>
        <source>Export Image</source>
        <translation>导出图像</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>Dither</source>
        <translation>抖动</translation>
    </message>
    <message>
        <source>None</source>
        <translation>无</translation>
    </message>
    <message>
        <source>Floyd–Steinberg</source>
        <translation>Floyd–Steinberg</translation>
    </message>
    <message>
        <source>U</source>
        <translation>上</translation>
    </message>
    <message>
        <source>D</source>
        <translation>下</translation>
    </message>
    <message>
        <source>L</source>
        <translation>左</translation>
    </message>
    <message>
        <source>R</source>
        <translation>右</translation>
    </message>
    <message>
        <source>O</source>
        <translation>原</translation>
    </message>
    <message>
        <source>Ask</source>
        <translation>询问</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Could not import &quot;%1&quot;: %2. Choose a picture file that can be read, such as a BMP, PNG, JPEG or GIF file.</source>
        <translation>无法导入“%1”：%2。请选择可读取的图片文件，例如 BMP、PNG、JPEG 或 GIF 文件。</translation>
    </message>
    <message>
        <source>Could not export to &quot;%1&quot;: %2. Choose a folder you can write to and a file name ending in .bmp, .png or .jpg.</source>
        <translation>无法导出到“%1”：%2。请选择可写入的文件夹，并使用以 .bmp、.png 或 .jpg 结尾的文件名。</translation>
    </message>
    <message>
        <source>Font</source>
        <translation>字体</translation>
    </message>
    <message>
        <source>Font:%1</source>
        <translation>字体：%1</translation>
    </message>
</context>
<context>
    <name>CLogEditor</name>
    <message>
        <source>Fore:Blue + Back:Gray</source>
        <translation>前景：蓝色 + 背景：灰色</translation>
    </message>
    <message>
        <source>Fore:DarkGreen + Back:Gray</source>
        <translation>前景：深绿色 + 背景：灰色</translation>
    </message>
    <message>
        <source>Fore:White + Back:Black</source>
        <translation>前景：白色 + 背景：黑色</translation>
    </message>
    <message>
        <source>Fore:Black + Back:White</source>
        <translation>前景：黑色 + 背景：白色</translation>
    </message>
    <message>
        <source>Show grid</source>
        <translation>显示网格</translation>
    </message>
    <message>
        <source>Zoom level</source>
        <translation>缩放级别</translation>
    </message>
    <message>
        <source>Color scheme</source>
        <translation>配色方案</translation>
    </message>
    <message>
        <source>Zoom:x%d</source>
        <translation>缩放：x%d</translation>
    </message>
    <message>
        <source>Pixel:%dx%d</source>
        <translation>像素：%dx%d</translation>
    </message>
    <message>
        <source>Position:(%d,%d)</source>
        <translation>位置：(%d,%d)</translation>
    </message>
</context>
<context>
    <name>CMainFrame</name>
    <message>
        <source>Standard</source>
        <translation>标准</translation>
    </message>
    <message>
        <source>This write is not recorded (%1): if it is cut short, the console will not offer to finish it.</source>
        <translation>本次写入未被记录（%1）：若写入中断，控制台将不会提示完成它。</translation>
    </message>
    <message>
        <source>System(&amp;S)</source>
        <translation>系统(&amp;S)</translation>
    </message>
    <message>
        <source>Restore Settings...</source>
        <translation>恢复设置...</translation>
    </message>
    <message>
        <source>Exit(&amp;X)</source>
        <translation>退出(&amp;X)</translation>
    </message>
    <message>
        <source>View(&amp;V)</source>
        <translation>视图(&amp;V)</translation>
    </message>
    <message>
        <source>Tool(&amp;T)</source>
        <translation>工具栏(&amp;T)</translation>
    </message>
    <message>
        <source>Status(&amp;S)</source>
        <translation>状态栏(&amp;S)</translation>
    </message>
    <message>
        <source>Help(&amp;H)</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>HandBook</source>
        <translation>使用手册</translation>
    </message>
    <message>
        <source>Diagnostic Report...</source>
        <translation>诊断报告...</translation>
    </message>
    <message>
        <source>About Nemora(&amp;A)...</source>
        <translation>关于 Nemora(&amp;A)...</translation>
    </message>
    <message>
        <source>No device in update mode is selected. Switch the device off, hold the fire key and plug it in, select it in the device list, then restore.</source>
        <translation>未选择处于升级模式的设备。请关闭设备，按住点火键插入 USB 线，在设备列表中选择该设备，然后再恢复。</translation>
    </message>
    <message>
        <source>Unable to open the snapshot folder: %1</source>
        <translation>无法打开快照文件夹：%1</translation>
    </message>
    <message>
        <source>Customize...</source>
        <translation>自定义...</translation>
    </message>
    <message>
        <source>Page Navigation</source>
        <translation>页面导航</translation>
    </message>
    <message>
        <source>Log</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>Save As...</source>
        <translation>另存为...</translation>
    </message>
    <message>
        <source>Save the log</source>
        <translation>保存日志</translation>
    </message>
    <message>
        <source>Log files (*.log *.txt);;All Files (*)</source>
        <translation>日志文件 (*.log *.txt);;所有文件 (*)</translation>
    </message>
    <message>
        <source>LOG</source>
        <translation>日志</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>就绪</translation>
    </message>
    <message>
        <source>Current device list</source>
        <translation>当前设备列表</translation>
    </message>
    <message>
        <source>Disconnect</source>
        <translation>断开连接</translation>
    </message>
    <message>
        <source>The log could not be saved to &quot;%1&quot;: %2.
Choose another folder or file name.</source>
        <translation>无法将日志保存到“%1”：%2。
请选择其他文件夹或文件名。</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>%1: put the device in update mode to finish it.</source>
        <translation>%1：请将设备置于升级模式以完成它。</translation>
    </message>
    <message>
        <source>The device may hold only part of it.</source>
        <translation>设备中可能只有其中的一部分。</translation>
    </message>
    <message>
        <source>%1, so it cannot be written again.</source>
        <translation>%1，因此无法重新写入。</translation>
    </message>
    <message>
        <source>%1.</source>
        <translation>%1。</translation>
    </message>
    <message>
        <source>Write it again</source>
        <translation>重新写入</translation>
    </message>
    <message>
        <source>Restore the settings kept before it</source>
        <translation>恢复写入前保存的设置</translation>
    </message>
    <message>
        <source>Not now</source>
        <translation>暂不</translation>
    </message>
    <message>
        <source>Not finished now: it is offered again the next time the console starts with the device.</source>
        <translation>暂不完成：下次控制台启动并连接该设备时会再次提示。</translation>
    </message>
    <message>
        <source>Writing %1 again</source>
        <translation>正在重新写入 %1</translation>
    </message>
    <message>
        <source>The write could not be started again: choose the file on &quot;ROM Update&quot;.</source>
        <translation>无法重新开始写入：请在“固件升级”页中选择文件。</translation>
    </message>
    <message>
        <source>Restoring the settings kept before it</source>
        <translation>正在恢复写入前保存的设置</translation>
    </message>
    <message>
        <source>The device stayed busy: nothing was written.</source>
        <translation>设备一直忙碌：未写入任何内容。</translation>
    </message>
    <message>
        <source>%1 (update mode)</source>
        <translation>%1（升级模式）</translation>
    </message>
    <message>
        <source>%1 (application mode)</source>
        <translation>%1（应用模式）</translation>
    </message>
    <message>
        <source>%1 (update mode, %2)</source>
        <translation>%1（升级模式，%2）</translation>
    </message>
    <message>
        <source>%1 (application mode, %2)</source>
        <translation>%1（应用模式，%2）</translation>
    </message>
    <message>
        <source>A transfer is running on %1.
Choose another device when it has finished.</source>
        <translation>%1 上正在进行传输。
请在传输完成后再选择其他设备。</translation>
    </message>
    <message>
        <source>Device chosen: %1</source>
        <translation>已选择设备：%1</translation>
    </message>
    <message>
        <source>%1 in update mode (%2)</source>
        <translation>%1，升级模式（%2）</translation>
    </message>
    <message>
        <source>%1 running its firmware (%2)</source>
        <translation>%1，正在运行固件（%2）</translation>
    </message>
    <message>
        <source>%1 in update mode, serial %2 (%3)</source>
        <translation>%1，升级模式，序列号 %2（%3）</translation>
    </message>
    <message>
        <source>%1 running its firmware, serial %2 (%3)</source>
        <translation>%1，正在运行固件，序列号 %2（%3）</translation>
    </message>
    <message>
        <source>Device removed: %1</source>
        <translation>设备已移除：%1</translation>
    </message>
    <message>
        <source>Device arrived: %1</source>
        <translation>设备已接入：%1</translation>
    </message>
    <message>
        <source>Are you sure you want to close the program?!</source>
        <translation>确定要关闭程序吗？！</translation>
    </message>
    <message>
        <source>Ask</source>
        <translation>询问</translation>
    </message>
</context>
<context>
    <name>CMessageBoxDialog</name>
    <message>
        <source>&amp;Ok</source>
        <translation>确定(&amp;O)</translation>
    </message>
    <message>
        <source>&amp;Cancel</source>
        <translation>取消(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Abort</source>
        <translation>中止(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Retry</source>
        <translation>重试(&amp;R)</translation>
    </message>
    <message>
        <source>&amp;Ignore</source>
        <translation>忽略(&amp;I)</translation>
    </message>
    <message>
        <source>Ignore &amp;all</source>
        <translation>全部忽略(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Yes</source>
        <translation>是(&amp;Y)</translation>
    </message>
    <message>
        <source>Yes to &amp;all</source>
        <translation>全部是(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;No</source>
        <translation>否(&amp;N)</translation>
    </message>
    <message>
        <source>No to a&amp;ll</source>
        <translation>全部否(&amp;L)</translation>
    </message>
    <message>
        <source>&amp;Continue</source>
        <translation>继续(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Skip</source>
        <translation>跳过(&amp;S)</translation>
    </message>
    <message>
        <source>Skip &amp;all</source>
        <translation>全部跳过(&amp;A)</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>帮助(&amp;H)</translation>
    </message>
    <message>
        <source>Don&apos;t display this &amp;message again.</source>
        <translation>不再显示此消息(&amp;M)。</translation>
    </message>
    <message>
        <source>Don&apos;t ask this &amp;question again.</source>
        <translation>不再询问此问题(&amp;Q)。</translation>
    </message>
</context>
<context>
    <name>CPageCustom</name>
    <message>
        <source>Unable to insert one element in the image...</source>
        <translation>无法在映像中插入元素...</translation>
    </message>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!</source>
        <translation>确定要将数据恢复为默认值吗？这将放弃您所做的更改！</translation>
    </message>
    <message>
        <source>【All user logo resource】</source>
        <translation>【所有用户标志图像资源】</translation>
    </message>
    <message>
        <source>【All user parameter resource】</source>
        <translation>【所有用户参数资源】</translation>
    </message>
    <message>
        <source>【All user temperature resource】</source>
        <translation>【所有用户温度曲线资源】</translation>
    </message>
    <message>
        <source>【All user Power resource】</source>
        <translation>【所有用户功率曲线资源】</translation>
    </message>
    <message>
        <source>【All user Powe resource】</source>
        <translation>【所有用户功率曲线资源】</translation>
    </message>
    <message>
        <source>Display</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>Parameters</source>
        <translation>参数</translation>
    </message>
    <message>
        <source>Temperature Lines</source>
        <translation>温度曲线</translation>
    </message>
    <message>
        <source>Power Line</source>
        <translation>功率曲线</translation>
    </message>
    <message>
        <source>The device is busy with another transfer.
Wait until it has finished, then try again.</source>
        <translation>设备正忙于另一项传输。
请等待其完成后再试。</translation>
    </message>
    <message>
        <source>Read From Device</source>
        <translation>从设备读取</translation>
    </message>
    <message>
        <source>Write To Device</source>
        <translation>写入设备</translation>
    </message>
    <message>
        <source>Load File</source>
        <translation>加载文件</translation>
    </message>
    <message>
        <source>Save File</source>
        <translation>保存文件</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>Unable to use the transfer folder: %1
Set NEMORA_TRANSFER_DIR to a folder you can write to and try again.</source>
        <translation>无法使用传输文件夹：%1
请将 NEMORA_TRANSFER_DIR 设为您可写入的文件夹，然后重试。</translation>
    </message>
    <message>
        <source>Write back what the device held before the failed write ?
The snapshot taken before it: %1</source>
        <translation>是否写回失败的写入之前设备中的内容？
写入前创建的快照：%1</translation>
    </message>
    <message>
        <source>The write did not finish on a device that is no longer selected; the way back, %1, is offered when that device is selected again.</source>
        <translation>写入未能在一台已不再选中的设备上完成；再次选中该设备时，将提供用于恢复的快照 %1。</translation>
    </message>
    <message>
        <source>Screen %1 was not read from this device: the write would replace them on the device with the built-in screens shown here.
Read From Device first to keep the device&apos;s own. Write anyway ?</source>
        <translation>屏幕 %1 未从此设备读取：写入会用此处显示的内置屏幕替换设备上的对应屏幕。
若要保留设备自己的屏幕，请先“从设备读取”。仍要写入吗？</translation>
    </message>
    <message>
        <source>Screens %1 were not read from this device: the write would replace them on the device with the built-in screens shown here.
Read From Device first to keep the device&apos;s own. Write anyway ?</source>
        <translation>屏幕 %1 未从此设备读取：写入会用此处显示的内置屏幕替换设备上的对应屏幕。
若要保留设备自己的屏幕，请先“从设备读取”。仍要写入吗？</translation>
    </message>
    <message>
        <source>Unable to write the staging file %1: %2
Nothing was sent to the device.</source>
        <translation>无法写入暂存文件 %1：%2
未向设备发送任何内容。</translation>
    </message>
    <message>
        <source>No device in update mode is selected: plug the device in update mode, select it, and restore again.</source>
        <translation>未选中处于升级模式的设备：请以升级模式插入设备并选中它，然后再次恢复。</translation>
    </message>
    <message>
        <source>Unable to restore the snapshot: %1
Nothing was sent to the device.</source>
        <translation>无法恢复快照：%1
未向设备发送任何内容。</translation>
    </message>
    <message>
        <source>Restoring the settings from %1</source>
        <translation>正在从 %1 恢复设置</translation>
    </message>
    <message>
        <source>Written and verified: %1</source>
        <translation>已写入并校验：%1</translation>
    </message>
    <message>
        <source>Restored and verified: the Customize tab shows what the device now holds, from %1</source>
        <translation>已恢复并校验：“自定义”页显示的是设备当前保存的内容，来自 %1</translation>
    </message>
    <message>
        <source>Unable to save the settings file %1: %2
Choose a folder you can write to and save again.</source>
        <translation>无法保存设置文件 %1：%2
请选择可写入的文件夹后重新保存。</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>所有文件 (*.*)</translation>
    </message>
    <message>
        <source>Unable to load the settings file %1: %2
Nothing was changed.</source>
        <translation>无法加载设置文件 %1：%2
未做任何更改。</translation>
    </message>
    <message>
        <source>its address 0x%08X is neither this device&apos;s logo area (0x%08X) nor its parameter area (0x%08X): it is for another device family</source>
        <translation>其地址 0x%08X 既不是此设备的标志图像区域（0x%08X），也不是其参数区域（0x%08X）：它属于另一个设备系列</translation>
    </message>
    <message>
        <source>
- image &quot;%1&quot;: %2</source>
        <translation>
- 映像“%1”：%2</translation>
    </message>
    <message>
        <source>The settings file %1 holds nothing for this device.%2
Nothing was changed.</source>
        <translation>设置文件 %1 中没有适用于此设备的内容。%2
未做任何更改。</translation>
    </message>
    <message>
        <source>Loaded from %1, but for these, which were left out:%2</source>
        <translation>已从 %1 加载，但以下内容被略过：%2</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Has been restored to the default value!</source>
        <translation>已恢复为默认值！</translation>
    </message>
    <message>
        <source>Hints</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>CPageCustomDisplay</name>
    <message>
        <source>01. Logo for power on</source>
        <translation>01. 开机标志图像</translation>
    </message>
    <message>
        <source>02. Detecting coil</source>
        <translation>02. 正在检测线圈</translation>
    </message>
    <message>
        <source>03. Coil resistance too low</source>
        <translation>03. 线圈电阻过低</translation>
    </message>
    <message>
        <source>04. Coil resistance too high</source>
        <translation>04. 线圈电阻过高</translation>
    </message>
    <message>
        <source>05. Coil not found</source>
        <translation>05. 未找到线圈</translation>
    </message>
    <message>
        <source>06. Coil short</source>
        <translation>06. 线圈短路</translation>
    </message>
    <message>
        <source>07. Warning for over time</source>
        <translation>07. 超时警告</translation>
    </message>
    <message>
        <source>08. Warning for Locked</source>
        <translation>08. 已锁定警告</translation>
    </message>
    <message>
        <source>09. Warning for Unlocked</source>
        <translation>09. 已解锁警告</translation>
    </message>
    <message>
        <source>10. Logo for power off</source>
        <translation>10. 关机标志图像</translation>
    </message>
    <message>
        <source>11. Warning for low battery</source>
        <translation>11. 电池电量低警告</translation>
    </message>
    <message>
        <source>11. Warning for low power</source>
        <translation>11. 电量不足警告</translation>
    </message>
    <message>
        <source>12. Warning for low power</source>
        <translation>12. 电量不足警告</translation>
    </message>
    <message>
        <source>12. Warning for low battery</source>
        <translation>12. 电池电量低警告</translation>
    </message>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!</source>
        <translation>确定要将数据恢复为默认值吗？这将放弃您所做的更改！</translation>
    </message>
    <message>
        <source>not read from the device</source>
        <translation>未从设备读取</translation>
    </message>
    <message>
        <source>The built-in screen is shown: read the device&apos;s screens with &quot;Read From Device&quot; before writing, or the device gets this one.</source>
        <translation>显示的是内置屏幕：写入前请用“从设备读取”读取设备的屏幕，否则设备将得到此屏幕。</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>编辑</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
</context>
<context>
    <name>CPageCustomPara</name>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!            【Parameter Lines user resource】</source>
        <translation>确定要将数据恢复为默认值吗？这将放弃您所做的更改！            【参数用户资源】</translation>
    </message>
    <message>
        <source>【ParameterLines user resource】Has been restored to the default value!</source>
        <translation>【参数用户资源】已恢复为默认值！</translation>
    </message>
    <message>
        <source>Default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>Coil advanced setting</source>
        <translation>线圈高级设置</translation>
    </message>
    <message>
        <source>Display setting</source>
        <translation>显示设置</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Hints</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>CPageCustomPower</name>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!        【Power Lines user resource】</source>
        <translation>确定要将数据恢复为默认值吗？这将放弃您所做的更改！        【功率曲线用户资源】</translation>
    </message>
    <message>
        <source>【Power Lines user resource】Has been restored to the default value!</source>
        <translation>【功率曲线用户资源】已恢复为默认值！</translation>
    </message>
</context>
<context>
    <name>CPageCustomTEMP</name>
    <message>
        <source>Are you sure you will recover the data to the default value, which will discard the changes you have make!        【Temperature Lines user resource】</source>
        <translation>确定要将数据恢复为默认值吗？这将放弃您所做的更改！        【温度曲线用户资源】</translation>
    </message>
    <message>
        <source>【Temperature Lines user resource】Has been restored to the default value!</source>
        <translation>【温度曲线用户资源】已恢复为默认值！</translation>
    </message>
</context>
<context>
    <name>CPageInfo</name>
    <message>
        <source>Product Name:</source>
        <translation>产品名称：</translation>
    </message>
    <message>
        <source>Product Model:</source>
        <translation>产品型号：</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>自动</translation>
    </message>
    <message>
        <source>Install Driver</source>
        <translation>安装驱动</translation>
    </message>
    <message>
        <source>Manual</source>
        <translation>手动</translation>
    </message>
    <message>
        <source>WIN7(Or Older)_32Bit</source>
        <translation>WIN7(及更早版本)_32位</translation>
    </message>
    <message>
        <source>WIN7(Or Older)_64Bit</source>
        <translation>WIN7(及更早版本)_64位</translation>
    </message>
    <message>
        <source>WIN8(Or Newer)_32Bit</source>
        <translation>WIN8(及更新版本)_32位</translation>
    </message>
    <message>
        <source>WIN8(Or Newer)_64Bit</source>
        <translation>WIN8(及更新版本)_64位</translation>
    </message>
    <message>
        <source>Driver Install</source>
        <translation>驱动安装</translation>
    </message>
    <message>
        <source>The driver installer is running: waiting for the administrator&apos;s password.</source>
        <translation>驱动安装程序正在运行：正在等待管理员密码。</translation>
    </message>
    <message>
        <source>Driver installer started: %1</source>
        <translation>驱动安装程序已启动：%1</translation>
    </message>
    <message>
        <source>Driver installer %1 could not be started: %2</source>
        <translation>无法启动驱动安装程序 %1：%2</translation>
    </message>
    <message>
        <source>Driver installer: %1</source>
        <translation>驱动安装程序：%1</translation>
    </message>
</context>
<context>
    <name>CPageUpdate</name>
    <message>
        <source>logo area</source>
        <translation>标志图像区域</translation>
    </message>
    <message>
        <source>parameter area</source>
        <translation>参数区域</translation>
    </message>
    <message>
        <source> Choose file</source>
        <translation> 选择文件</translation>
    </message>
    <message>
        <source>Choose</source>
        <translation>选择</translation>
    </message>
    <message>
        <source>DNLOAD</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>Suitable For Product:</source>
        <translation>适用产品：</translation>
    </message>
    <message>
        <source>Suitable For Model:</source>
        <translation>适用型号：</translation>
    </message>
    <message>
        <source>FW Version:</source>
        <translation>固件版本：</translation>
    </message>
    <message>
        <source>Choose file</source>
        <translation>选择文件</translation>
    </message>
    <message>
        <source>Choose...</source>
        <translation>选择...</translation>
    </message>
    <message>
        <source>Download</source>
        <translation>下载</translation>
    </message>
    <message>
        <source>This file is for %1 (model %2), not for the device attached, %3 (model %4): it cannot be written into it.
Choose a firmware file made for %3.</source>
        <translation>此文件适用于 %1（型号 %2），而不是已连接的设备 %3（型号 %4）：无法写入该设备。
请选择为 %3 制作的固件文件。</translation>
    </message>
    <message>
        <source>Choose a firmware file</source>
        <translation>选择固件文件</translation>
    </message>
    <message>
        <source>vek Files (*.vek)</source>
        <translation>vek 文件 (*.vek)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>所有文件 (*.*)</translation>
    </message>
    <message>
        <source>File chosen: %1</source>
        <translation>已选择文件：%1</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1和%2</translation>
    </message>
    <message>
        <source>its screen images, coil settings and curves</source>
        <translation>其屏幕图像、线圈设置和曲线</translation>
    </message>
    <message>
        <source>its screen images</source>
        <translation>其屏幕图像</translation>
    </message>
    <message>
        <source>its coil settings and curves</source>
        <translation>其线圈设置和曲线</translation>
    </message>
    <message>
        <source>This file also overwrites the device&apos;s %1 (%2). A snapshot of them is taken before the download; you can restore it afterwards.</source>
        <translation>此文件还会覆盖设备的%1（%2）。下载前会为其制作快照，之后可以恢复。</translation>
    </message>
    <message>
        <source>Written and verified: %1</source>
        <translation>已写入并校验：%1</translation>
    </message>
    <message>
        <source>The update replaced the device&apos;s %1.
Restore your settings from the snapshot taken before it ?
%2</source>
        <translation>此次升级替换了设备的%1。
要从升级前制作的快照恢复您的设置吗？
%2</translation>
    </message>
    <message>
        <source>one of its images cannot be read</source>
        <translation>其中一个映像无法读取</translation>
    </message>
    <message>
        <source>error 0x%08X</source>
        <translation>错误 0x%08X</translation>
    </message>
    <message>
        <source>The file &quot;%1&quot; cannot be used: %2.
Choose a firmware file (.vek) made for your device.</source>
        <translation>无法使用文件“%1”：%2。
请选择为您的设备制作的固件文件（.vek）。</translation>
    </message>
    <message>
        <source>File refused: %1: %2</source>
        <translation>文件被拒绝：%1：%2</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
</context>
<context>
    <name>CPageWelcome</name>
    <message>
        <source>Welcome to use『Lumecraft』</source>
        <translation>欢迎使用『Lumecraft』</translation>
    </message>
    <message>
        <source>While connecting to your device, please shut down the device first and holding fire key, then plug in USB cable</source>
        <translation>连接设备时，请先关闭设备，然后按住点火键，再插入 USB 线</translation>
    </message>
</context>
<context>
    <name>CReportDialog</name>
    <message>
        <source>Include serial numbers</source>
        <translation>包含序列号</translation>
    </message>
    <message>
        <source>Diagnostic Report</source>
        <translation>诊断报告</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>复制</translation>
    </message>
    <message>
        <source>Save As...</source>
        <translation>另存为...</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>关闭</translation>
    </message>
    <message>
        <source>Save the report</source>
        <translation>保存报告</translation>
    </message>
    <message>
        <source>Text files (*.txt);;All Files (*)</source>
        <translation>文本文件 (*.txt);;所有文件 (*)</translation>
    </message>
    <message>
        <source>Unable to save the report to %1: %2
Nothing was written. Choose a folder you can write to and save again.</source>
        <translation>无法将报告保存到 %1：%2
未写入任何内容。请选择可写入的文件夹后重新保存。</translation>
    </message>
</context>
<context>
    <name>ChangeReport</name>
    <message>
        <source> and </source>
        <translation> 和 </translation>
    </message>
    <message>
        <source>, </source>
        <translation>、</translation>
    </message>
    <message>
        <source>nothing changed</source>
        <translation>无任何更改</translation>
    </message>
    <message>
        <source>; </source>
        <translation>；</translation>
    </message>
    <message>
        <source>other bytes of the area changed too</source>
        <translation>该区域的其他字节也有更改</translation>
    </message>
    <message>
        <source>; nothing else</source>
        <translation>；无其他更改</translation>
    </message>
    <message>
        <source>display level</source>
        <translation>显示级别</translation>
    </message>
    <message>
        <source>temperature unit %1 -&gt; %2</source>
        <translation>温度单位 %1 -&gt; %2</translation>
    </message>
    <message>
        <source>power point %1: %2</source>
        <translation>功率点 %1：%2</translation>
    </message>
    <message>
        <source>power points %1: %2</source>
        <translation>功率点 %1：%2</translation>
    </message>
    <message>
        <source>temperature point %1: %2</source>
        <translation>温度点 %1：%2</translation>
    </message>
    <message>
        <source>temperature points %1: %2</source>
        <translation>温度点 %1：%2</translation>
    </message>
    <message>
        <source>screen %1 changed</source>
        <translation>屏幕 %1 已更改</translation>
    </message>
    <message>
        <source>screens %1 changed</source>
        <translation>屏幕 %1 已更改</translation>
    </message>
    <message>
        <source>the logo area</source>
        <translation>标志图像区域</translation>
    </message>
    <message>
        <source>the parameter area</source>
        <translation>参数区域</translation>
    </message>
    <message>
        <source>the parameter area was blank: every setting in it is new</source>
        <translation>参数区域原为空白：其中的每项设置都是新的</translation>
    </message>
    <message>
        <source>the parameter area was written (what it held before is not known)</source>
        <translation>已写入参数区域（之前的内容未知）</translation>
    </message>
    <message>
        <source>the whole logo area was written</source>
        <translation>已写入整个标志图像区域</translation>
    </message>
    <message>
        <source>every page the file touches was erased and written</source>
        <translation>文件涉及的每一页均已擦除并写入</translation>
    </message>
    <message>
        <source>no page changed: the device held these bytes already</source>
        <translation>没有页被更改：设备中已有这些字节</translation>
    </message>
    <message>
        <source>%1 of %2 page changed</source>
        <translation>%2 页中有 %1 页已更改</translation>
    </message>
    <message>
        <source>%1 of %2 pages changed</source>
        <translation>%2 页中有 %1 页已更改</translation>
    </message>
    <message>
        <source>; no user area touched</source>
        <translation>；未涉及用户区域</translation>
    </message>
    <message>
        <source>%1 and %2</source>
        <translation>%1和%2</translation>
    </message>
    <message>
        <source>; the file also wrote %1</source>
        <translation>；该文件还写入了%1</translation>
    </message>
</context>
<context>
    <name>CurveChart</name>
    <message>
        <source>Position:(%2dS, %d(W)				 Power Chart</source>
        <translation>位置：(%2d秒, %d W)				 功率曲线图</translation>
    </message>
    <message>
        <source>Position:(%2dS, %d°%c) 	 	 	 	 Temperature Chart</source>
        <translation>位置：(%2d秒, %d°%c) 	 	 	 	 温度曲线图</translation>
    </message>
</context>
<context>
    <name>CustomizeSession</name>
    <message>
        <source>Everything was written, but the check of it did not finish: read it back to see what the device holds.</source>
        <translation>全部内容均已写入，但校验未完成：请读回以查看设备中保存的内容。</translation>
    </message>
    <message>
        <source>The write stopped while it erased the parameter area: the device may have no settings until you write them again.</source>
        <translation>写入在擦除参数区域时中断：在您重新写入之前，设备可能没有设置。</translation>
    </message>
    <message>
        <source>The write stopped part-way: the parameter area is incomplete, so the device has no valid settings until you write them again.</source>
        <translation>写入中途中断：参数区域不完整，因此在您重新写入之前，设备没有有效的设置。</translation>
    </message>
    <message>
        <source>The write stopped part-way: some screens on the device may be blank or incomplete until you write them again.</source>
        <translation>写入中途中断：在您重新写入之前，设备上的部分屏幕可能为空白或不完整。</translation>
    </message>
    <message>
        <source>The restore stopped part-way: the device&apos;s screens and settings may be incomplete until the snapshot is written again.</source>
        <translation>恢复中途中断：在重新写入快照之前，设备的屏幕和设置可能不完整。</translation>
    </message>
</context>
<context>
    <name>DeviceLock</name>
    <message>
        <source>another program</source>
        <translation>另一个程序</translation>
    </message>
    <message>
        <source>process %1</source>
        <translation>进程 %1</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>设备</translation>
    </message>
    <message>
        <source>%1 %2 is busy: %3 is using it</source>
        <translation>%1 %2 正忙：%3 正在使用它</translation>
    </message>
</context>
<context>
    <name>DeviceReturn</name>
    <message>
        <source>%1 is back in application mode, firmware %2</source>
        <translation>%1 已恢复为应用模式，固件 %2</translation>
    </message>
    <message>
        <source>%1 is back in update mode, firmware %2</source>
        <translation>%1 已恢复为升级模式，固件 %2</translation>
    </message>
    <message>
        <source>%1 did not come back within %2 s: unplug it and plug it in again</source>
        <translation>%1 在 %2 秒内未恢复连接：请拔下后重新插入</translation>
    </message>
</context>
<context>
    <name>DfuFile</name>
    <message>
        <source>no error</source>
        <translation>无错误</translation>
    </message>
    <message>
        <source>bad parameter</source>
        <translation>参数错误</translation>
    </message>
    <message>
        <source>unknown handle</source>
        <translation>未知句柄</translation>
    </message>
    <message>
        <source>index out of range</source>
        <translation>索引超出范围</translation>
    </message>
    <message>
        <source>buffer too small</source>
        <translation>缓冲区太小</translation>
    </message>
    <message>
        <source>cannot read the file</source>
        <translation>无法读取文件</translation>
    </message>
    <message>
        <source>cannot write the file</source>
        <translation>无法写入文件</translation>
    </message>
    <message>
        <source>file too large</source>
        <translation>文件太大</translation>
    </message>
    <message>
        <source>DFU suffix too short</source>
        <translation>DFU 后缀太短</translation>
    </message>
    <message>
        <source>no DFU suffix</source>
        <translation>没有 DFU 后缀</translation>
    </message>
    <message>
        <source>bad DFU suffix length</source>
        <translation>DFU 后缀长度错误</translation>
    </message>
    <message>
        <source>not a DfuSe suffix</source>
        <translation>不是 DfuSe 后缀</translation>
    </message>
    <message>
        <source>CRC mismatch</source>
        <translation>CRC 不匹配</translation>
    </message>
    <message>
        <source>truncated DfuSe prefix</source>
        <translation>DfuSe 前缀不完整</translation>
    </message>
    <message>
        <source>not a DfuSe file</source>
        <translation>不是 DfuSe 文件</translation>
    </message>
    <message>
        <source>unsupported DfuSe version</source>
        <translation>不支持的 DfuSe 版本</translation>
    </message>
    <message>
        <source>DfuSe size field does not match the file</source>
        <translation>DfuSe 大小字段与文件不符</translation>
    </message>
    <message>
        <source>truncated image</source>
        <translation>映像不完整</translation>
    </message>
    <message>
        <source>bad image signature</source>
        <translation>映像签名错误</translation>
    </message>
    <message>
        <source>image name not terminated</source>
        <translation>映像名称未终止</translation>
    </message>
    <message>
        <source>truncated element</source>
        <translation>元素不完整</translation>
    </message>
    <message>
        <source>image size does not match its elements</source>
        <translation>映像大小与其元素不符</translation>
    </message>
    <message>
        <source>image count does not match the file</source>
        <translation>映像数量与文件不符</translation>
    </message>
    <message>
        <source>too many images</source>
        <translation>映像过多</translation>
    </message>
    <message>
        <source>too large</source>
        <translation>过大</translation>
    </message>
    <message>
        <source>unknown error</source>
        <translation>未知错误</translation>
    </message>
</context>
<context>
    <name>DfuNames</name>
    <message>
        <source>Getting Device Descriptor.</source>
        <translation>正在获取设备描述符。</translation>
    </message>
    <message>
        <source>Getting DFU Descriptor.</source>
        <translation>正在获取 DFU 描述符。</translation>
    </message>
    <message>
        <source>Getting String Descriptor.</source>
        <translation>正在获取字符串描述符。</translation>
    </message>
    <message>
        <source>Getting amount of configurations.</source>
        <translation>正在获取配置数量。</translation>
    </message>
    <message>
        <source>Getting Configuration Descriptor.</source>
        <translation>正在获取配置描述符。</translation>
    </message>
    <message>
        <source>Getting amount of interfaces.</source>
        <translation>正在获取接口数量。</translation>
    </message>
    <message>
        <source>Getting amount of alternates.</source>
        <translation>正在获取备用设置数量。</translation>
    </message>
    <message>
        <source>Getting interface Descriptor.</source>
        <translation>正在获取接口描述符。</translation>
    </message>
    <message>
        <source>Opening device.</source>
        <translation>正在打开设备。</translation>
    </message>
    <message>
        <source>Closing device.</source>
        <translation>正在关闭设备。</translation>
    </message>
    <message>
        <source>Detach Request.</source>
        <translation>分离请求。</translation>
    </message>
    <message>
        <source>Download Request.</source>
        <translation>下载请求。</translation>
    </message>
    <message>
        <source>Upload Request.</source>
        <translation>上传请求。</translation>
    </message>
    <message>
        <source>Get Status Request.</source>
        <translation>获取状态请求。</translation>
    </message>
    <message>
        <source>Clear Status Request.</source>
        <translation>清除状态请求。</translation>
    </message>
    <message>
        <source>Get State Request.</source>
        <translation>获取状态机状态请求。</translation>
    </message>
    <message>
        <source>Abort Request.</source>
        <translation>中止请求。</translation>
    </message>
    <message>
        <source>Selecting target.</source>
        <translation>正在选择目标。</translation>
    </message>
    <message>
        <source>Awaiting UNPLUG EVENT.</source>
        <translation>正在等待拔出事件。</translation>
    </message>
    <message>
        <source>Awaiting PLUG EVENT.</source>
        <translation>正在等待插入事件。</translation>
    </message>
    <message>
        <source>Identifying device after reenumeration.</source>
        <translation>重新枚举后正在识别设备。</translation>
    </message>
    <message>
        <source>no error (!)</source>
        <translation>无错误 (!)</translation>
    </message>
    <message>
        <source>Unable to launch operation (Thread problem)</source>
        <translation>无法启动操作（线程问题）</translation>
    </message>
    <message>
        <source>DFU already running</source>
        <translation>DFU 已在运行</translation>
    </message>
    <message>
        <source>Bad parameter</source>
        <translation>参数错误</translation>
    </message>
    <message>
        <source>Bad state machine in firmware</source>
        <translation>固件状态机错误</translation>
    </message>
    <message>
        <source>Unexpected error</source>
        <translation>意外错误</translation>
    </message>
    <message>
        <source>DFU error</source>
        <translation>DFU 错误</translation>
    </message>
    <message>
        <source>Retry error</source>
        <translation>重试错误</translation>
    </message>
</context>
<context>
    <name>DfuTexts</name>
    <message>
        <source>Sector %03i	0x%08X	0x%08X	%s	</source>
        <translation>扇区 %03i	0x%08X	0x%08X	%s	</translation>
    </message>
    <message>
        <source>%i KB(%i Bytes) of %i KB(%i Bytes)</source>
        <translation>%i KB(%i 字节)，共 %i KB(%i 字节)</translation>
    </message>
    <message>
        <source> Detaching %i%%...</source>
        <translation> 正在分离 %i%%……</translation>
    </message>
    <message>
        <source> Leaving Updating mode %i%%...</source>
        <translation> 正在退出升级模式 %i%%……</translation>
    </message>
    <message>
        <source> %02i: Uploading %i%%...</source>
        <translation> %02i：正在上传 %i%%……</translation>
    </message>
    <message>
        <source> %02i: Upgrading - Download Phase (%i%%)...</source>
        <translation> %02i：正在升级 - 下载阶段（%i%%）……</translation>
    </message>
    <message>
        <source> %02i: Upgrading - Erase Phase (%i%%)...</source>
        <translation> %02i：正在升级 - 擦除阶段（%i%%）……</translation>
    </message>
    <message>
        <source>Error Code: Unknown error 0x%08X. 
</source>
        <translation>错误代码：未知错误 0x%08X。
</translation>
    </message>
    <message>
        <source>Operation: DETACH
</source>
        <translation>操作：DETACH
</translation>
    </message>
    <message>
        <source>Operation: RETURN
</source>
        <translation>操作：RETURN
</translation>
    </message>
    <message>
        <source>Operation: UPLOAD
</source>
        <translation>操作：UPLOAD
</translation>
    </message>
    <message>
        <source>Operation: UPGRADE
</source>
        <translation>操作：UPGRADE
</translation>
    </message>
    <message>
        <source>Updating State: %.*s
</source>
        <translation>升级状态：%.*s
</translation>
    </message>
    <message>
        <source>Updating State: (Unknown 0x%02X)
</source>
        <translation>升级状态：（未知 0x%02X）
</translation>
    </message>
    <message>
        <source>Updating Status: %.*s
</source>
        <translation>升级状态码：%.*s
</translation>
    </message>
    <message>
        <source>Updating Status: (Unknown 0x%02X)
</source>
        <translation>升级状态码：（未知 0x%02X）
</translation>
    </message>
    <message>
        <source>Request: (unknown 0x%08X). 
</source>
        <translation>请求：（未知 0x%08X）。
</translation>
    </message>
    <message>
        <source>TransferSize: %i
</source>
        <translation>传输大小：%i
</translation>
    </message>
    <message>
        <source>CurrentNBlock: 0x%04X
</source>
        <translation>当前块号：0x%04X
</translation>
    </message>
    <message>
        <source>CurrentLength: 0x%04X
</source>
        <translation>当前长度：0x%04X
</translation>
    </message>
    <message>
        <source>Percent: %i%%
</source>
        <translation>进度：%i%%
</translation>
    </message>
    <message>
        <source>Error Code: %s
</source>
        <translation>错误代码：%s
</translation>
    </message>
    <message>
        <source>Request: %s 
</source>
        <translation>请求：%s
</translation>
    </message>
</context>
<context>
    <name>DriverInstall</name>
    <message>
        <source>安装失败，错误码：0x%X</source>
        <translation>安装失败，错误码：0x%X</translation>
    </message>
    <message>
        <source>The driver is installed: unplug the device and plug it in again.</source>
        <translation>驱动已安装：请拔下设备后重新插入。</translation>
    </message>
    <message>
        <source>The driver is already installed: unplug the device and plug it in again.</source>
        <translation>驱动已经安装：请拔下设备后重新插入。</translation>
    </message>
    <message>
        <source>The driver was not installed: the administrator&apos;s password was not given.</source>
        <translation>驱动未安装：未提供管理员密码。</translation>
    </message>
    <message>
        <source>The driver was not installed: pkexec could not get the administrator&apos;s authorisation (exit status %1%2).
To install it by hand, run in a terminal:
%3</source>
        <translation>驱动未安装：pkexec 无法获得管理员授权（退出状态 %1%2）。
如需手动安装，请在终端中运行：
%3</translation>
    </message>
    <message>
        <source>The driver was not installed: pkexec is missing, so no administrator&apos;s password can be asked for.
To install it by hand, run in a terminal:
%1</source>
        <translation>驱动未安装：缺少 pkexec，因此无法请求管理员密码。
如需手动安装，请在终端中运行：
%1</translation>
    </message>
    <message>
        <source>The driver installer was stopped before it finished%1.</source>
        <translation>驱动安装程序在完成前被终止%1。</translation>
    </message>
    <message>
        <source>The driver installer failed with exit status %1%2.</source>
        <translation>驱动安装程序运行失败，退出状态 %1%2。</translation>
    </message>
</context>
<context>
    <name>FileChecks</name>
    <message>
        <source>image %zu element %zu (%s, %zu bytes)</source>
        <translation>映像 %zu 元素 %zu（%s，%zu 字节）</translation>
    </message>
    <message>
        <source>%s and %s both hold bytes for %s to %s</source>
        <translation>%s 和 %s 都包含 %s 至 %s 的字节</translation>
    </message>
    <message>
        <source>The file&apos;s data overlaps: %s; nothing was written.</source>
        <translation>文件的数据有重叠：%s；未写入任何内容。</translation>
    </message>
    <message>
        <source>The file holds more than one image for target %02u (image %zu is the second); a download writes one image per target, so the others would not be written; nothing was written.</source>
        <translation>文件中目标 %02u 有多个映像（映像 %zu 是第二个）；下载时每个目标只写入一个映像，其余映像不会被写入；未写入任何内容。</translation>
    </message>
    <message>
        <source>The file holds an image for target %02u, but the device has no such target; nothing was written.</source>
        <translation>文件中有目标 %02u 的映像，但设备没有该目标；未写入任何内容。</translation>
    </message>
    <message>
        <source>%llu bytes lie outside the writable sectors of target %02u &quot;%s&quot; (the first from %s to %s); nothing was written.</source>
        <translation>有 %llu 字节位于目标 %02u“%s”的可写扇区之外（第一段从 %s 到 %s）；未写入任何内容。</translation>
    </message>
</context>
<context>
    <name>FileFolders</name>
    <message>
        <source>it cannot be written</source>
        <translation>无法写入</translation>
    </message>
</context>
<context>
    <name>LanguageMenu</name>
    <message>
        <source>&amp;Language</source>
        <translation>语言(&amp;L)</translation>
    </message>
    <message>
        <source>System Language</source>
        <translation>跟随系统</translation>
    </message>
    <message>
        <source>The console shows the language you chose at its next start.</source>
        <translation>控制台将在下次启动时显示所选语言。</translation>
    </message>
</context>
<context>
    <name>PagePlan</name>
    <message>
        <source>%zu of %zu pages already held these bytes; %zu to write (%zu of them blank)</source>
        <translation>%zu/%zu 页内容已相同；需写入 %zu 页（其中 %zu 页为空白）</translation>
    </message>
    <message>
        <source>%zu of %zu pages already held these bytes; %zu to write</source>
        <translation>%zu/%zu 页内容已相同；需写入 %zu 页</translation>
    </message>
</context>
<context>
    <name>PictureFile</name>
    <message>
        <source>All Pictures (%1)</source>
        <translation>所有图片 (%1)</translation>
    </message>
    <message>
        <source>file not found</source>
        <translation>找不到文件</translation>
    </message>
    <message>
        <source>it is a folder, not a picture file</source>
        <translation>它是文件夹，不是图片文件</translation>
    </message>
    <message>
        <source>it is not a regular file (a device or pipe is never read)</source>
        <translation>它不是普通文件（设备或管道从不读取）</translation>
    </message>
    <message>
        <source>the file name has no extension that names a picture format</source>
        <translation>文件名没有表示图片格式的扩展名</translation>
    </message>
    <message>
        <source>there is no picture format for the extension &quot;.%1&quot;</source>
        <translation>没有与扩展名“.%1”对应的图片格式</translation>
    </message>
</context>
<context>
    <name>RestoreSnapshotDialog</name>
    <message>
        <source>firmware update %1</source>
        <translation>固件升级 %1</translation>
    </message>
    <message>
        <source>restore of %1</source>
        <translation>恢复 %1</translation>
    </message>
    <message>
        <source>Write To Device (%1)</source>
        <translation>写入设备（%1）</translation>
    </message>
</context>
<context>
    <name>SettingsFile</name>
    <message>
        <source>not a settings image name</source>
        <translation>不是设置映像的名称</translation>
    </message>
    <message>
        <source>no element</source>
        <translation>没有元素</translation>
    </message>
    <message>
        <source>neither NEMORA_TRANSFER_DIR, XDG_STATE_HOME nor HOME is set</source>
        <translation>NEMORA_TRANSFER_DIR、XDG_STATE_HOME 和 HOME 均未设置</translation>
    </message>
    <message>
        <source>the transfer folder</source>
        <translation>传输文件夹</translation>
    </message>
    <message>
        <source>remove it, or set NEMORA_TRANSFER_DIR to a folder of your own</source>
        <translation>请删除它，或将 NEMORA_TRANSFER_DIR 设为您自己的文件夹</translation>
    </message>
</context>
<context>
    <name>Snapshots</name>
    <message>
        <source>neither XDG_DATA_HOME nor HOME is set</source>
        <translation>XDG_DATA_HOME 和 HOME 均未设置</translation>
    </message>
    <message>
        <source>remove it, or set XDG_DATA_HOME to a folder of your own</source>
        <translation>请删除它，或将 XDG_DATA_HOME 设为您自己的文件夹</translation>
    </message>
    <message>
        <source>the workspace folder</source>
        <translation>工作区文件夹</translation>
    </message>
    <message>
        <source>the snapshot folder</source>
        <translation>快照文件夹</translation>
    </message>
    <message>
        <source>(not recorded)</source>
        <translation>（未记录）</translation>
    </message>
    <message>
        <source>cannot write the snapshot %1: %2</source>
        <translation>无法写入快照 %1：%2</translation>
    </message>
    <message>
        <source>every name of that second is taken</source>
        <translation>该秒内的所有名称均已被占用</translation>
    </message>
    <message>
        <source>%1 does not hold both areas of this device&apos;s model whole</source>
        <translation>%1 未完整包含此设备型号的两个区域</translation>
    </message>
    <message>
        <source>the snapshot did not get both areas</source>
        <translation>快照未获得两个区域</translation>
    </message>
</context>
<context>
    <name>TransferJob</name>
    <message>
        <source>the device is read-protected, so every page the file touches is erased and written: bytes of those pages the file does not cover are lost</source>
        <translation>设备已读保护，因此文件涉及的每一页都会被擦除并写入：这些页中文件未覆盖的字节将丢失</translation>
    </message>
    <message>
        <source>this target&apos;s pages cannot be read back, so every page the file touches is erased and written: bytes of those pages the file does not cover are lost</source>
        <translation>该目标的页无法读回，因此文件涉及的每一页都会被擦除并写入：这些页中文件未覆盖的字节将丢失</translation>
    </message>
</context>
<context>
    <name>WriteJournal</name>
    <message>
        <source>%d Jan</source>
        <translation>1月%d日</translation>
    </message>
    <message>
        <source>%d Feb</source>
        <translation>2月%d日</translation>
    </message>
    <message>
        <source>%d Mar</source>
        <translation>3月%d日</translation>
    </message>
    <message>
        <source>%d Apr</source>
        <translation>4月%d日</translation>
    </message>
    <message>
        <source>%d May</source>
        <translation>5月%d日</translation>
    </message>
    <message>
        <source>%d Jun</source>
        <translation>6月%d日</translation>
    </message>
    <message>
        <source>%d Jul</source>
        <translation>7月%d日</translation>
    </message>
    <message>
        <source>%d Aug</source>
        <translation>8月%d日</translation>
    </message>
    <message>
        <source>%d Sep</source>
        <translation>9月%d日</translation>
    </message>
    <message>
        <source>%d Oct</source>
        <translation>10月%d日</translation>
    </message>
    <message>
        <source>%d Nov</source>
        <translation>11月%d日</translation>
    </message>
    <message>
        <source>%d Dec</source>
        <translation>12月%d日</translation>
    </message>
    <message>
        <source>firmware update</source>
        <translation>固件升级</translation>
    </message>
    <message>
        <source>settings write</source>
        <translation>设置写入</translation>
    </message>
    <message>
        <source>settings restore</source>
        <translation>设置恢复</translation>
    </message>
    <message>
        <source>%s at %02d:%02d</source>
        <translation>%s %02d:%02d</translation>
    </message>
    <message>
        <source>the write kept no file</source>
        <translation>此次写入没有保留文件</translation>
    </message>
    <message>
        <source>%1 is not there any more</source>
        <translation>%1 已不存在</translation>
    </message>
    <message>
        <source>%1 has changed since (its bytes are not those that were written)</source>
        <translation>%1 此后已被修改（其内容与写入时不同）</translation>
    </message>
    <message>
        <source>The %1 of %2 was cut short on %3</source>
        <translation>%2 的%1于 %3 中断</translation>
    </message>
    <message>
        <source>The %1 of %2 was cut short on %3 (%4)</source>
        <translation>%2 的%1于 %3 中断（%4）</translation>
    </message>
</context>
<context>
    <name>WriteOutcome</name>
    <message>
        <source>%1 to %2</source>
        <translation>%1 至 %2</translation>
    </message>
    <message>
        <source>Nothing was changed: the device holds the settings it held before the write.</source>
        <translation>未做任何更改：设备保存的仍是写入前的设置。</translation>
    </message>
    <message>
        <source>The new settings reached the device whole, though the write did not end cleanly.</source>
        <translation>新设置已完整写入设备，但写入未能正常结束。</translation>
    </message>
    <message>
        <source>The parameter area was erased but not written: the device has no settings until you write them again.</source>
        <translation>参数区域已擦除但未写入：在您重新写入之前，设备没有设置。</translation>
    </message>
    <message>
        <source>The parameter area is only partly written: the device has no valid settings until you write them again.</source>
        <translation>参数区域仅部分写入：在您重新写入之前，设备没有有效的设置。</translation>
    </message>
    <message>
        <source>Nothing was changed: the screens on the device are as they were before the write.</source>
        <translation>未做任何更改：设备上的屏幕与写入前相同。</translation>
    </message>
    <message>
        <source>screen %1 is blank</source>
        <translation>屏幕 %1 为空白</translation>
    </message>
    <message>
        <source>screens %1 are blank</source>
        <translation>屏幕 %1 为空白</translation>
    </message>
    <message>
        <source>screen %1 is incomplete</source>
        <translation>屏幕 %1 不完整</translation>
    </message>
    <message>
        <source>screens %1 are incomplete</source>
        <translation>屏幕 %1 不完整</translation>
    </message>
    <message>
        <source>screen %1 already shows its new image</source>
        <translation>屏幕 %1 已显示新图像</translation>
    </message>
    <message>
        <source>screens %1 already show their new images</source>
        <translation>屏幕 %1 已显示新图像</translation>
    </message>
    <message>
        <source>%1, %2</source>
        <translation>%1，%2</translation>
    </message>
    <message>
        <source>%1; the other screens are as they were</source>
        <translation>%1；其余屏幕保持原样</translation>
    </message>
    <message>
        <source>%1.</source>
        <translation>%1。</translation>
    </message>
    <message>
        <source> Write the screens again to complete them.</source>
        <translation>请重新写入屏幕以将其补全。</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>NEMORA_SIM cannot be used: %1
Correct it, or unset it to use real USB devices.</source>
        <translation>无法使用 NEMORA_SIM：%1
请更正它，或取消设置以使用真实的 USB 设备。</translation>
    </message>
    <message>
        <source>USB devices cannot be reached: %1
Check that libusb works on this system and that you may use USB devices; the console will list no device.</source>
        <translation>无法访问 USB 设备：%1
请检查 libusb 在本系统上能否正常工作，以及您是否有权使用 USB 设备；控制台将不会列出任何设备。</translation>
    </message>
</context>
<context>
    <name>nemora::settings::ChartPage</name>
    <message>
        <source>Default</source>
        <translation>默认</translation>
    </message>
    <message>
        <source>Warning</source>
        <translation>警告</translation>
    </message>
    <message>
        <source>Hints</source>
        <translation>提示</translation>
    </message>
</context>
<context>
    <name>nemora::settings::RestoreSnapshotDialog</name>
    <message>
        <source>Restore</source>
        <translation>恢复</translation>
    </message>
    <message>
        <source>Restore Settings</source>
        <translation>恢复设置</translation>
    </message>
    <message>
        <source>Date</source>
        <translation>日期</translation>
    </message>
    <message>
        <source>Model</source>
        <translation>型号</translation>
    </message>
    <message>
        <source>Serial</source>
        <translation>序列号</translation>
    </message>
    <message>
        <source>Taken before</source>
        <translation>快照时机</translation>
    </message>
    <message>
        <source>No snapshot of a %1 device is kept yet: the console takes one before every write to the device&apos;s flash.</source>
        <translation>尚未保存任何 %1 设备的快照：控制台会在每次写入设备闪存之前创建一个快照。</translation>
    </message>
    <message>
        <source>Snapshots are kept in %1 (the newest %2 of each device).</source>
        <translation>快照保存在 %1（每台设备保留最新的 %2 个）。</translation>
    </message>
    <message>
        <source>(unreadable)</source>
        <translation>（无法读取）</translation>
    </message>
    <message>
        <source>Write the settings of %1 (serial %2) back into the device ?
Its screens, coil settings and curves are replaced; a snapshot of what it holds now is taken first.</source>
        <translation>是否将 %1（序列号 %2）的设置写回设备？
其屏幕、线圈设置和曲线将被替换；会先为设备当前保存的内容创建快照。</translation>
    </message>
</context>
</TS>
