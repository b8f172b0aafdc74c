#pragma once

#include "model/Contact.h"

#include <QAbstractItemModel>
#include <QHash>
#include <QList>
#include <QPixmap>

#include <functional>

// The flat four-column list behind the main window's contact list: name (with a small photo),
// one phone number, one e-mail address and one postal address per contact.
//
// Column-0 indexes identify their contact by row (internalId() is row + 1), not by an address into
// `contacts`: a QList moves its elements when it grows, so an address would dangle after an append.
class ItemModelContacts : public QAbstractItemModel
{
public:
    // The bytes of a photo entry the list holds without them (see pim::UnloadedPhoto); may throw.
    using PhotoReader = std::function<QByteArray(const pim::Entity &photo)>;

    explicit ItemModelContacts(QObject *parent = nullptr);
    ~ItemModelContacts() override;

    // Where the small photo of a row whose photo bytes were left in the database comes from; without
    // one such a row shows the placeholder.
    void setPhotoReader(PhotoReader reader);

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

private:
    QPixmap photoOf(const pim::_Contact &contact) const;

    PhotoReader m_photoReader;
    // Small photos read through m_photoReader, by photo entry id and hash, until the list is
    // replaced: a row is painted again and again, and each would read the bytes anew.
    mutable QHash<QString, QPixmap> m_readPhotos;
};
