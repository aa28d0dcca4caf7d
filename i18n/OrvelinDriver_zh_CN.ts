<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN">
<context>
    <name>DualInputPanel</name>
    <message>
        <source>MIC1</source>
        <translation>麦克风 1</translation>
    </message>
    <message>
        <source>MIC2</source>
        <translation>麦克风 2</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>增益</translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation>直接监听</translation>
    </message>
    <message>
        <source>SPEAKER</source>
        <translation>音箱</translation>
    </message>
    <message>
        <source>HEADPHONE</source>
        <translation>耳机</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Phone To SP Volume</source>
        <translation>手机到音箱音量</translation>
    </message>
    <message>
        <source>Phone To HP Volume</source>
        <translation>手机到耳机音量</translation>
    </message>
    <message>
        <source>MIC</source>
        <translation>麦克风</translation>
    </message>
    <message>
        <source>INST</source>
        <translation>乐器</translation>
    </message>
    <message>
        <source>instrument input</source>
        <translation>乐器输入</translation>
    </message>
</context>
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
    <name>RemoteWindow</name>
    <message>
        <source>Serve the remote page</source>
        <translation>提供遥控网页</translation>
    </message>
    <message>
        <source>New code</source>
        <translation>新配对码</translation>
    </message>
    <message>
        <source>Remote Control</source>
        <translation>远程控制</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>地址：</translation>
    </message>
    <message>
        <source>Page address</source>
        <translation>网页地址</translation>
    </message>
    <message>
        <source>QR code of the page address</source>
        <translation>网页地址的二维码</translation>
    </message>
    <message>
        <source>Off. When on, any phone or tablet on this network that has the code can change every control.</source>
        <translation>已关闭。开启后，此网络上任何拥有配对码的手机或平板都能更改所有控件。</translation>
    </message>
    <message>
        <source>Pages paired before keep working. The code is kept only as a hash: make a new code to pair another phone.</source>
        <translation>之前配对的网页仍可使用。配对码只以哈希值保存：要配对另一部手机，请生成新配对码。</translation>
    </message>
    <message>
        <source>Scan the code with the phone&apos;s camera. Pages open: %1</source>
        <translation>用手机相机扫描二维码。已打开的网页：%1</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Settings</source>
        <translation>设置</translation>
    </message>
    <message>
        <source>Buffer Size</source>
        <translation>缓冲区大小</translation>
    </message>
    <message>
        <source>USB Latency Size</source>
        <translation>USB 延迟大小</translation>
    </message>
    <message>
        <source>Safe Mode</source>
        <translation>安全模式</translation>
    </message>
    <message>
        <source>USB Error</source>
        <translation>USB 错误</translation>
    </message>
    <message>
        <source>USB Error Count: %1</source>
        <translation>USB 错误计数：%1</translation>
    </message>
</context>
<context>
    <name>SingleInputPanel</name>
    <message>
        <source>INPUT</source>
        <translation>输入</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>增益</translation>
    </message>
    <message>
        <source>MIC</source>
        <translation>麦克风</translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation>直接监听</translation>
    </message>
    <message>
        <source>HEADPHONE</source>
        <translation>耳机</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Phone To HP Volume</source>
        <translation>手机到耳机音量</translation>
    </message>
    <message>
        <source>INST</source>
        <translation>乐器</translation>
    </message>
    <message>
        <source>instrument input</source>
        <translation>乐器输入</translation>
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
        <translation>声音控制面板</translation>
    </message>
    <message>
        <source>Remote Control...</source>
        <translation>远程控制...</translation>
    </message>
</context>
<context>
    <name>WebRemote</name>
    <message>
        <source>No pairing code is stored: make a new code.</source>
        <translation>没有保存配对码：请生成新配对码。</translation>
    </message>
    <message>
        <source>Serving on every interface needs Allow= in remote.ini.</source>
        <translation>在所有网络接口上提供服务需要 remote.ini 中的 Allow=。</translation>
    </message>
    <message>
        <source>Cannot serve on %1:%2: %3</source>
        <translation>无法在 %1:%2 上提供服务：%3</translation>
    </message>
    <message>
        <source>There is no such page.</source>
        <translation>没有这个网页。</translation>
    </message>
    <message>
        <source>This address may not use the remote.</source>
        <translation>此地址不允许使用遥控。</translation>
    </message>
    <message>
        <source>This page needs the pairing code: scan the QR code in the Remote Control window of Orvelin Driver.</source>
        <translation>此网页需要配对码：请扫描 Orvelin Driver 远程控制窗口中的二维码。</translation>
    </message>
    <message>
        <source>The pairing code is wrong or old: scan the QR code in the Remote Control window of Orvelin Driver again.</source>
        <translation>配对码错误或已过期：请重新扫描 Orvelin Driver 远程控制窗口中的二维码。</translation>
    </message>
    <message>
        <source>Too many wrong codes from this address: try again in a minute.</source>
        <translation>此地址输入错误配对码的次数过多：请一分钟后再试。</translation>
    </message>
    <message>
        <source>Open the page by the address the Remote Control window shows.</source>
        <translation>请使用远程控制窗口显示的地址打开网页。</translation>
    </message>
    <message>
        <source>Only the remote&apos;s own page may connect.</source>
        <translation>只有遥控自己的网页可以连接。</translation>
    </message>
    <message>
        <source>Eight pages are open already: close one first.</source>
        <translation>已打开八个网页：请先关闭一个。</translation>
    </message>
    <message>
        <source>Orvelin Remote</source>
        <translation>Orvelin 遥控</translation>
    </message>
    <message>
        <source>No device is connected.</source>
        <translation>未连接设备。</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>固件</translation>
    </message>
    <message>
        <source>The connection to the panel is lost. Trying again…</source>
        <translation>与控制面板的连接已断开，正在重试…</translation>
    </message>
    <message>
        <source>Connected to the panel.</source>
        <translation>已连接到控制面板。</translation>
    </message>
    <message>
        <source>This page was paired with an old code: scan the new QR code in the Remote Control window.</source>
        <translation>此网页使用的是旧配对码：请扫描远程控制窗口中的新二维码。</translation>
    </message>
    <message>
        <source>Lower</source>
        <translation>降低</translation>
    </message>
    <message>
        <source>Raise</source>
        <translation>升高</translation>
    </message>
    <message>
        <source>To raise it, drag the handle or press +.</source>
        <translation>要升高，请拖动滑块或按 +。</translation>
    </message>
    <message>
        <source>On</source>
        <translation>开</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>关</translation>
    </message>
</context>
</TS>
