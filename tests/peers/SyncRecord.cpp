#include "SyncRecord.h"

namespace tarnwick::peers {

SyncRecord SyncRecord::ofKind(const QString &id, const QString &fullKind, QVariantMap fields)
{
    fields.insert(QString::fromLatin1(entityNameKey), fullKind);
    return SyncRecord{id, fields, false};
}

SyncRecord SyncRecord::contact(const QString &id, QVariantMap fields)
{
    return ofKind(id, QString::fromLatin1(contactKind), std::move(fields));
}

SyncRecord SyncRecord::subRecord(const QString &id, const QString &kind, const QStringList &contactIds,
                                 QVariantMap fields)
{
    fields.insert(QStringLiteral("contact"), contactIds);
    return ofKind(id, QStringLiteral("com.apple.contacts.") + kind, std::move(fields));
}

SyncRecord SyncRecord::deletion(const QString &id)
{
    return SyncRecord{id, {}, true};
}

} // namespace tarnwick::peers
