<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="zh_CN">
<context>
    <name>farm</name>
    <message>
        <source>端口被占用---退出程序</source>
        <translation>Port taken - ending the program</translation>
    </message>
    <message>
        <source>先运行基础服务</source>
        <translation>Start the base services first (ledgo and kintrahub)</translation>
    </message>
    <message>
        <source>服务程序不在规定位置!</source>
        <translation>The engine is not where it must be (pvengine beside the node program)!</translation>
    </message>
    <message>
        <source>请按照说明方式启动各级服务程序</source>
        <translation>Start the farm's services as the instructions say</translation>
    </message>
    <message>
        <source>该接口中止使用
请使用RenderNet2接口</source>
        <translation>This interface is discontinued
Use the RenderNet2 interface</translation>
    </message>
    <message>
        <source>这是开发版本version 1.0</source>
        <translation>This is development version 1.0</translation>
    </message>
    <message>
        <source>渲染单元</source>
        <translation>Render node</translation>
    </message>
    <message>
        <source>工作组服务</source>
        <translation>Workgroup server</translation>
    </message>
    <message>
        <source>Ledgo服务</source>
        <translation>Ledgo service</translation>
    </message>
    <message>
        <source>关闭</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>关闭服务</source>
        <translation>Stop the service</translation>
    </message>
    <message>
        <source>服务关闭</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>隐藏</source>
        <translation>Hide</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>保存文件</source>
        <translation>Save file</translation>
    </message>
    <message>
        <source>例子1</source>
        <translation>Example 1</translation>
    </message>
    <message>
        <source>例子2</source>
        <translation>Example 2</translation>
    </message>
    <message>
        <source>结束</source>
        <translation>End</translation>
    </message>
    <message>
        <source>关于 Tessel(&amp;A)...</source>
        <translation>About Tessel(&amp;A)...</translation>
    </message>
    <message>
        <source>关于 Tessel</source>
        <translation>About Tessel</translation>
    </message>
    <message>
        <source>Tessel 1.0 版</source>
        <translation>Tessel version 1.0</translation>
    </message>
    <message>
        <source>关于 Kintrahub(&amp;A)...</source>
        <translation>About Kintrahub(&amp;A)...</translation>
    </message>
    <message>
        <source>关于 Kintrahub</source>
        <translation>About Kintrahub</translation>
    </message>
    <message>
        <source>Kintrahub 1.0 版</source>
        <translation>Kintrahub version 1.0</translation>
    </message>
    <message>
        <source>关于 Ledgo(&amp;A)...</source>
        <translation>About Ledgo(&amp;A)...</translation>
    </message>
    <message>
        <source>关于 Ledgo</source>
        <translation>About Ledgo</translation>
    </message>
    <message>
        <source>Ledgo 1.0 版</source>
        <translation>Ledgo version 1.0</translation>
    </message>
    <message>
        <source>已忽略来自</source>
        <translation>ignored a change from </translation>
    </message>
    <message>
        <source>的更改请求(不在 LEDGO_ALLOW 中)</source>
        <translation> (not in LEDGO_ALLOW)</translation>
    </message>
    <message>
        <source>来自</source>
        <translation>from </translation>
    </message>
    <message>
        <source>注册服务:</source>
        <translation> registered service: </translation>
    </message>
    <message>
        <source>解析服务:</source>
        <translation> resolved service: </translation>
    </message>
    <message>
        <source>卸载服务:</source>
        <translation> unloaded service: </translation>
    </message>
    <message>
        <source>备份文件损坏,已忽略:</source>
        <translation>store file damaged, ignored: </translation>
    </message>
    <message>
        <source>备份文件写入失败:</source>
        <translation>store file could not be written: </translation>
    </message>
</context>
</TS>
