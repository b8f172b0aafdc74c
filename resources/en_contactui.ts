<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>EditContactForm</name>
    <message>
        <source>新增联系人</source>
        <translation>Add Contact</translation>
    </message>
    <message>
        <source>IDS_NEW_CONTACT</source>
        <translation>Add New Contact</translation>
    </message>
    <message>
        <source>IDS_EDIT_CONTACT_%1</source>
        <translation>Edit Contact %1</translation>
    </message>
    <message>
        <source>IDS_ENTER_FIRSTNAME_OR_LASTNAME</source>
        <translation>First name or Last name can't be blank.</translation>
    </message>
    <message>
        <source>IDS_CONTACT_NAME_%1_EXIST</source>
        <translation>Contact %1 has already existed.</translation>
    </message>
    <message>
        <source>IDS_CANCEL_EDIT_CONTACT_WILL_LOST_CHANGES_CONTINUE</source>
        <translation>Discard the editing?</translation>
    </message>
</context>
<context>
    <name>GroupForm</name>
    <message>
        <source>选择已有的组别或者输入新的组别:</source>
        <translation>Pick a Group or enter new Group name;</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_UNGROUP_CONTACTS</source>
        <translation>Confirm to remove seleted member from the Group?</translation>
    </message>
</context>
<context>
    <name>IOSSendChangesThread</name>
    <message>
        <source>IDS_SENGING_CHANGES_TO_DEVICE</source>
        <translation>Updating device contacts now...</translation>
    </message>
</context>
<context>
    <name>IOSSyncToDeviceThread</name>
    <message>
        <source>IDS_MERGING_CONTACTS</source>
        <translation>Merging contacts now...</translation>
    </message>
    <message>
        <source>IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS</source>
        <translation>Successfully transferred %1 contacts to device.</translation>
    </message>
    <message>
        <source>IDS_SUC_TRANSFER_%1_CONTACTS_TO_IOS_MERGED_%2</source>
        <translation>Successfully transferred %1 contacts to device, with %2 repeated contacts merged.</translation>
    </message>
</context>
</TS>
