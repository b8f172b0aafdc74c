// The address-book mapping over an arbitrary file taken as a backed-up address book: every person
// it yields becomes a contact, and a database it cannot read ends in a std::exception, nothing worse.
#include "itunesbackup/AddressBookMapper.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <exception>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("AddressBook.sqlitedb"));
    QFile::remove(path);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly))
            return 0;
        f.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    Sqlite3DB book;
    Sqlite3DB images;
    try {
        book.openThrow(path, Sqlite3DB::ReadWrite);
        images.openThrow(path, Sqlite3DB::ReadWrite); // the same file may well hold ABFullSizeImage
        AddressBookMapper mapper(book, images);
        Sqlite3Cursor persons = book.queryThrow(Sqlite3Sql(AddressBookMapper::personQuery));
        int n = 0;
        while (persons.moveNext() && ++n < 1000)
            (void)mapper.readPerson(persons).fullName.size();
    } catch (const std::exception &) {
    }
    return 0;
}
