<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Quellon</name>
    <message>
        <source>无法打开帮助文档：%1</source>
        <translation>Could not open the help document: %1</translation>
    </message>
    <message>
        <source>标准模式</source>
        <translation>Standard Mode</translation>
    </message>
    <message>
        <source>列表模式</source>
        <translation>List Mode</translation>
    </message>
    <message>
        <source>电池测试模式</source>
        <translation>Battery Test Mode</translation>
    </message>
    <message>
        <source>模式选择</source>
        <translation>Mode Selection</translation>
    </message>
    <message>
        <source>Darvik 可编程电子负载 - KTR SERIES</source>
        <translation>Darvik Programmable DC Load - KTR SERIES</translation>
    </message>
    <message>
        <source>连接状态:</source>
        <translation>Link:</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>刷新</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <source>搜索设备</source>
        <translation>Find Devices</translation>
    </message>
    <message>
        <source>服务器 IP</source>
        <translation>Server IP</translation>
    </message>
    <message>
        <source>端口号</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Lang.</translation>
    </message>
    <message>
        <source>中文</source>
        <translation>Chinese</translation>
    </message>
    <message>
        <source>使用帮助</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>并机设置</source>
        <translation>Parallel Setup</translation>
    </message>
    <message>
        <source>并机状态:</source>
        <translation>Status:</translation>
    </message>
    <message>
        <source>主从机设置:</source>
        <translation>Role:</translation>
    </message>
    <message>
        <source>从机</source>
        <translation>Slave</translation>
    </message>
    <message>
        <source>主机</source>
        <translation>Master</translation>
    </message>
    <message>
        <source>地址设置:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>并机使能设置:</source>
        <translation>Parallel:</translation>
    </message>
    <message>
        <source>禁止</source>
        <translation>Disabled</translation>
    </message>
    <message>
        <source>使能</source>
        <translation>Enabled</translation>
    </message>
    <message>
        <source>在线数: </source>
        <translation>Online: </translation>
    </message>
    <message>
        <source>必须选择可用设备</source>
        <translation>Please choose an available serial port</translation>
    </message>
    <message>
        <source>设备被占用或者不存在</source>
        <translation>The serial port is in use or does not exist</translation>
    </message>
    <message>
        <source>串口拔出或者仪器串口被断开,请重新打开串口</source>
        <translation>The serial port was unplugged or the instrument's serial link was broken. Please open the serial port again</translation>
    </message>
    <message>
        <source>空IP</source>
        <translation>The IP address is empty</translation>
    </message>
    <message>
        <source>服务器未响应，请检查IP是否正确！</source>
        <translation>The server does not respond. Please check the IP address!</translation>
    </message>
    <message>
        <source>设备无响应，检查连接是否正确</source>
        <translation>The instrument does not respond. Check the connection</translation>
    </message>
    <message>
        <source>仪器断开,请重新连接</source>
        <translation>The instrument has disconnected. Please connect again</translation>
    </message>
    <message>
        <source>与服务器断开,请检查网络</source>
        <translation>Disconnected from the server. Please check the network</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>触发OVP保护!</source>
        <translation>Over-voltage protection (OVP) tripped!</translation>
    </message>
    <message>
        <source>触发OCP保护!</source>
        <translation>Over-current protection (OCP) tripped!</translation>
    </message>
    <message>
        <source>触发OPP保护!</source>
        <translation>Over-power protection (OPP) tripped!</translation>
    </message>
    <message>
        <source>读取qm文件失败</source>
        <translation>Failed to read the translation file</translation>
    </message>
    <message>
        <source>KTR软件使用帮助.pdf</source>
        <translation>KTR Software User Guide.pdf</translation>
    </message>
