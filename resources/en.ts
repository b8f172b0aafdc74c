<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>Ferrovantis Tarnwick for Mac</source>
        <translation>Ferrovantis Tarnwick for Mac</translation>
    </message>
</context>
</TS>
