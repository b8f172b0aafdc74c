#pragma once

// Small databases for the application tests, made with the program's own database layer, and
// how the tests read contact lists and menus back.

#include "model/Contact.h"
#include "model/EntityType.h"
#include "model/LocalDb.h"
#include "model/LocalDbCombineRule.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QMenu>
#include <QStringList>

namespace fixture {

struct Person
{
    QString name;
    QString phone;
    QString email;
    QString group; // empty: no group
};

inline pim::Entity value(const QString &data1, const QString &data2 = QString())
{
    pim::Entity e;
    e.values.insert(QStringLiteral("data1"), data1);
    if (!data2.isEmpty())
        e.values.insert(QStringLiteral("data2"), data2);
    return e;
}

// Creates (or replaces) a database file holding the people, in the given order.
inline void makeDb(const QString &path, const QList<Person> &people, const QStringList &emptyGroups = {})
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    db.create();
    db.beginEdit();
    for (const QString &g : emptyGroups)
        db.getGroupIdOrAdd(g);
    for (const Person &p : people) {
        pim::_Contact c(0, QString(), p.name);
        db.insertContactBase(c);
        pim::Entity name;
        name.values.insert(QStringLiteral("data1"), p.name);
        name.values.insert(QStringLiteral("data2"), p.name);
        db.insertEntity(c.id, pim::ENTITY_NAME, name);
        if (!p.phone.isEmpty()) {
            pim::Entity e = value(p.phone, QStringLiteral("2"));
            db.insertEntity(c.id, pim::ENTITY_PHONE, e);
        }
        if (!p.email.isEmpty()) {
            pim::Entity e = value(p.email, QStringLiteral("1"));
            db.insertEntity(c.id, pim::ENTITY_EMAIL, e);
        }
        if (!p.group.isEmpty()) {
            const quint64 gid = db.getGroupIdOrAdd(p.group);
            db.setGroup(c.id, gid, p.group);
        }
    }
    db.endEdit(true);
    db.close();
}

// Gives the stored contact of that name a photo of those bytes; the id of the photo's row.
inline quint64 addPhoto(const QString &path, const QString &name, const QByteArray &bytes)
{
    LocalDb db(path, QSharedPointer<AbsContactCombineRule>(new LocalDbCombineRule));
    pim::Entity photo;
    photo.values.insert(QStringLiteral("data15"), bytes);
    db.insertEntity(db.isContactBaseExist(name), pim::ENTITY_PHOTO, photo);
    db.close();
    return photo.id;
}

// The bytes of the contact's first photo; empty for none.
inline QByteArray photoOf(const pim::_Contact &contact)
{
    return contact.entities.value(pim::ENTITY_PHOTO)
        .value(0)
        .values.value(QStringLiteral("data15"))
        .toByteArray();
}

inline void setAge(const QString &path, int secondsAgo)
{
    QFile f(path);
    f.open(QIODevice::ReadWrite);
    f.setFileTime(QDateTime::currentDateTime().addSecs(-secondsAgo), QFileDevice::FileModificationTime);
}

// The full names of the contacts, in list order.
inline QStringList names(const QList<pim::_Contact> &contacts)
{
    QStringList out;
    for (const pim::_Contact &c : contacts)
        out << c.fullName;
    return out;
}

// The full names of the contacts, sorted: for lists whose order the test does not fix.
inline QStringList sortedNames(const QList<pim::_Contact> &contacts)
{
    QStringList out = names(contacts);
    out.sort();
    return out;
}

// The actions of a menu as "text", "text (off)" for disabled ones and "-" for separators.
inline QStringList describe(const QMenu *menu)
{
    if (!menu)
        return {QStringLiteral("<no menu>")};
    QStringList out;
    for (const QAction *a : menu->actions()) {
        if (a->isSeparator())
            out << QStringLiteral("-");
        else
            out << (a->isEnabled() ? a->text() : a->text() + QStringLiteral(" (off)"));
    }
    return out;
}

} // namespace fixture