</context>
<context>
    <name>CCCVPage</name>
    <message>
        <source>CC 模式</source>
        <translation>CC Mode</translation>
    </message>
    <message>
        <source>CV 模式</source>
        <translation>CV Mode</translation>
    </message>
    <message>
        <source>CR 模式</source>
        <translation>CR Mode</translation>
    </message>
    <message>
        <source>CP 模式</source>
        <translation>CP Mode</translation>
    </message>
    <message>
        <source>CCD 模式</source>
        <translation>CCD Mode</translation>
    </message>
    <message>
        <source>恒电流(CC)</source>
        <translation>Constant Current (CC)</translation>
    </message>
    <message>
        <source>恒电压(CV)</source>
        <translation>Constant Voltage (CV)</translation>
    </message>
    <message>
        <source>恒电阻(CR)</source>
        <translation>Constant Resistance (CR)</translation>
    </message>
    <message>
        <source>恒功率(CP)</source>
        <translation>Constant Power (CP)</translation>
    </message>
    <message>
        <source>动态(CCD)</source>
        <translation>Dynamic (CCD)</translation>
    </message>
    <message>
        <source>快速</source>
        <translation>FAST</translation>
    </message>
    <message>
        <source>中速</source>
        <translation>NORM</translation>
    </message>
    <message>
        <source>慢速</source>
        <translation>SLOW</translation>
    </message>
    <message>
        <source>连续</source>
        <translation>Continuous</translation>
    </message>
    <message>
        <source>单次</source>
        <translation>Pulse</translation>
    </message>
    <message>
        <source> 更新设置</source>
        <translation> Update</translation>
    </message>
    <message>
        <source>短路状态OFF</source>
        <translation>Short OFF</translation>
    </message>
    <message>
        <source>短路状态ON</source>
        <translation>Short ON</translation>
    </message>
    <message>
        <source>短路状态:</source>
        <translation>Short:</translation>
    </message>
    <message>
        <source>POW-曲线</source>
        <translation>POW Curve</translation>
    </message>
    <message>
        <source>当前模式:</source>
        <translation>Active Mode:</translation>
    </message>
    <message>
        <source>运行时间:</source>
        <translation>Run Time:</translation>
    </message>
    <message>
        <source>连接状态:</source>
        <translation>Link Status:</translation>
    </message>
    <message>
        <source>并机:</source>
        <translation>Parallel:</translation>
    </message>
    <message>
        <source>返回</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>导出曲线(最大24h)</source>
        <translation>Export (max. 24 h)</translation>
    </message>
    <message>
        <source>设备未连接</source>
        <translation>The instrument is not connected</translation>
    </message>
    <message>
        <source>本地数据同步中</source>
        <translation>Reading the instrument's settings, please wait</translation>
    </message>
    <message>
        <source>切换模式</source>
        <translation>Switch Mode</translation>
    </message>
    <message>
        <source>是否切换%0?</source>
        <translation>Switch to %0?</translation>
    </message>
    <message>
        <source>电流(A):</source>
        <translation>Current (A):</translation>
    </message>
    <message>
        <source>上升斜率(A/ms):</source>
        <translation>Rise(A/ms):</translation>
    </message>
    <message>
        <source>下降斜率(A/ms):</source>
        <translation>Fall(A/ms):</translation>
    </message>
    <message>
        <source>电压(V):</source>
        <translation>Voltage (V):</translation>
    </message>
    <message>
        <source>上升速度:</source>
        <translation>Rise Speed:</translation>
    </message>
    <message>
        <source>下降速度:</source>
        <translation>Fall Speed:</translation>
    </message>
    <message>
        <source>电阻(Ω):</source>
        <translation>Res. (Ω):</translation>
    </message>
    <message>
        <source>功率(W):</source>
        <translation>Power (W):</translation>
    </message>
    <message>
        <source>运行模式:</source>
        <translation>Run Mode:</translation>
    </message>
    <message>
        <source>低电平(A):</source>
        <translation>Low (A):</translation>
    </message>
    <message>
        <source>低电平时间(ms):</source>
        <translation>Low (ms):</translation>
    </message>
    <message>
        <source>高电平(A):</source>
        <translation>High (A):</translation>
    </message>
    <message>
        <source>高电平时间(ms):</source>
        <translation>High (ms):</translation>
    </message>
    <message>
        <source>电压档位:</source>
        <translation>Voltage Range:</translation>
    </message>
    <message>
        <source>电流档位:</source>
        <translation>Current Range:</translation>
    </message>
    <message>
        <source>请先连接设备</source>
        <translation>Please connect the instrument first</translation>
    </message>
