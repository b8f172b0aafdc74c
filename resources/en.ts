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
<context>
    <name>Program</name>
    <message>
        <source>IDS_DATA_FOLDER_REDIRECT_UNUSABLE_%1_%2_%3</source>
        <translation>The redirect file %1 names the folder %2, which cannot be used as the data folder (it does not exist, is not a folder, or cannot be written to). The data is kept in %3.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>IDS_CONFIRM_CLEAR_ANDROID_CONTACTS</source>
        <translation>Confirm to clear all Android Contacts?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_GROUP</source>
        <translation>Confirm to delete the Group?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_LOCALDB</source>
        <translation>Confirm to delete this Local Database?</translation>
    </message>
    <message>
        <source>IDS_CONFIRM_DEL_SELECTIONS</source>
        <translation>Confirm to delete selected contacts?</translation>
    </message>
    <message>
        <source>IDS_DELETE_LOCALDB_SUC</source>
        <translation>Successfully deleted Local Database.</translation>
    </message>
    <message>
        <source>IDS_DELETE_LOCALDB_ERROR</source>
        <translation>An Error Occurred during deleting Local Database. Please try again.</translation>
    </message>
    <message>
        <source>IDS_SUC_DEL_CONTACTS</source>
        <translation>Successfully deleted contact.</translation>
    </message>
    <message>
        <source>IDS_UPDATE_GROUP_SUC</source>
        <translation>Successfuly set Contact Group</translation>
    </message>
    <message>
        <source>IDS_SEARCH_KEYWORKD_%1</source>
        <translation>Keyword:%1</translation>
    </message>
    <message>
        <source>IDS_CREATE_DB_FAIL_%1</source>
        <translation>Failed to create Local Database. Error:%1</translation>
    </message>
    <message>
        <source>IDS_STARTING_IMPORT_CONTACTS_FROM_DEVICE</source>
        <translation>Loading Contacts from Device</translation>
    </message>
    <message>
        <source>IDS_MI_ABOUT</source>
        <translation>About</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_CONTACTS</source>
        <translation>Backup Contacts</translation>
    </message>
    <message>
        <source>IDS_MI_BACKUP_SELECTIONS</source>
        <translation>Backup selected contacts</translation>
    </message>
    <message>
        <source>IDS_MI_CHECK_FOR_UPDATE</source>
        <translation>Check update</translation>
    </message>
    <message>
        <source>IDS_MI_CONNECT_ANDROID_VIA_WIFI</source>
        <translation>Connect Android Phone via WiFi</translation>
    </message>
    <message>
        <source>IDS_MI_DEL_CONTACTS</source>
        <translation>Delete Contact</translation>
    </message>
    <message>
        <source>IDS_MI_DEL_SELECTIONS</source>
        <translation>Delete selected contacts</translation>
    </message>
    <message>
        <source>IDS_MI_EDIT_CONTACT</source>
        <translation>Edit Contact</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_CONTACTS</source>
        <translation>Export Contacts to File</translation>
    </message>
    <message>
        <source>IDS_MI_EXPORT_SELECTIONS</source>
        <translation>Export selected contacts</translation>
    </message>
    <message>
        <source>IDS_MI_FEEDBACK</source>
        <translation>Feedback and support</translation>
    </message>
    <message>
        <source>IDS_MI_FROM_ITUNES</source>
        <translation>Import from iTunes</translation>
    </message>
    <message>
        <source>IDS_MI_HELP</source>
        <translation>Help</translation>
    </message>
    <message>
        <source>IDS_MI_IMPORT</source>
        <translation>Import</translation>
    </message>
    <message>
        <source>IDS_MI_IMPORT_FROM_FILE</source>
        <translation>Import from File</translation>
    </message>
    <message>
        <source>IDS_MI_NEW_CONTACT</source>
        <translation>Add Contact</translation>
    </message>
    <message>
        <source>IDS_MI_OPEN_LOCALDB_FOLDER</source>
        <translation>Open Database Folder</translation>
    </message>
    <message>
        <source>IDS_MI_PHONE_TO_PHONE</source>
        <translation>Phone to Phone Transfer</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_CONTACTS</source>
        <translation>Print Contacts</translation>
    </message>
    <message>
        <source>IDS_MI_PRINT_SELECTIONS</source>
        <translation>Print selected contacts</translation>
    </message>
    <message>
        <source>IDS_MI_REMOVE_LOCAL_DB</source>
        <translation>Delete Local Database</translation>
    </message>
    <message>
        <source>IDS_MI_SET_GROUP</source>
        <translation>Set Contact Group</translation>
    </message>
    <message>
        <source>IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_DB</source>
        <translation>Restore selected contacts to Android</translation>
    </message>
    <message>
        <source>IDS_MI_TRANSFER_SELECTIONS_TO_ANDROID_FROM_IOS</source>
        <translation>Transfer selected contacts from iPhone to Android</translation>
    </message>
    <message>
        <source>IDS_MI_TRANSFER_SELECTIONS_TO_OTHER_ANDROID_FROM_ANDROID</source>
        <translation>Transfer selected contacts from Android to Android</translation>
    </message>
    <message>
        <source>IDS_MI_TRANSFER_TO_ANDROID_FROM_IOS</source>
        <translation>iPhone to Android</translation>
    </message>
    <message>
        <source>IDS_MI_TRANSFER_TO_ANDROID_FROM_LOCALDB</source>
        <translation>Restore Contacts to Android</translation>
    </message>
    <message>
        <source>IDS_MI_TRANSFER_TO_OTHER_ANDROID_FROM_ANDROID</source>
        <translation>Android to Android</translation>
    </message>
    <message>
        <source>IDS_MI_UNMOUNT_DEVICE</source>
        <translation>Disconnect Device</translation>
    </message>
