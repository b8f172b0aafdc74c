#pragma once

#include "Contact.h"
#include "EntityType.h"
#include "EntryKeys.h"

#include <QMetaType>
#include <QVariant>

#include <stdexcept>

namespace pim {

// The value under PhotoKey::Image of a photo entry read without its bytes: the photo is stored, and
// its bytes stayed in the database. It is neither "no photo" nor an empty image (a QVariant holding
// it gives no bytes when asked for any), so whoever needs the bytes reads the contact again; the
// database refuses to store such an entry.
struct UnloadedPhoto
{
    friend bool operator==(UnloadedPhoto, UnloadedPhoto) { return true; }
    friend bool operator!=(UnloadedPhoto, UnloadedPhoto) { return false; }

    static QVariant value();
    static bool isIn(const QVariant &image);
    static bool isIn(const Entity &photo) { return isIn(photo.valueAt(PhotoKey::Image)); }
    // Whether any photo entry of the contact is one without its bytes.
    static bool isIn(const _Contact &contact);
    // Throws std::logic_error for what holds a photo without its bytes: whoever stores it would
    // replace the photo by nothing.
    template<typename Holder> static void checkStorable(const Holder &holder)
    {
        if (isIn(holder))
            throw std::logic_error(
                "A photo read without its bytes cannot be stored; read the contact again.");
    }
};

} // namespace pim

Q_DECLARE_METATYPE(pim::UnloadedPhoto)

inline QVariant pim::UnloadedPhoto::value()
{
    return QVariant::fromValue(UnloadedPhoto());
}

inline bool pim::UnloadedPhoto::isIn(const QVariant &image)
{
    return image.metaType() == QMetaType::fromType<UnloadedPhoto>();
}

inline bool pim::UnloadedPhoto::isIn(const _Contact &contact)
{
    for (const Entity &photo : contact.entriesAt(ENTITY_PHOTO)) {
        if (isIn(photo))
            return true;
    }
    return false;
}