</context>
<context>
    <name>ChartExport</name>
    <message>
        <source>参数错误</source>
        <translation>Parameter Error</translation>
    </message>
    <message>
        <source>时间间隔必须在0.5~99999秒之间</source>
        <translation>The interval must lie between 0.5 and 99999 seconds</translation>
    </message>
    <message>
        <source>无法打开文件</source>
        <translation>Cannot Open File</translation>
    </message>
    <message>
        <source>导出完成</source>
        <translation>Export Finished</translation>
    </message>
    <message>
        <source>无数据可导出</source>
        <translation>There is no data to export</translation>
    </message>
    <message>
        <source>导出失败</source>
        <translation>Export Failed</translation>
    </message>
    <message>
        <source>数据错误</source>
        <translation>Data Error</translation>
    </message>
    <message>
        <source>时间戳范围无效</source>
        <translation>The time range of the data is invalid</translation>
    </message>
    <message>
        <source>计算错误</source>
        <translation>Calculation Error</translation>
    </message>
    <message>
        <source>无效的时间间隔</source>
        <translation>Invalid interval</translation>
    </message>
    <message>
        <source>数据已成功导出</source>
        <translation>The data was exported successfully</translation>
    </message>
</context>
<context>
    <name>RecordLog</name>
    <message>
        <source>设备未连接</source>
        <translation>Instrument not connected</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法创建日志文件: </source>
        <translation>Cannot create the log file: </translation>
    </message>
    <message>
        <source>无法写入日志文件: </source>
        <translation>Cannot write the log file: </translation>
    </message>
    <message>
        <source>文件末尾留有不完整的一行: </source>
        <translation>The file ends in an incomplete row: </translation>
    </message>
    <message>
        <source>磁盘空间已满</source>
        <translation>The disk is full</translation>
    </message>
    <message>
        <source>文件已达到系统允许的大小上限</source>
        <translation>The file has reached the size limit of the system</translation>
    </message>
    <message>
        <source>无法清空日志文件: </source>
        <translation>Cannot clear the log file: </translation>
    </message>
    <message>
        <source>完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>已达到设定的记录长度 (%1 小时)</source>
        <translation>The set log length is reached (%1 h)</translation>
    </message>
    <message>
        <source>清空</source>
        <translation>Cleared</translation>
    </message>
    <message>
        <source>当前记录已清空</source>
        <translation>The current log was cleared</translation>
    </message>
    <message>
        <source>记录中</source>
        <translation>Recording</translation>
    </message>
    <message>
        <source>暂停中</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>继续记录</source>
        <translation>Resume</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start</translation>
    </message>
