#pragma once

#include "ContactSelection.h"

#include <QCoreApplication>

#include <functional>

// Deleting from the main window: the selected contacts, everything a tree node stands for (a
// local database file, a group with its members, every contact of an Android phone), and
// dropping a device node from the tree.
class Deletion
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // What became of a deletion: done, refused by the database (nothing deleted), or the node went
    // away meanwhile so that the caller must not touch it any more.
    enum class Result { Deleted, Failed, NodeGone };

    // Sends the deletion of contacts, already gone from the phone's mirror, to the phone; true when
    // the phone took it.
    using PhoneSender = std::function<bool(const QList<pim::_Contact> &contacts, LocalDb &mirror)>;
    // Loads a phone afresh after a send that did not succeed.
    using Reloader = std::function<void(const QString &devId, const QSharedPointer<LocalDb> &mirror)>;

    explicit Deletion(ContactSelection &selection);

    // Until the phone layer gives a sender, Android phones are changed in their mirror only.
    void setPhoneSender(PhoneSender sender) { m_phoneSender = std::move(sender); }
    void setReloader(Reloader reloader) { m_reloader = std::move(reloader); }

    // Deletes the contacts from the database of the current node and lists what is left.
    Result delContacts(const QList<pim::_Contact> &contacts);
    // The File menu: the selected contacts, else what the current node stands for.
    void fileDelete();
    void contactDel();
    void treeDel();
    void treeUnmount();

private:
    Result delContactsFrom(const ContactSelection::Node &target, const QList<pim::_Contact> &contacts);

    ContactSelection &m_selection;
    PhoneSender m_phoneSender;
    Reloader m_reloader;
};
