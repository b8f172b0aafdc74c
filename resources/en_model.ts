<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>LocalDb</name>
    <message>
        <source>IDS_CONTACT_CHANGED_OUTSIDE</source>
        <translation>The contact was changed or removed outside the program; nothing was written.</translation>
    </message>
    <message>
        <source>IDS_DATABASE_REPLACED_%1</source>
        <translation>The database %1 was removed or replaced outside the program while it was being written; nothing was written.</translation>
    </message>
    <message>
        <source>IDS_DATABASE_BUSY_%1</source>
        <translation>Another program is using the database %1; nothing was written. Try again when it has finished.</translation>
    </message>
</context>
</TS>
