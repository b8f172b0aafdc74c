<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ImportContactsFromiTunesThread</name>
    <message>
        <source>IDS_READING_CONTACTS_FROM_ITUNES</source>
        <translation>Loading contacts from iTunes Backup...</translation>
    </message>
    <message>
        <source>IDS_WRITING_CONTACTS_FROM_ITUNES_TO_LOCALDB</source>
        <translation>Importing contacts from iTunes Backup now...</translation>
    </message>
    <message>
        <source>IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES</source>
        <translation>Successfully imported %1 contacts from iTunes Backup.</translation>
    </message>
    <message>
        <source>IDS_SUC_IMPORT_%1_CONTACTS_FROM_ITUNES_%2_MERGED</source>
        <translation>Successfully imported %1 contacts from iTunes Backup,with %2 repeated contacts merged.</translation>
    </message>
</context>
<context>
    <name>LoadItunesBackupDlg</name>
    <message>
        <source>IDS_SELECT_AN_ITUNES_BACKUP_TO_LOAD</source>
        <translation>Please select an iTunes Backup to load.</translation>
    </message>
    <message>
        <source>IDS_NO_BACKUP_LISTED_THERE_CLICK_&lt;a href=&quot;#&quot;&gt;Here&lt;/a&gt;_ADD</source>
        <translation>Can&apos;t find your iTunes Backup on the list? Please manually import it by clicking &lt;a href=&quot;#&quot;&gt;HERE&lt;/a&gt;.</translation>
    </message>
    <message>
        <source>IDS_LOAD_BK_EXISTS</source>
        <translation>This iTunes Backup has been listed on the left.</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_ITUNES_BACKUP</source>
        <translation>Need to select an iTunes Backup to continue.</translation>
    </message>
</context>
<context>
    <name>PasscodeDlg</name>
    <message>
        <source>IDS_PLEASE_ENTER_PASSWORD_TO_LOAD_BACKUP</source>
        <translation>This iTunes Backup is encrypted. Please enter password:</translation>
    </message>
    <message>
        <source>IDS_ENTER_PASSWORD</source>
        <translation>Enter password</translation>
    </message>
    <message>
        <source>IDS_PWD_IS_NULL</source>
        <translation>Password is required.</translation>
    </message>
    <message>
        <source>IDS_INVALID_PASSWORD</source>
        <translation>Invalid password.</translation>
    </message>
</context>
</TS>
