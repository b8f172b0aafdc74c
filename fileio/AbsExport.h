#pragma once

#include "model/Contact.h"

#include <QByteArray>
#include <QList>

// A contact-file writer. The export worker calls initialize() once with the whole list, ct2Bytes()
// once per contact in list order and uninitialize() once, and writes what each returns.
class AbsExport
{
public:
    virtual ~AbsExport() = default;

    // The file's leading bytes (possibly none).
    virtual QByteArray initialize(const QList<pim::_Contact> &contacts) = 0;
    // The bytes of one contact.
    virtual QByteArray ct2Bytes(const pim::_Contact &contact) = 0;
    // The file's closing bytes (possibly none).
    virtual QByteArray uninitialize() = 0;

protected:
    AbsExport() = default;
    AbsExport(const AbsExport &) = delete;
    AbsExport &operator=(const AbsExport &) = delete;
};
