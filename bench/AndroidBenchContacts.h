#pragma once

// The contacts both Android benchmarks send to a phone, and their merge floor: the same rows
// written straight into a fresh file of the template schema (FloorWriter).

#include "FloorWriter.h"

#include "model/Contact.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/LocalDb.h"

#include <QElapsedTimer>
#include <QList>

namespace androidbench {

constexpr int kPhotoBytes = 20 * 1024;

inline pim::Entity valued(int subType, const QString &value)
{
    pim::Entity e;
    e.values[pim::ValueKey::SubType] = QString::number(subType);
    e.values[pim::ValueKey::Value] = value;
    return e;
}

inline QByteArray photoOf(int i)
{
    QByteArray image(kPhotoBytes, '\0');
    for (int k = 0; k < image.size(); ++k)
        image[k] = char((k * 31 + i * 17) & 0xff);
    return image;
}

// `count` people, each with a name, two phones, two e-mails, an address and, when asked, a 20 KB
// photo.
inline QList<pim::_Contact> people(int count, bool photos)
{
    QList<pim::_Contact> list;
    list.reserve(count);
    for (int i = 1; i <= count; ++i) {
        pim::Entity name;
        name.values[pim::NameKey::GivenName] = QStringLiteral("First%1").arg(i);
        name.values[pim::NameKey::FamilyName] = QStringLiteral("Last%1").arg(i);
        name.values[pim::NameKey::FullName] = name.fullName();
        pim::_Contact c(0, QString(), name.fullName());
        c.entities[pim::ENTITY_NAME] << name;
        c.entities[pim::ENTITY_PHONE]
            << valued(pim::PHONE_MOBILE, QStringLiteral("+44 7700 9%1").arg(i, 5, 10, QLatin1Char('0')))
            << valued(pim::PHONE_WORK, QStringLiteral("+44 20 7946 %1").arg(i, 4, 10, QLatin1Char('0')));
        c.entities[pim::ENTITY_EMAIL]
            << valued(pim::EMAIL_HOME, QStringLiteral("person%1@example.org").arg(i))
            << valued(pim::EMAIL_WORK, QStringLiteral("p%1@work.example").arg(i));
        pim::Entity addr;
        addr.values[pim::AddrKey::SubType] = QStringLiteral("1");
        addr.values[pim::AddrKey::Street] = QStringLiteral("%1 High Street").arg(i);
        addr.values[pim::AddrKey::City] = QStringLiteral("Town%1").arg(i % 97);
        addr.values[pim::AddrKey::Postcode] = QStringLiteral("AB%1 2CD").arg(i % 50);
        addr.values[pim::AddrKey::Formatted] = addr.formattedAddr();
        c.entities[pim::ENTITY_ADDR] << addr;
        if (photos) {
            pim::Entity photo;
            photo.values[pim::PhotoKey::Image] = photoOf(i);
            c.entities[pim::ENTITY_PHOTO] << photo;
        }
        list << c;
    }
    return list;
}

// The merge floor of `list` in a fresh file at `path`, in milliseconds.
inline qint64 floorMs(const QString &path, const QList<pim::_Contact> &list)
{
    LocalDb(path, QSharedPointer<AbsContactCombineRule>()).create();

    QElapsedTimer timer;
    timer.start();
    FloorWriter floor(path);
    int n = 0;
    for (const pim::_Contact &c : list) {
        const QString id = QString::number(++n);
        const sqlite3_int64 row = floor.contact("1/" + id + "/" + id + "/1", c.fullName);
        const pim::Entity name = c.entities.value(pim::ENTITY_NAME).value(0);
        floor.data(row, 1, "1/" + id + "/" + id + "/1",
                   {c.fullName, name.values.value(pim::NameKey::GivenName).toString(),
                    name.values.value(pim::NameKey::FamilyName).toString()});
        for (int type : {pim::ENTITY_PHONE, pim::ENTITY_EMAIL})
            for (const pim::Entity &e : c.entities.value(type))
                floor.data(row, type, QStringLiteral("%1/%2/%2/9").arg(type).arg(id),
                           {e.values.value(pim::ValueKey::Value).toString(),
                            e.values.value(pim::ValueKey::SubType).toString(), ""});
        const pim::Entity a = c.entities.value(pim::ENTITY_ADDR).value(0);
        floor.data(row, pim::ENTITY_ADDR, "12/" + id + "/" + id + "/9",
                   {a.formattedAddr(), "1", "", a.values.value(pim::AddrKey::Street).toString(), "", "",
                    a.values.value(pim::AddrKey::City).toString(), "",
                    a.values.value(pim::AddrKey::Postcode).toString()});
        for (const pim::Entity &p : c.entities.value(pim::ENTITY_PHOTO)) {
            const QByteArray image = p.values.value(pim::PhotoKey::Image).toByteArray();
            floor.photo(row, "2/" + id + "/" + id + "/9", pim::Entity::photoHash(image), image);
        }
    }
    floor.commit();
    return timer.elapsed();
}

} // namespace androidbench
