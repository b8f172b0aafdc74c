#include "PeerPlist.h"

#include "platform/idevice/PlistDate.h"
#include "tests/common/BinaryPlistBytes.h"

#include <QDateTime>
#include <QStringList>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace tarnwick::peers {

namespace {

const QDateTime &appleEpoch()
{
    static const QDateTime epoch(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC);
    return epoch;
}

} // namespace

UniquePlist PeerPlist::fromVariant(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString: {
        const QString text = value.toString();
        if (!text.contains(QChar(0)))
            return UniquePlist(plist_new_string(text.toUtf8().constData()));
        // libplist's own calls cut a text at U+0000; a phone's bytes do not. Parsed from the binary
        // form, the node keeps the whole text and leaves as a phone would send it (as UTF-16 when it
        // holds any character beyond ASCII).
        tarnwick::test::BinaryPlistBytes list;
        list.add(tarnwick::test::BinaryPlistBytes::utf16(text));
        const QByteArray bytes = list.bytes();
        plist_t node = nullptr;
        plist_from_bin(bytes.constData(), uint32_t(bytes.size()), &node);
        return UniquePlist(node);
    }
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return UniquePlist(plist_new_data(bytes.constData(), uint64_t(bytes.size())));
    }
    case QMetaType::QDateTime: {
        // Any year a phone keeps, 1604 for a birthday without a year included.
        const qint64 ms = appleEpoch().msecsTo(value.toDateTime().toUTC());
        return UniquePlist(PlistDate::newNode(double(ms) / 1000.0));
    }
    case QMetaType::Bool:
        return UniquePlist(plist_new_bool(value.toBool() ? 1 : 0));
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return UniquePlist(plist_new_uint(value.toULongLong()));
    case QMetaType::Double:
    case QMetaType::Float:
        return UniquePlist(plist_new_real(value.toDouble()));
    case QMetaType::QStringList:
    case QMetaType::QVariantList: {
        UniquePlist list(plist_new_array());
        for (const QVariant &item : value.toList()) {
            UniquePlist node = fromVariant(item);
            if (node)
                plist_array_append_item(list.get(), node.release());
        }
        return list;
    }
    case QMetaType::QVariantMap: {
        UniquePlist dict(plist_new_dict());
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            UniquePlist node = fromVariant(it.value());
            if (node)
                plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), node.release());
        }
        return dict;
    }
    default:
        return {};
    }
}

QVariant PeerPlist::toVariant(plist_t node)
{
    if (!node)
        return {};
    switch (plist_get_node_type(node)) {
    case PLIST_STRING:
    case PLIST_KEY:
        return text(node);
    case PLIST_DATA: {
        char *raw = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &raw, &length);
        UniqueCString bytes(raw);
        return QByteArray(bytes.get(), int(length));
    }
    case PLIST_DATE: {
        const std::optional<double> seconds = PlistDate::seconds(node);
        if (!seconds)
            return QVariant();
        return appleEpoch().addMSecs(qint64(std::llround(*seconds * 1000.0)));
    }
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return bool(b);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return qulonglong(v);
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return v;
    }
    case PLIST_ARRAY: {
        QVariantList list;
        const uint32_t n = plist_array_get_size(node);
        for (uint32_t i = 0; i < n; ++i)
            list.append(toVariant(plist_array_get_item(node, i)));
        return list;
    }
    case PLIST_DICT: {
        QVariantMap map;
        forEachItem(node, [&map](const QString &key, plist_t value) { map.insert(key, toVariant(value)); });
        return map;
    }
    default:
        return {};
    }
}

UniquePlist PeerPlist::array(std::initializer_list<plist_t> items)
{
    UniquePlist list(plist_new_array());
    for (plist_t item : items)
        plist_array_append_item(list.get(), item);
    return list;
}

plist_t PeerPlist::string(const QString &value)
{
    return plist_new_string(value.toUtf8().constData());
}

QString PeerPlist::text(plist_t node)
{
    if (!node || (plist_get_node_type(node) != PLIST_STRING && plist_get_node_type(node) != PLIST_KEY))
        return {};
    char *raw = nullptr;
    if (plist_get_node_type(node) == PLIST_KEY)
        plist_get_key_val(node, &raw);
    else
        plist_get_string_val(node, &raw);
    UniqueCString value(raw);
    return value ? QString::fromUtf8(value.get()) : QString();
}

plist_t PeerPlist::itemAt(plist_t list, uint32_t index)
{
    if (!list || plist_get_node_type(list) != PLIST_ARRAY)
        return nullptr;
    return plist_array_get_item(list, index);
}

QString PeerPlist::textAt(plist_t list, uint32_t index)
{
    return text(itemAt(list, index));
}

void PeerPlist::forEachItem(plist_t dict, const std::function<void(const QString &key, plist_t value)> &visit)
{
    if (!dict || plist_get_node_type(dict) != PLIST_DICT)
        return;
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(dict, &it);
    const std::unique_ptr<void, decltype(&std::free)> iterGuard(it, &std::free);
    for (;;) {
        char *rawKey = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(dict, it, &rawKey, &value);
        UniqueCString key(rawKey);
        if (!key)
            break;
        visit(QString::fromUtf8(key.get()), value);
    }
}

} // namespace tarnwick::peers
