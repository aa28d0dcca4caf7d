<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>MainWindow</name>
    <message>
        <source>No Device Connect!</source>
        <translation>未连接设备！</translation>
    </message>
    <message>
        <source>声卡未连接！</source>
        <translation>声卡未连接！</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Quit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Set Samplerate</source>
        <translation>设置采样率</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Main Window</source>
        <translation>主窗口</translation>
    </message>
    <message>
        <source>Upgrade Firmware</source>
        <translation>升级固件</translation>
    </message>
    <message>
        <source>Refresh Audio Device</source>
        <translation>刷新音频设备</translation>
    </message>
    <message>
        <source>Win Sound Pannel</source>
        <translation>Windows 声音面板</translation>
    </message>
</context>
<context>
    <name>ka1</name>
    <message>
        <source>INPUT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gain</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MIC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HEADPHONE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone To HP Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>INST</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ka2</name>
    <message>
        <source>MIC1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MIC2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gain</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPEAKER</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HEADPHONE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone To SP Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone To HP Volume</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>ka2se</name>
    <message>
        <source>MIC1</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MIC2</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gain</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>MIC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>INST</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>SPEAKER</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>HEADPHONE</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone To SP Volume</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Phone To HP Volume</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>kv</name>
    <message>
        <source>MIC</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Gain</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Volume</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