</context>
<context>
    <name>ItemModelMainTree</name>
    <message>
        <source>IDS_ROOT_DEVICE</source>
        <translation>Devices</translation>
    </message>
    <message>
        <source>IDS_ROOT_LOCALDB</source>
        <translation>Local Databases</translation>
    </message>
</context>
<context>
    <name>LocalDbSelForm</name>
    <message>
        <source>选择要备份到哪个数据库</source>
        <translation>Select one Database for backup</translation>
    </message>
    <message>
        <source>选择或输入新的数据库名称:</source>
        <translation>Select current database to merge or enter a new database name:</translation>
    </message>
    <message>
        <source>选择现有的数据库会将短信息附加到里面,输入新的名字会创建新的本地数据库.</source>
        <translation>Selecting current Database will merge contacts;entering new DB name will create a new Database.</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_DATABASE_OR_INPUT_NEW_NAME</source>
        <translation>Select one Database or enter a new Database name</translation>
    </message>
    <message>
        <source>IDS_INVALID_LOCALDB_NAME</source>
        <translation>Invalid Local Database name(can&apos;t contain \ / : * ? &quot; &lt; &gt; |).</translation>
    </message>
    <message>
        <source>IDS_LOCALDB_NAME_TOO_LONG_%1</source>
        <translation>Invalid Local Database name: it is too long for the file system. The database&apos;s file name, with &quot;.db&quot;, may hold at most %1 bytes.</translation>
    </message>
</context>
<context>
    <name>DataSourceSelForm</name>
    <message>
        <source>Dialog</source>
        <translation>Dialog</translation>
    </message>
    <message>
        <source>请选择一个 iTunes 备份:</source>
        <translation>Please select one iTunes Backup</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>IDS_PLEASE_SELECT_ONE_DATASOURCE</source>
        <translation>Please select one datasource.</translation>
    </message>
</context>
<context>
    <name>BackupContactsToLocalThread</name>
    <message>
        <source>IDS_IMPORTING_CONTACTS_TO_LOCALDB</source>
        <translation>Backing up contacts to Local Database</translation>
    </message>
    <message>
        <source>IDS_SUC_IMPORT_%1_TO_LOCALDB</source>
        <translation>Successfully backup %1 contacts to Local Database.</translation>
    </message>
    <message>
        <source>IDS_SUC_IMPORT_%1_TO_LOCALDB_%2_MERGED</source>
        <translation>Successfully backup %1 contacts to Local Database;%2 repeated contacts merged.</translation>
    </message>
</context>
<context>
    <name>AboutUsForm</name>
    <message>
        <source>关于</source>
        <translation>About</translation>
    </message>
</context>
<context>
    <name>IOSSyncToPCThread</name>
    <message>
        <source>IDS_RECEIVING_CONTACTS_FROM_IOS</source>
        <translation>Loading contacts from device...</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>IDS_LISTED_DATABASE_CLOSED</source>
        <translation>The database of the listed contacts is no longer open. Choose its node again to list them.</translation>
    </message>
    <message>
        <source>IDS_LISTED_CONTACT_GONE_%1</source>
        <translation>A listed contact is no longer stored in %1. Choose its node again to list the contacts it holds now.</translation>
    </message>
    <message>
        <source>IDS_IPHONE_CONNECTIONS_CONTACTS_SYNC_TIPS</source>
        <translation>&lt;p&gt;&lt;b&gt;Notes:&lt;/b&gt;&lt;/p&gt;
&lt;p&gt;&lt;nobr&gt;&lt;b&gt;1.&lt;/b&gt;  If your iPhone is protected with a passcode, please enter your passcode on iPhone first.&lt;/nobr&gt;&lt;/p&gt;
&lt;p&gt;&lt;nobr&gt;&lt;b&gt;2.&lt;/b&gt;  Turn off contacts Sync on your iPhone by 1)Settings-&gt;Mail, Contacts, Calendars-&gt;Account; 2) Settings-&gt;iCloud&lt;/nobr&gt;&lt;/p&gt;
&lt;p&gt;&lt;img src=&quot;:res/iphone_setting1.jpg&quot;/&gt;&lt;/p&gt;</translation>
    </message>
</context>
</TS>
