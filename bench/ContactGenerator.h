#pragma once

// The contacts the benchmarks feed through the program: made in memory, the same on every run.

#include "model/Contact.h"
#include "model/Entity.h"
#include "model/EntityType.h"

#include <QList>
#include <QString>

#include <initializer_list>
#include <utility>

namespace benchgen {

inline pim::Entity entry(std::initializer_list<std::pair<const char *, QString>> values)
{
    pim::Entity e;
    for (const auto &[key, value] : values)
        e.values.insert(QString::fromLatin1(key), value);
    return e;
}

// Each contact: a name, two phones, two e-mail addresses, an address, a note and a group. About a
// fifth repeat the name of an earlier contact (in other case now and then) with entries of their own.
inline QList<pim::_Contact> generate(int n)
{
    static const char *firstNames[] = {"Ann", "Bob", "Cyril", "Dana", "Emil",
                                       "Fay", "Gus", "Hana",  "Ivo",  "Jill"};
    QList<pim::_Contact> out;
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        int nameOf = i;
        if (i % 5 == 4)
            nameOf = i - 3;
        const QString first = QString::fromLatin1(firstNames[nameOf % 10]);
        const QString last = QStringLiteral("Lastname%1").arg(nameOf);
        QString full = first + QLatin1Char(' ') + last;
        if (i % 10 == 9)
            full = full.toUpper();
        pim::_Contact c(0, QStringLiteral("src-%1").arg(i), full);
        c.entities[pim::ENTITY_NAME] << entry({{"data1", full}, {"data2", first}, {"data3", last}});
        c.entities[pim::ENTITY_PHONE]
            << entry({{"data1", QStringLiteral("+1 555 %1").arg(i, 7, 10, QLatin1Char('0'))},
                      {"data2", QStringLiteral("2")}})
            << entry({{"data1", QStringLiteral("+1 556 %1").arg(i, 7, 10, QLatin1Char('0'))},
                      {"data2", QStringLiteral("1")}});
        c.entities[pim::ENTITY_EMAIL]
            << entry({{"data1", QStringLiteral("user%1@example.org").arg(i)}, {"data2", QStringLiteral("1")}})
            << entry(
                   {{"data1", QStringLiteral("work%1@example.com").arg(i)}, {"data2", QStringLiteral("2")}});
        const QString street = QStringLiteral("%1 High Street").arg(i % 300 + 1);
        const QString city = QStringLiteral("Town%1").arg(i % 97);
        c.entities[pim::ENTITY_ADDR] << entry(
            {{"data1", street + QLatin1Char('\n') + city + QStringLiteral(", 12345")},
             {"data2", QStringLiteral("1")},
             {"data4", street},
             {"data7", city},
             {"data9", QStringLiteral("12345")}});
        c.entities[pim::ENTITY_NOTE] << entry(
            {{"data1", QStringLiteral("Met at conference %1").arg(i % 50)}});
        c.entities[pim::ENTITY_GROUP] << entry(
            {{"data1", QString::number(i % 12 + 1)}, {"data2", QStringLiteral("Group %1").arg(i % 12)}});
        out << c;
    }
    return out;
}

} // namespace benchgen
