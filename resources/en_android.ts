<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>IDS_ANDROID_CONNECT_FAIL%0:%1</source>
        <translation>Failed to Connect to %0:%1.</translation>
    </message>
    <message>
        <source>IDS_ANDROID_PHONE_DISCONNECTED</source>
        <translation>The phone was disconnected. Connect it again and retry.</translation>
    </message>
</context>
<context>
    <name>SyncRestoreThread</name>
    <message>
        <source>IDS_SYNC_CHECK_APK</source>
        <translation>Checking and installing Ferrovantis Contacts Sync now...</translation>
    </message>
    <message>
        <source>IDS_SYNC_START_SERVICE</source>
        <translation>Starting Sync Service now...</translation>
    </message>
    <message>
        <source>IDS_SYNC_BACKING</source>
        <translation>Backing up Contacts now...</translation>
    </message>
    <message>
        <source>IDS_RECEIVING_CONTACTS_FROM_ANDROID</source>
        <translation>Loading contacts from Android now...</translation>
    </message>
    <message>
        <source>IDS_DAEMON_APK_OLDER_THAN_%1</source>
        <translation>This is not the latest version of Ferrovantis Contacts Sync on Android. %1 needed. Please update it from Google Play.</translation>
    </message>
</context>
<context>
    <name>SyncBackupThread</name>
    <message>
        <source>IDS_ANDROID_WRITE_PARTLY</source>
        <translation>The phone may now hold some of the contacts, some of them only partly. They are shown when the phone is read again.</translation>
    </message>
    <message>
        <source>IDS_MERGING_CONTACTS</source>
        <translation>Merging contacts now...</translation>
    </message>
    <message>
        <source>IDS_SYNC_START_SERVICE</source>
        <translation>Starting Sync Service now...</translation>
    </message>
    <message>
        <source>IDS_SEND_CHANGES_TO_ANDROID</source>
        <translation>Updating Android device now...</translation>
    </message>
    <message>
        <source>IDS_SUC_TRANSFER_%1_CONTACTS_TO_ANDROID</source>
        <translation>Successfully transferred %1 contacts to Android.</translation>
    </message>
    <message>
        <source>IDS_SUC_TRANSFER_%1_CONTACTS_TO_ANDROID_%2_MERGED</source>
        <translation>Successfully transferred %1 contacts to Android,with %2 repeated contacts merged.</translation>
    </message>
    <message>
        <source>IDS_ANDROID_CONTACTS_NOT_CONFIRMED_%1_%2</source>
        <translation>The phone did not confirm %1 of the contacts sent to it, so they may be missing there: %2.</translation>
    </message>
</context>
<context>
    <name>AndroidSendChangesThread</name>
    <message>
        <source>IDS_SYNC_START_SERVICE</source>
        <translation>Starting Sync Service now...</translation>
    </message>
    <message>
        <source>IDS_SENGING_CHANGES_TO_DEVICE</source>
        <translation>Updating device contacts now...</translation>
    </message>
</context>
</TS>
