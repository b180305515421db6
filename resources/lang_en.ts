<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>Quellon</name>
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
</TS>
