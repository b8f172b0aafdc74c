#pragma once

#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace tarnwick::peers {

// One record of a simulated phone's sync service: its identifier and its dictionary, which names the
// record kind under "com.apple.syncservices.RecordEntityName". A record that the computer sent as a
// deletion marker has `deleted` set and no fields.
struct SyncRecord
{
    static constexpr const char *entityNameKey = "com.apple.syncservices.RecordEntityName";
    static constexpr const char *contactKind = "com.apple.contacts.Contact";

    QString id;
    QVariantMap fields;
    bool deleted = false;

    QString kind() const { return fields.value(QString::fromLatin1(entityNameKey)).toString(); }

    // A contact record ("com.apple.contacts.Contact") with the given keys ("first name", "last name",
    // "birthday" as QDateTime, "image" as QByteArray, ...).
    static SyncRecord contact(const QString &id, QVariantMap fields = {});
    // A sub-record of kind "com.apple.contacts." + `kind` ("Phone Number", "Email Address", "Street
    // Address", "URL", "IM", "Date", "Related Name") that belongs to the contacts `contactIds`.
    static SyncRecord subRecord(const QString &id, const QString &kind, const QStringList &contactIds,
                                QVariantMap fields = {});
    // A record of any kind, `fullKind` written as is.
    static SyncRecord ofKind(const QString &id, const QString &fullKind, QVariantMap fields = {});
    static SyncRecord deletion(const QString &id);

    bool operator==(const SyncRecord &other) const
    {
        return id == other.id && fields == other.fields && deleted == other.deleted;
    }
};

} // namespace tarnwick::peers
