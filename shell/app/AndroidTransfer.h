#pragma once

#include "ContactSelection.h"

#include <QCoreApplication>

#include <functional>

class QWidget;

// Sending contacts to an Android phone: from an iPhone, from another Android phone or from a
// local database. Each family takes the selected contacts or every contact of the current node,
// lets the user pick the target phone among the tree's Android nodes (never the source phone),
// writes them, and afterwards refreshes the target's node or, when the write did not succeed,
// has the phone loaded again so that the tree shows what the phone really holds.
class AndroidTransfer
{
    Q_DECLARE_TR_FUNCTIONS(MainWindow)

public:
    // Writes the contacts into the target phone and its mirror under the progress dialog; true when
    // the write succeeded and was not cancelled.
    using Writer = std::function<bool(const QList<pim::_Contact> &contacts, LocalDb &mirror)>;
    // Loads the phone of devId afresh from its mirror's connection after a failed write.
    using Reloader = std::function<void(const QString &devId, const QSharedPointer<LocalDb> &mirror)>;

    AndroidTransfer(ContactSelection &selection, QWidget *dialogParent);

    // Until the phone layer gives a writer, nothing can be sent and the transfers do nothing.
    void setWriter(Writer writer) { m_writer = std::move(writer); }
    void setReloader(Reloader reloader) { m_reloader = std::move(reloader); }

    void transfer2Android(const QList<pim::_Contact> &contacts, const QString &excludeDevId);

    // iPhone to Android and local database to Android: no phone is left out of the choice.
    void fileTransfer();
    void treeTransfer();
    void contactTransfer();
    // Android to Android: the source phone is left out of the choice.
    void fileA2A();
    void treeA2A();
    void contactA2A();

private:
    void treeTransferExcluding(bool excludeSource);

    ContactSelection &m_selection;
    QWidget *m_dialogParent;
    Writer m_writer;
    Reloader m_reloader;
};
