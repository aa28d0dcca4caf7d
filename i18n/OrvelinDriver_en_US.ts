<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>DualInputPanel</name>
    <message>
        <source>MIC1</source>
        <translation>MIC1</translation>
    </message>
    <message>
        <source>MIC2</source>
        <translation>MIC2</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>Gain</translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation>DIRECT</translation>
    </message>
    <message>
        <source>SPEAKER</source>
        <translation>SPEAKER</translation>
    </message>
    <message>
        <source>HEADPHONE</source>
        <translation>HEADPHONE</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Phone To SP Volume</source>
        <translation>Phone To SP Volume</translation>
    </message>
    <message>
        <source>Phone To HP Volume</source>
        <translation>Phone To HP Volume</translation>
    </message>
    <message>
        <source>MIC</source>
        <translation>MIC</translation>
    </message>
    <message>
        <source>INST</source>
        <translation>INST</translation>
    </message>
    <message>
        <source>instrument input</source>
        <translation>instrument input</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>No Device Connect!</source>
        <translation>No Device Connect!</translation>
    </message>
    <message>
        <source>声卡未连接！</source>
        <translation>Sound card not connected!</translation>
    </message>
</context>
<context>
    <name>RemoteWindow</name>
    <message>
        <source>Serve the remote page</source>
        <translation>Serve the remote page</translation>
    </message>
    <message>
        <source>New code</source>
        <translation>New code</translation>
    </message>
    <message>
        <source>Remote Control</source>
        <translation>Remote Control</translation>
    </message>
    <message>
        <source>Address:</source>
        <translation>Address:</translation>
    </message>
    <message>
        <source>Page address</source>
        <translation>Page address</translation>
    </message>
    <message>
        <source>QR code of the page address</source>
        <translation>QR code of the page address</translation>
    </message>
    <message>
        <source>Off. When on, any phone or tablet on this network that has the code can change every control.</source>
        <translation>Off. When on, any phone or tablet on this network that has the code can change every control.</translation>
    </message>
    <message>
        <source>Pages paired before keep working. The code is kept only as a hash: make a new code to pair another phone.</source>
        <translation>Pages paired before keep working. The code is kept only as a hash: make a new code to pair another phone.</translation>
    </message>
    <message>
        <source>Scan the code with the phone&apos;s camera. Pages open: %1</source>
        <translation>Scan the code with the phone&apos;s camera. Pages open: %1</translation>
    </message>
</context>
<context>
    <name>Settings</name>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Buffer Size</source>
        <translation>Buffer Size</translation>
    </message>
    <message>
        <source>USB Latency Size</source>
        <translation>USB Latency Size</translation>
    </message>
    <message>
        <source>Safe Mode</source>
        <translation>Safe Mode</translation>
    </message>
    <message>
        <source>USB Error</source>
        <translation>USB Error</translation>
    </message>
    <message>
        <source>USB Error Count: %1</source>
        <translation>USB Error Count: %1</translation>
    </message>
</context>
<context>
    <name>SingleInputPanel</name>
    <message>
        <source>INPUT</source>
        <translation>INPUT</translation>
    </message>
    <message>
        <source>Gain</source>
        <translation>Gain</translation>
    </message>
    <message>
        <source>MIC</source>
        <translation>MIC</translation>
    </message>
    <message>
        <source>DIRECT</source>
        <translation>DIRECT</translation>
    </message>
    <message>
        <source>HEADPHONE</source>
        <translation>HEADPHONE</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Phone To HP Volume</source>
        <translation>Phone To HP Volume</translation>
    </message>
    <message>
        <source>INST</source>
        <translation>INST</translation>
    </message>
    <message>
        <source>instrument input</source>
        <translation>instrument input</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Quit</source>
        <translation>Quit</translation>
    </message>
    <message>
        <source>Set Samplerate</source>
        <translation>Set Samplerate</translation>
    </message>
    <message>
        <source>Setup</source>
        <translation>Setup</translation>
    </message>
    <message>
        <source>Main Window</source>
        <translation>Main Window</translation>
    </message>
    <message>
        <source>Upgrade Firmware</source>
        <translation>Upgrade Firmware</translation>
    </message>
    <message>
        <source>Refresh Audio Device</source>
        <translation>Refresh Audio Device</translation>
    </message>
    <message>
        <source>Win Sound Pannel</source>
        <translation>Win Sound Pannel</translation>
    </message>
    <message>
        <source>Remote Control...</source>
        <translation>Remote Control...</translation>
    </message>
</context>
<context>
    <name>WebRemote</name>
    <message>
        <source>No pairing code is stored: make a new code.</source>
        <translation>No pairing code is stored: make a new code.</translation>
    </message>
    <message>
        <source>Serving on every interface needs Allow= in remote.ini.</source>
        <translation>Serving on every interface needs Allow= in remote.ini.</translation>
    </message>
    <message>
        <source>Cannot serve on %1:%2: %3</source>
        <translation>Cannot serve on %1:%2: %3</translation>
    </message>
    <message>
        <source>There is no such page.</source>
        <translation>There is no such page.</translation>
    </message>
    <message>
        <source>This address may not use the remote.</source>
        <translation>This address may not use the remote.</translation>
    </message>
    <message>
        <source>This page needs the pairing code: scan the QR code in the Remote Control window of Orvelin Driver.</source>
        <translation>This page needs the pairing code: scan the QR code in the Remote Control window of Orvelin Driver.</translation>
    </message>
    <message>
        <source>The pairing code is wrong or old: scan the QR code in the Remote Control window of Orvelin Driver again.</source>
        <translation>The pairing code is wrong or old: scan the QR code in the Remote Control window of Orvelin Driver again.</translation>
    </message>
    <message>
        <source>Too many wrong codes from this address: try again in a minute.</source>
        <translation>Too many wrong codes from this address: try again in a minute.</translation>
    </message>
    <message>
        <source>Open the page by the address the Remote Control window shows.</source>
        <translation>Open the page by the address the Remote Control window shows.</translation>
    </message>
    <message>
        <source>Only the remote&apos;s own page may connect.</source>
        <translation>Only the remote&apos;s own page may connect.</translation>
    </message>
    <message>
        <source>Eight pages are open already: close one first.</source>
        <translation>Eight pages are open already: close one first.</translation>
    </message>
    <message>
        <source>Orvelin Remote</source>
        <translation>Orvelin Remote</translation>
    </message>
    <message>
        <source>No device is connected.</source>
        <translation>No device is connected.</translation>
    </message>
    <message>
        <source>Firmware</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>The connection to the panel is lost. Trying again…</source>
        <translation>The connection to the panel is lost. Trying again…</translation>
    </message>
    <message>
        <source>Connected to the panel.</source>
        <translation>Connected to the panel.</translation>
    </message>
    <message>
        <source>This page was paired with an old code: scan the new QR code in the Remote Control window.</source>
        <translation>This page was paired with an old code: scan the new QR code in the Remote Control window.</translation>
    </message>
    <message>
        <source>Lower</source>
        <translation>Lower</translation>
    </message>
    <message>
        <source>Raise</source>
        <translation>Raise</translation>
    </message>
    <message>
        <source>To raise it, drag the handle or press +.</source>
        <translation>To raise it, drag the handle or press +.</translation>
    </message>
    <message>
        <source>On</source>
        <translation>On</translation>
    </message>
    <message>
        <source>Off</source>
        <translation>Off</translation>
    </message>
</context>
</TS>
