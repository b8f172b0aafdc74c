#pragma once

#include "model/Contact.h"

#include <QAbstractItemModel>
#include <QList>

// The flat four-column list behind the main window's contact list: name (with a small photo),
// one phone number, one e-mail address and one postal address per contact.
//
// Column-0 indexes identify their contact by row (internalId() is row + 1), not by an address into
// `contacts`: a QList moves its elements when it grows, so an address would dangle after an append.
class ItemModelContacts : public QAbstractItemModel
{
public:
    explicit ItemModelContacts(QObject *parent = nullptr);
    ~ItemModelContacts() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    void loadContacts(QList<pim::_Contact> contacts);
    void clear();
    void insertContact(const pim::_Contact &contact);
    // The column-0 index of row pos; invalid outside the list.
    QModelIndex indexOfPos(int pos);

    // The contact a column-0 index of this model stands for, or null for any other index. The
    // pointer is valid only until the list changes; take a copy to keep it.
    const pim::_Contact *contactOf(const QModelIndex &index) const;

    // The phone number the list shows for a contact: the first mobile number, else the first one.
    static QString displayPhone(const pim::_Contact &contact);

    QList<pim::_Contact> contacts;
};
