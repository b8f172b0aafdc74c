<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>AndroidWIFIForm</name>
    <message>
        <source>IDS_WIFI_SOCK_WRONG_FOR_EXAMPLE</source>
        <translation>Input Error. Please input the correct WiFi connection info.</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>IDS_WIFI_CONNECTOR_CONNECT_TIMEOUT</source>
        <translation>Connection Timeout.Please make sure you input the WiFi connection info correctly.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>IDS_SELECT_ANDROID_TO_TRANSFER</source>
        <translation>Select an Android device to continue.</translation>
    </message>
    <message>
        <source>IDS_ANDROID_USB_ACCESS_DENIED</source>
        <translation>Failed to connect your Android Phone.&lt;br/&gt;usb: %1&lt;br/&gt;&lt;br/&gt;This computer does not let you use the phone: access to it was denied (insufficient permissions). Install the package android-sdk-platform-tools-common, which brings the udev rules that allow it (sudo apt-get install android-sdk-platform-tools-common), then unplug the phone and plug it in again.</translation>
    </message>
    <message>
        <source>IDS_ANDROID_NOT_CONNECTED</source>
        <translation>This Android database has no phone connected to it. Connect the phone and choose it from the devices.</translation>
    </message>
</context>
</TS>
