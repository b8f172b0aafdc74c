#pragma once

#include "model/Contact.h"
#include "model/Entity.h"

#include <QList>
#include <QMap>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <utility>

namespace tarnwick::test {

inline pim::Entity entity(const QVariantMap &values, const QString &srcId = QString())
{
    pim::Entity e(0, srcId);
    e.values = values;
    return e;
}

// "3|data1=555|data2=2": an entry of type 3 holding those values ("data3=" holds the empty text).
inline std::pair<int, pim::Entity> parseEntry(const QString &text, const QString &srcId = QString())
{
    const QStringList parts = text.split(QLatin1Char('|'));
    pim::Entity e(0, srcId);
    for (int i = 1; i < parts.size(); ++i) {
        const int eq = parts[i].indexOf(QLatin1Char('='));
        e.values.insert(parts[i].left(eq), parts[i].mid(eq + 1));
    }
    return {parts.first().toInt(), e};
}

// A contact holding the entries, each in parseEntry()'s form, in the order given.
inline pim::_Contact contactOf(const QString &fullName, const QStringList &entries)
{
    pim::_Contact c(0, QString(), fullName);
    for (const QString &line : entries) {
        const auto [type, e] = parseEntry(line);
        c.entities[type] << e;
    }
    return c;
}

// The same form back, with the non-empty values only, keys in number order.
inline QString render(int type, const pim::Entity &e)
{
    QStringList keys = e.values.keys();
    std::sort(keys.begin(), keys.end(),
              [](const QString &a, const QString &b) { return a.mid(4).toInt() < b.mid(4).toInt(); });
    QString out = QString::number(type);
    for (const QString &key : keys) {
        const QString value = e.values.value(key).toString();
        if (!value.isEmpty())
            out += QLatin1Char('|') + key + QLatin1Char('=') + value;
    }
    return out;
}

inline QStringList render(const QMap<int, QList<pim::Entity>> &entities)
{
    QStringList out;
    for (auto it = entities.constBegin(); it != entities.constEnd(); ++it) {
        for (const pim::Entity &e : it.value())
            out << render(it.key(), e);
    }
    return out;
}

} // namespace tarnwick::test
