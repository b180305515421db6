<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- A small English translation for the language-switch tests only. -->
<TS version="2.1" language="en_US">
<context>
    <name>Quellon</name>
    <message>
        <source>连接</source>
        <translation>Connect</translation>
    </message>
    <message>
        <source>断开</source>
        <translation>Disconnect</translation>
    </message>
    <message>
        <source>标准模式</source>
        <translation>Static Mode</translation>
    </message>
    <message>
        <source>语言</source>
        <translation>Language</translation>
    </message>
    <message>
        <source>设备无响应，检查连接是否正确</source>
        <translation>The instrument does not answer; check the connection</translation>
    </message>
</context>
</TS>
