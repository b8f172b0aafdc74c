#pragma once

#include "model/Contact.h"
#include "model/Entity.h"

#include <QString>

class Sqlite3Cursor;
class Sqlite3DB;

// Turns the persons of a backed-up address book into contacts: names, photo, organisation, note,
// birthday, nickname and the labelled multi-value entries with their address and messaging parts.
// Works on open copies of the address book and (when open) its images database; every query takes
// the person or entry id as a bound value, so each statement is prepared once per connection.
class AddressBookMapper
{
public:
    // The person query; readPerson() takes its rows.
    static const char *const personQuery;

    AddressBookMapper(Sqlite3DB &addressBook, Sqlite3DB &images);

    // Indexes the per-person lookups of the two copies, which the phone's files need not carry;
    // without them every person costs a scan of every entry. Only for private copies; a table
    // that is missing is left to the queries to report.
    void indexCopies();

    pim::_Contact readPerson(const Sqlite3Cursor &person);
    // The keyed parts of an address or messaging multi-value; "data2" and "data3" stay as they are.
    void readAddr(quint64 uid, pim::Entity &e);
    void readIM(quint64 uid, pim::Entity &e);

    // Local ISO 8601 text of a second count relative to 2001-01-01T00:00:00 UTC.
    static QString dateText(qint64 seconds);

private:
    Sqlite3DB &m_addressBook;
    Sqlite3DB &m_images;
};
