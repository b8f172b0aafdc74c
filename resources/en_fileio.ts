<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ContactsPrinter</name>
    <message>
        <source>IDS_PRINT_CONTACTS</source>
        <translation>Print Contacts</translation>
    </message>
    <message>
        <source>IDS_CARD_CONTINUED</source>
        <translation>(continued)</translation>
    </message>
</context>
<context>
    <name>ExportToFileThread</name>
    <message>
        <source>IDS_EXPORTING_CONTACTS_TO_FILE</source>
        <translation>Exporting contacts to File now...</translation>
    </message>
    <message>
        <source>IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE</source>
        <translation>Successfully exported %1 contacts to File.</translation>
    </message>
    <message>
        <source>Contacts:%1/%2</source>
        <translation>Contacts:%1/%2</translation>
    </message>
    <message>
        <source>IDS_FILE_NOT_WRITTEN_IN_FULL_%1_%2</source>
        <translation>The file %1 could not be written in full (%2). The disk may be full.</translation>
    </message>
</context>
<context>
    <name>StagedExportFolder</name>
    <message>
        <source>IDS_EXPORT_NOT_PUT_IN_PLACE_%1_%2</source>
        <translation>%1 could not be replaced (%2). What was there before is unchanged.</translation>
    </message>
</context>
<context>
    <name>HtmlExport</name>
    <message>
        <source>IDS_PICTURE_NOT_WRITTEN_%1_%2</source>
        <translation>The picture %1 could not be written (%2). The disk may be full. Nothing was exported; an earlier export is unchanged.</translation>
    </message>
</context>
<context>
    <name>ImportContactsToLocalThread</name>
    <message>
        <source>IDS_IMPORTING_CONTACTS_TO_DB</source>
        <translation>Importing contacts to Local Database now...</translation>
    </message>
    <message>
        <source>IDS_SUC_IMPORT_%1_CONTACTS_TO_DB</source>
        <translation>Successfully imported %1 contacts.</translation>
    </message>
    <message>
        <source>IDS_SUC_IMPORT_%1_CONTACTS_TO_DB_%2_MERGED</source>
        <translation>Successfully imported %1 contacts, with %2 repeated contacts merged.</translation>
    </message>
</context>
<context>
    <name>CSVImport</name>
    <message>
        <source>IDS_CSV_NO_KNOWN_COLUMN</source>
        <translation>The first line of this CSV file names no column the program knows, such as &quot;First Name&quot;, &quot;Last Name&quot; or &quot;Tel:Mobile&quot;. No contact was imported.</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>IDS_STARTING_EXPORT_CONTACTS_TO_FILE</source>
        <translation>Exporting contacts to File now...</translation>
    </message>
    <message>
        <source>IDS_SUC_EXPORT_%1_CONTACTS_TO_FILE</source>
        <translation>Successfully exported %1 contacts to File.</translation>
    </message>
    <message>
        <source>IDS_REPLACE_EXISTING_FILE_%1</source>
        <translation>%1 already exists. Do you want to replace it?</translation>
    </message>
    <message>
        <source>IDS_PDF_NOT_WRITTEN_%1</source>
        <translation>The PDF file %1 could not be written. Choose a folder you can write to.</translation>
    </message>
    <message>
        <source>IDS_STARTING_IMPORT_CONTACTS_FROM_FILE</source>
        <translation>Importing contacts now...</translation>
    </message>
</context>
</TS>