</context>
<context>
    <name>VKDWidget</name>
    <message>
        <source>LAN TOOL</source>
        <translation>LAN TOOL</translation>
    </message>
    <message>
        <source>主机IP刷新</source>
        <translation>Refresh Host IP</translation>
    </message>
    <message>
        <source>刷新在线设备</source>
        <translation>Search Devices</translation>
    </message>
    <message>
        <source>导出表格</source>
        <translation>Export Table</translation>
    </message>
    <message>
        <source>设备编辑列表(双击单元格编辑参数)</source>
        <translation>Device list (double-click a cell to edit)</translation>
    </message>
    <message>
        <source>更新所有设备</source>
        <translation>Update All Devices</translation>
    </message>
    <message>
        <source>当前设备:NQX_01</source>
        <translation>Current device:NQX_01</translation>
    </message>
    <message>
        <source>设备名称:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>NQX_01</source>
        <translation>NQX_01</translation>
    </message>
    <message>
        <source>IP地址:</source>
        <translation>IP address:</translation>
    </message>
    <message>
        <source>192.168.10.122</source>
        <translation>192.168.10.122</translation>
    </message>
    <message>
        <source>IP模式:</source>
        <translation>IP mode:</translation>
    </message>
    <message>
        <source>static</source>
        <translation>static</translation>
    </message>
    <message>
        <source>端口:</source>
        <translation>Port:</translation>
    </message>
    <message>
        <source>工作模式:</source>
        <translation>Work mode:</translation>
    </message>
    <message>
        <source>TCP Server</source>
        <translation>TCP Server</translation>
    </message>
    <message>
        <source>刷新设备信息</source>
        <translation>Refresh Device Info</translation>
    </message>
    <message>
        <source>设备名称</source>
        <translation>Device Name</translation>
    </message>
    <message>
        <source>IP模式</source>
        <translation>IP Mode</translation>
    </message>
    <message>
        <source>设备IP</source>
        <translation>Device IP</translation>
    </message>
    <message>
        <source>设备端口</source>
        <translation>Device Port</translation>
    </message>
    <message>
        <source>操作</source>
        <translation>Operation</translation>
    </message>
    <message>
        <source>4196端口被占用</source>
        <translation>Port 4196 is in use</translation>
    </message>
    <message>
        <source>在线设备 %0</source>
        <translation>Devices online: %0</translation>
    </message>
    <message>
        <source>设备数量为0，请检查设备是否接入内网</source>
        <translation>No device found. Please check that the devices are connected to the local network</translation>
    </message>
    <message>
        <source>设置更新</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>当前设备:</source>
        <translation>Current device:</translation>
    </message>
    <message>
        <source>设备修改成功,请重新刷新列表</source>
        <translation>Device updated. Please refresh the list</translation>
    </message>
    <message>
        <source>操作完成</source>
        <translation>Done</translation>
    </message>
    <message>
        <source>设备更新成功，请重新刷新列表</source>
        <translation>Devices updated. Please refresh the list</translation>
    </message>
    <message>
        <source>更新成功</source>
        <translation>Update finished</translation>
    </message>
    <message>
        <source>IP 模式已更改为 DHCP,可通过操作栏更新设备</source>
        <translation>IP mode changed to DHCP. Use the operation column to update the device</translation>
    </message>
    <message>
        <source>IP模式已更改为 static,可通过操作栏更新设备</source>
        <translation>IP mode changed to static. Use the operation column to update the device</translation>
    </message>
    <message>
        <source>刷新成功</source>
        <translation>Refreshed</translation>
    </message>
    <message>
        <source>copy IP(Ctrl+C)</source>
        <translation>copy IP(Ctrl+C)</translation>
    </message>
    <message>
        <source>复制 IP 地址</source>
        <translation>Copy IP Address</translation>
    </message>
    <message>
        <source>更新到设备</source>
        <translation>Update Device</translation>
    </message>
    <message>
        <source>设置为DHCP</source>
        <translation>Set to DHCP</translation>
    </message>
    <message>
        <source>设置为static</source>
        <translation>Set to static</translation>
    </message>
    <message>
        <source>复制成功</source>
        <translation>Copied</translation>
    </message>
    <message>
        <source>导出 CSV 文件</source>
        <translation>Export CSV File</translation>
    </message>
    <message>
        <source>(*.csv)</source>
        <translation>(*.csv)</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>无法创建文件</source>
        <translation>Cannot create the file</translation>
    </message>
    <message>
        <source>导出成功</source>
        <translation>Export finished</translation>
    </message>
    <message>
        <source>数据已成功导出到 CSV 文件</source>
        <translation>The data was exported to the CSV file</translation>
    </message>
    <message>
        <source>导出失败：%1</source>
        <translation>Export failed: %1</translation>
    </message>
    <message>
        <source>第%1行未写入：设备名称为空</source>
        <translation>Row %1 not written: the device name is empty</translation>
    </message>
    <message>
        <source>第%1行未写入：IP模式无效，应为 static 或 DHCP</source>
        <translation>Row %1 not written: invalid IP mode, it must be static or DHCP</translation>
    </message>
    <message>
        <source>第%1行未写入：IP地址“%2”无效，应为四个0到255之间的数字，例如 192.168.1.100</source>
        <translation>Row %1 not written: the IP address &quot;%2&quot; is invalid, it must be four numbers from 0 to 255, e.g. 192.168.1.100</translation>
    </message>
    <message>
        <source>第%1行未写入：端口无效，应为1到65535之间的数字</source>
        <translation>Row %1 not written: invalid port, it must be a number from 1 to 65535</translation>
    </message>
    <message>
        <source>设备 %1（%2）更新失败：设备库拒绝了写入，请重新刷新列表</source>
        <translation>Updating device %1 (%2) failed: the device library refused the write. Please refresh the list</translation>
    </message>
    <message>
        <source>操作失败</source>
        <translation>Operation failed</translation>
    </message>
    <message>
        <source>更新未完成：已写入 %1 台设备，请重新刷新列表</source>
        <translation>Update not completed: %1 device(s) written. Please refresh the list</translation>
    </message>
