<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>LocalDb</name>
    <message>
        <source>IDS_CONTACT_CHANGED_OUTSIDE</source>
        <translation>The contact was changed or removed outside the program; nothing was written.</translation>
    </message>
</context>
</TS>
