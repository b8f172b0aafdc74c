#include "ItemModelContacts.h"

#include "Logging.h"
#include "model/EntityType.h"
#include "model/EntryKeys.h"
#include "model/UnloadedPhoto.h"

#include <QBrush>
#include <QColor>
#include <QPixmap>
#include <QSize>

namespace {

const char *const g_columns[] = {"Name", "Phone", "E-Mail", "Address"};
constexpr int kColumnCount = 4;

QVariant firstValue(const pim::_Contact &contact, int type)
{
    const pim::Entity *first = contact.firstAt(type);
    return first ? first->values.value(pim::ValueKey::Value) : QVariant();
}

QPixmap placeholderPhoto()
{
    return QPixmap(QStringLiteral(":res/empty_contact.png"));
}

QPixmap smallPhoto(const QByteArray &bytes)
{
    QPixmap pix;
    if (!pix.loadFromData(bytes, "JPEG") && !pix.loadFromData(bytes, "PNG"))
        pix = placeholderPhoto();
    if (pix.isNull())
        return pix;
    return pix.scaledToWidth(18, Qt::FastTransformation);
}

} // namespace

ItemModelContacts::ItemModelContacts(QObject *parent)
    : QAbstractItemModel(parent)
{}

ItemModelContacts::~ItemModelContacts() = default;

void ItemModelContacts::setPhotoReader(PhotoReader reader)
{
    m_photoReader = std::move(reader);
    m_readPhotos.clear();
}

QPixmap ItemModelContacts::photoOf(const pim::_Contact &contact) const
{
    const pim::Entity *first = contact.firstAt(pim::ENTITY_PHOTO);
    if (!first)
        return smallPhoto(QByteArray());
    const pim::Entity &photo = *first;
    if (!pim::UnloadedPhoto::isIn(photo))
        return smallPhoto(photo.values.value(pim::PhotoKey::Image).toByteArray());

    const QString key =
        QString::number(photo.id) + QLatin1Char('/') + photo.values.value(pim::PhotoKey::Hash).toString();
    const auto kept = m_readPhotos.constFind(key);
    if (kept != m_readPhotos.constEnd())
        return *kept;
    QByteArray bytes;
    if (m_photoReader) {
        try {
            bytes = m_photoReader(photo);
        } catch (const std::exception &e) {
            // A row is no place for an error box; the pane and the actions report it.
            qCWarning(lcApp) << "photo of" << contact.fullName << "not read:" << e.what();
        }
    }
    const QPixmap pix = smallPhoto(bytes);
    m_readPhotos.insert(key, pix);
    return pix;
}

QModelIndex ItemModelContacts::index(int row, int column, const QModelIndex &parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    return createIndex(row, column, column == 0 ? quintptr(row) + 1 : quintptr(0));
}

QModelIndex ItemModelContacts::parent(const QModelIndex &) const
{
    return {};
}

int ItemModelContacts::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(contacts.size());
}

int ItemModelContacts::columnCount(const QModelIndex &) const
{
    return kColumnCount;
}

const pim::_Contact *ItemModelContacts::contactOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.column() != 0 || index.internalId() == 0)
        return nullptr;
    const qsizetype row = qsizetype(index.internalId() - 1);
    if (row != index.row() || row < 0 || row >= contacts.size())
        return nullptr;
    return &contacts.at(row);
}

QString ItemModelContacts::displayPhone(const pim::_Contact &contact)
{
    const QList<pim::Entity> &phones = contact.entriesAt(pim::ENTITY_PHONE);
    if (phones.isEmpty())
        return {};
    for (const pim::Entity &e : phones) {
        if (e.values.value(pim::ValueKey::SubType).toInt() == pim::PHONE_MOBILE)
            return e.values.value(pim::ValueKey::Value).toString();
    }
    return phones.first().values.value(pim::ValueKey::Value).toString();
}

QVariant ItemModelContacts::data(const QModelIndex &index, int role) const
{
    if (role > Qt::SizeHintRole || !index.isValid() || index.row() >= contacts.size())
        return {};
    const pim::_Contact &contact = contacts.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case 0:
            return contact.fullName;
        case 1:
            return contact.firstAt(pim::ENTITY_PHONE) ? QVariant(displayPhone(contact)) : QVariant();
        case 2: {
            const QVariant v = firstValue(contact, pim::ENTITY_EMAIL);
            return v.isValid() ? QVariant(v.toString()) : QVariant();
        }
        case 3:
            return firstValue(contact, pim::ENTITY_ADDR);
        default:
            return {};
        }
    case Qt::DecorationRole:
        if (index.column() == 0)
            return photoOf(contact);
        return {};
    case Qt::BackgroundRole:
        return QBrush(index.row() % 2 == 0 ? QColor(250, 250, 250, 255) : QColor(255, 255, 255, 255),
                      Qt::SolidPattern);
    case Qt::SizeHintRole:
        return QSize(0, 25);
    default:
        return {};
    }
}

QVariant ItemModelContacts::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumnCount)
        return {};
    return QString::fromLatin1(g_columns[section]);
}

void ItemModelContacts::loadContacts(QList<pim::_Contact> list)
{
    beginResetModel();
    contacts = std::move(list);
    m_readPhotos.clear();
    endResetModel();
}

void ItemModelContacts::clear()
{
    beginResetModel();
    contacts.clear();
    m_readPhotos.clear();
    endResetModel();
}

void ItemModelContacts::insertContact(const pim::_Contact &contact)
{
    const int n = int(contacts.size());
    beginInsertRows(QModelIndex(), n, n);
    contacts.append(contact);
    endInsertRows();
}

QModelIndex ItemModelContacts::indexOfPos(int pos)
{
    if (pos < 0 || pos >= contacts.size())
        return {};
    return index(pos, 0);
}