</context>
<context>
    <name>newPushButtonDelegate</name>
    <message>
        <source>设置更新</source>
        <translation>Update</translation>
    </message>
</context>
<context>
    <name>ListPage</name>
    <message>
        <source>列表模式:</source>
        <translation>List mode:</translation>
    </message>
    <message>
        <source>增加</source>
        <translation>Add</translation>
    </message>
    <message>
        <source>删除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>步数:</source>
        <translation>Steps:</translation>
    </message>
    <message>
        <source>循环次数:</source>
        <translation>Cycles:</translation>
    </message>
    <message>
        <source>当前循环:</source>
        <translation>Cycle:</translation>
    </message>
    <message>
        <source>加载当前列表</source>
        <translation>Load current list</translation>
    </message>
    <message>
        <source>导出文件(.CSV)</source>
        <translation>Export file (.CSV)</translation>
    </message>
    <message>
        <source>导入文件(.CSV)</source>
        <translation>Import file (.CSV)</translation>
    </message>
    <message>
        <source>加载选择文件</source>
        <translation>Load selected file</translation>
    </message>
    <message>
        <source>连接状态:</source>
        <translation>Link:</translation>
    </message>
    <message>
        <source>请先连接设备</source>
        <translation>Connect first</translation>
    </message>
    <message>
        <source>并机:</source>
        <translation>Parallel:</translation>
    </message>
    <message>
        <source>保护设置</source>
        <translation>Protection</translation>
    </message>
    <message>
        <source>记录</source>
        <translation>Record</translation>
    </message>
    <message>
        <source>间隔:</source>
        <translation>Interval:</translation>
    </message>
    <message>
        <source>时长:</source>
        <translation>Length:</translation>
    </message>
    <message>
        <source>目录:</source>
        <translation>Folder:</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>暂停记录</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>结束记录</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>清空记录</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>当前记录条数:</source>
        <translation>Rows:</translation>
    </message>
    <message>
        <source>状态:</source>
        <translation>State:</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not started</translation>
    </message>
    <message>
        <source>导出数据(最大24h)</source>
        <translation>Export data (max 24h)</translation>
    </message>
    <message>
        <source>返回</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>I/V-bar</source>
        <translation>I/V-bar</translation>
    </message>
    <message>
        <source>文件名不能有中文或者不能为空</source>
        <translation>The file name must not be empty or contain Chinese characters</translation>
    </message>
    <message>
        <source>无法打开文件</source>
        <translation>Cannot open the file</translation>
    </message>
    <message>
        <source>错误提示</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>没有该模式，请检查文件格式是否正确！</source>
        <translation>Unknown mode, please check the file format!</translation>
    </message>
    <message>
        <source>单元格含有非法字符请检查表格字符格式，自动改为1A！</source>
        <translation>A cell holds invalid characters, please check the table; set to 1A!</translation>
    </message>
    <message>
        <source>单元格含有非法字符请检查表格字符格式，自动改为2000A/ms！</source>
        <translation>A cell holds invalid characters, please check the table; set to 2000A/ms!</translation>
    </message>
    <message>
        <source>单元格含有非法字符请检查表格字符格式，自动改为9999S！</source>
        <translation>A cell holds invalid characters, please check the table; set to 9999S!</translation>
    </message>
    <message>
        <source>提示</source>
        <translation>Notice</translation>
    </message>
    <message>
        <source>请选择文件</source>
        <translation>Please select a file</translation>
    </message>
    <message>
        <source>选择要导入的CSV文件</source>
        <translation>Choose the CSV file to import</translation>
    </message>
    <message>
        <source>打开文件路径</source>
        <translation>Open file location</translation>
    </message>
    <message>
        <source>从文件列表中移除</source>
        <translation>Remove from the file list</translation>
    </message>
    <message>
        <source>清空文件列表</source>
        <translation>Clear the list</translation>
    </message>
    <message>
        <source>设备未连接</source>
        <translation>The instrument is not connected</translation>
    </message>
    <message>
        <source>列表不能为空</source>
        <translation>The list is empty</translation>
    </message>
    <message>
        <source>加载进度</source>
        <translation>Loading</translation>
    </message>
    <message>
        <source>加载中断，请重新加载</source>
        <translation>Loading interrupted, please load again</translation>
    </message>
    <message>
        <source>列表加载完成</source>
        <translation>List loaded</translation>
    </message>
    <message>
        <source>仪器未响应，开机失败!</source>
        <translation>The instrument did not respond, start failed!</translation>
    </message>
    <message>
        <source>选择日志目录</source>
        <translation>Choose the log folder</translation>
    </message>
    <message>
        <source>请先运行设备</source>
        <translation>Please run the list first</translation>
    </message>
    <message>
        <source>所有步数运行完成</source>
        <translation>All steps completed</translation>
    </message>
    <message>
        <source>最大步数为100</source>
        <translation>At most 100 steps</translation>
    </message>
    <message>
        <source>以下粘贴的单元格不是该列可取的数字，未被采用，改为新行的值：</source>
        <translation>These pasted cells were not taken (no number the column accepts) and hold a new row&apos;s value instead:</translation>
    </message>
    <message>
        <source>第%1行 %2: &quot;%3&quot;</source>
        <translation>Row %1 %2: &quot;%3&quot;</translation>
    </message>
    <message>
        <source>……共%1个单元格未被采用</source>
        <translation>… %1 cells not taken in all</translation>
    </message>
    <message>
        <source>复制(Ctrl+C)</source>
        <translation>Copy (Ctrl+C)</translation>
    </message>
    <message>
        <source>粘贴(Ctrl+V)</source>
        <translation>Paste (Ctrl+V)</translation>
    </message>
    <message>
        <source>在上方插入行</source>
        <translation>Insert row above</translation>
    </message>
    <message>
        <source>在下方插入行</source>
        <translation>Insert row below</translation>
    </message>
    <message>
        <source>请选对应择行</source>
        <translation>Please select a row</translation>
    </message>
</context>
<context>
    <name>BATPage</name>
    <message>
        <source>返回</source>
        <translation>Back</translation>
    </message>
    <message>
        <source>连接状态:</source>
        <translation>Link:</translation>
    </message>
    <message>
        <source>系统和保护设置</source>
        <translation>System and Protection</translation>
    </message>
    <message>
        <source> 更新设置</source>
        <translation> Update Settings</translation>
    </message>
    <message>
        <source>放电电流设置</source>
        <translation>Discharge Current</translation>
    </message>
    <message>
        <source>放电截止条件</source>
        <translation>Discharge Cut-off</translation>
    </message>
    <message>
        <source>放电时间</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>截止电压</source>
        <translation>Voltage</translation>
    </message>
    <message>
        <source>电池容量</source>
        <translation>Capacity</translation>
    </message>
    <message>
        <source>电池标称容量</source>
        <translation>Nominal Capacity</translation>
    </message>
    <message>
        <source>开始测试</source>
        <translation>Start Test</translation>
    </message>
    <message>
        <source>暂停测试</source>
        <translation>Pause Test</translation>
    </message>
    <message>
        <source>终止测试</source>
        <translation>Stop Test</translation>
    </message>
    <message>
        <source>继续测试</source>
        <translation>Resume Test</translation>
    </message>
    <message>
        <source>测试状态:</source>
        <translation>Test State:</translation>
    </message>
    <message>
        <source>未开始</source>
        <translation>Not Started</translation>
    </message>
    <message>
        <source>测试中</source>
        <translation>Testing</translation>
    </message>
    <message>
        <source>暂停中</source>
        <translation>Paused</translation>
    </message>
    <message>
        <source>放电测试结果</source>
        <translation>Discharge Test Results</translation>
    </message>
    <message>
        <source>电池健康度(SOH)=</source>
        <translation>State of Health (SOH) =</translation>
    </message>
    <message>
        <source>SOH=实际容量/电池标称容量 x100%</source>
        <translation>SOH = actual capacity / nominal capacity x 100%</translation>
    </message>
    <message>
        <source>电池内阻估算=</source>
        <translation>Internal Resistance =</translation>
    </message>
    <message>
        <source>内阻=（空载电压-恒定放电时候的电池电压）/恒定放电的电流</source>
        <translation>Resistance = (no-load voltage - voltage at constant discharge) / discharge current</translation>
    </message>
    <message>
        <source>运行时间:</source>
        <translation>Run Time:</translation>
    </message>
    <message>
        <source>曲线</source>
        <translation>Curves</translation>
    </message>
    <message>
        <source>导出曲线</source>
        <translation>Export Curves</translation>
    </message>
    <message>
        <source>数据保存</source>
        <translation>Data Logging</translation>
    </message>
    <message>
        <source>数据记录间隔</source>
        <translation>Interval</translation>
    </message>
    <message>
        <source>数据记录长度</source>
        <translation>Length</translation>
    </message>
    <message>
        <source>保存路径</source>
        <translation>Folder</translation>
    </message>
    <message>
        <source>浏览</source>
        <translation>Browse</translation>
    </message>
    <message>
        <source>开始记录</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>暂停记录</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>结束记录</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>清空记录</source>
        <translation>Clear</translation>
    </message>
    <message>
        <source>当前记录条数:</source>
        <translation>Rows:</translation>
    </message>
    <message>
        <source>状态:</source>
        <translation>State:</translation>
    </message>
    <message>
        <source>设备未连接</source>
        <translation>The instrument is not connected</translation>
    </message>
    <message>
        <source>本地数据同步中</source>
        <translation>Synchronising settings with the instrument</translation>
    </message>
    <message>
        <source>无放电截止条件</source>
        <translation>No discharge cut-off is on</translation>
    </message>
    <message>
        <source>电池测试成功</source>
        <translation>Battery test passed</translation>
    </message>
    <message>
        <source>电池测试失败</source>
        <translation>Battery test failed</translation>
    </message>
    <message>
        <source>选择文件夹</source>
        <translation>Choose Folder</translation>
    </message>
</context>
</TS>
