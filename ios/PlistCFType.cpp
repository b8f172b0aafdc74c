#include "PlistCFType.h"

#include "Logging.h"
#include "platform/idevice/PlistDate.h"
#include "platform/idevice/PlistInputCheck.h"

#include <QFile>
#include <QStringList>

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <optional>

namespace {

// 2001-01-01 00:00:00 UTC as UNIX seconds: the epoch of property-list dates.
constexpr qint64 kPlistEpoch = 978307200;

plist_type nodeType(void *node)
{
    return node ? plist_get_node_type(static_cast<plist_t>(node)) : PLIST_NONE;
}

// The dates a QDate-based program can hold and show: years 1 to 9999, as milliseconds since 1970.
qint64 firstMillis()
{
    return QDateTime(QDate(1, 1, 1), QTime(0, 0), Qt::UTC).toMSecsSinceEpoch();
}

qint64 lastMillis()
{
    return QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59, 999), Qt::UTC).toMSecsSinceEpoch();
}

QString takeUtf8(char *buffer)
{
    if (!buffer)
        return QString();
    const QString text = QString::fromUtf8(buffer);
    std::free(buffer);
    return text;
}

} // namespace

PlistCFTypePrivacy::PlistCFTypePrivacy(void *node_, bool owner_)
    : node(node_)
    , owner(owner_)
{}

PlistCFTypePrivacy::~PlistCFTypePrivacy()
{
    if (owner && node)
        plist_free(static_cast<plist_t>(node));
}

PlistCFType::PlistCFType() = default;

PlistCFType::PlistCFType(void *node, bool owner)
    : d(QSharedPointer<PlistCFTypePrivacy>::create(node, owner))
{}

PlistCFType::PlistCFType(const PlistCFType &other) = default;

PlistCFType &PlistCFType::operator=(const PlistCFType &other)
{
    if (this != &other) {
        d = other.d;
        childRefs = other.childRefs;
    }
    return *this;
}

PlistCFType::~PlistCFType()
{
    // The children's records are views by now; release them before our own record.
    childRefs.clear();
    d.reset();
}

void *PlistCFType::ref() const
{
    return d ? d->node : nullptr;
}

quint64 PlistCFType::typeId() const
{
    switch (nodeType(ref())) {
    case PLIST_BOOLEAN:
        return 21;
    case PLIST_UINT:
    case PLIST_REAL:
        return 22;
    case PLIST_STRING:
    case PLIST_KEY:
        return 7;
    case PLIST_ARRAY:
        return 19;
    case PLIST_DICT:
        return 18;
    case PLIST_DATE:
        return 37;
    case PLIST_DATA:
        return 20;
    case PLIST_UID:
        return 35;
    default:
        return 16;
    }
}

bool PlistCFType::isCFBoolean() const
{
    return nodeType(ref()) == PLIST_BOOLEAN;
}
bool PlistCFType::isCFNumber() const
{
    const plist_type t = nodeType(ref());
    return t == PLIST_UINT || t == PLIST_REAL;
}
bool PlistCFType::isCFString() const
{
    const plist_type t = nodeType(ref());
    return t == PLIST_STRING || t == PLIST_KEY;
}
bool PlistCFType::isCFData() const
{
    return nodeType(ref()) == PLIST_DATA;
}
bool PlistCFType::isCFDate() const
{
    return nodeType(ref()) == PLIST_DATE;
}
bool PlistCFType::isCFDictionary() const
{
    return nodeType(ref()) == PLIST_DICT;
}
bool PlistCFType::isCFArray() const
{
    return nodeType(ref()) == PLIST_ARRAY;
}
bool PlistCFType::isCFKeyedArchiverUID() const
{
    return nodeType(ref()) == PLIST_UID;
}

bool PlistCFType::CFNumberBool(bool defaultValue) const
{
    if (!isCFBoolean())
        return defaultValue;
    uint8_t value = defaultValue ? 1 : 0;
    plist_get_bool_val(static_cast<plist_t>(ref()), &value);
    return value != 0;
}

char PlistCFType::CFNumberInt8(char defaultValue) const
{
    return static_cast<char>(CFNumberInt64(defaultValue));
}

short PlistCFType::CFNumberInt16(short defaultValue) const
{
    return static_cast<short>(CFNumberInt64(defaultValue));
}

int PlistCFType::CFNumberInt(int defaultValue) const
{
    return static_cast<int>(CFNumberInt64(defaultValue));
}

long long PlistCFType::CFNumberInt64(long long defaultValue) const
{
    const plist_type t = nodeType(ref());
    if (t == PLIST_UINT) {
        uint64_t value = static_cast<uint64_t>(defaultValue);
        plist_get_uint_val(static_cast<plist_t>(ref()), &value);
        return static_cast<long long>(value);
    }
    if (t == PLIST_REAL) {
        double value = static_cast<double>(defaultValue);
        plist_get_real_val(static_cast<plist_t>(ref()), &value);
        // Only a number in range converts; NaN has no integer, the rest saturate.
        if (std::isnan(value))
            return defaultValue;
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (value >= limit)
            return std::numeric_limits<long long>::max();
        if (value < -limit)
            return std::numeric_limits<long long>::min();
        return static_cast<long long>(value);
    }
    return defaultValue;
}

float PlistCFType::CFNumberFloat(float defaultValue) const
{
    return static_cast<float>(CFNumberDouble(defaultValue));
}

double PlistCFType::CFNumberDouble(double defaultValue) const
{
    const plist_type t = nodeType(ref());
    if (t == PLIST_REAL) {
        double value = defaultValue;
        plist_get_real_val(static_cast<plist_t>(ref()), &value);
        return value;
    }
    if (t == PLIST_UINT) {
        uint64_t value = 0;
        plist_get_uint_val(static_cast<plist_t>(ref()), &value);
        return static_cast<double>(static_cast<long long>(value));
    }
    return defaultValue;
}

QString PlistCFType::CFStringQString() const
{
    switch (nodeType(ref())) {
    case PLIST_STRING: {
        // Read in place: no copy of the library's buffer is needed to decode it.
        uint64_t length = 0;
        const char *text = plist_get_string_ptr(static_cast<plist_t>(ref()), &length);
        return text ? QString::fromUtf8(text, static_cast<qsizetype>(length)) : QString();
    }
    case PLIST_KEY: {
        char *buffer = nullptr;
        plist_get_key_val(static_cast<plist_t>(ref()), &buffer);
        return takeUtf8(buffer);
    }
    default:
        return QString();
    }
}

int PlistCFType::CFStringLength() const
{
    return CFStringQString().size();
}

QByteArray PlistCFType::CFDataBytes() const
{
    if (!isCFData())
        return QByteArray();
    uint64_t length = 0;
    const char *bytes = plist_get_data_ptr(static_cast<plist_t>(ref()), &length);
    if (!bytes || length == 0)
        return QByteArray();
    return QByteArray(bytes, static_cast<qsizetype>(length));
}

int PlistCFType::CFDataLength() const
{
    if (!isCFData())
        return 0;
    uint64_t length = 0;
    return plist_get_data_ptr(static_cast<plist_t>(ref()), &length) ? static_cast<int>(length) : 0;
}

QDateTime PlistCFType::CFDateToDateTime(int extraSeconds) const
{
    if (!isCFDate())
        return QDateTime();
    const std::optional<double> seconds = PlistDate::seconds(static_cast<plist_t>(ref()));
    if (!seconds || !std::isfinite(*seconds))
        return QDateTime();
    // Counted from UTC midnight, as createCFDate counts: a round trip keeps the wall clock exactly,
    // whatever the local zone and its daylight-saving rules. Rounded to the millisecond a QDateTime
    // holds; the range is checked on the double, before any conversion to an integer.
    const double millis = std::round((*seconds + extraSeconds) * 1000.0) + double(kPlistEpoch) * 1000.0;
    if (!(millis >= double(firstMillis()) && millis <= double(lastMillis())))
        return QDateTime();
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(millis), Qt::UTC);
}

QDateTime PlistCFType::CFDateToDateTime(const __CFTimeZone *) const
{
    return CFDateToDateTime(0);
}

QDateTime PlistCFType::CFDateToDateTime(QString) const
{
    return CFDateToDateTime(0);
}

int PlistCFType::CFKeyedArchiverUIDGetValue() const
{
    if (!isCFKeyedArchiverUID())
        return 0;
    uint64_t value = 0;
    plist_get_uid_val(static_cast<plist_t>(ref()), &value);
    return static_cast<int>(value);
}

int PlistCFType::array_size() const
{
    return isCFArray() ? static_cast<int>(plist_array_get_size(static_cast<plist_t>(ref()))) : 0;
}

PlistCFType PlistCFType::at(int index) const
{
    if (!isCFArray())
        return PlistCFType(nullptr, false);
    return PlistCFType(plist_array_get_item(static_cast<plist_t>(ref()), static_cast<uint32_t>(index)),
                       false);
}

void PlistCFType::adopt(const PlistCFType &child)
{
    childRefs.insert(child.ref(), child.d);
    child.d->owner = false;
}

PlistCFType &PlistCFType::append(PlistCFType item)
{
    if (!isCFArray() || !item.ref())
        return *this;
    adopt(item);
    plist_array_append_item(static_cast<plist_t>(ref()), static_cast<plist_t>(item.ref()));
    return *this;
}

PlistCFType &PlistCFType::array_replace(int index, const PlistCFType &item)
{
    if (!isCFArray() || !item.ref() || index < 0 || index >= array_size())
        return *this;
    // Putting an item back in its own place would free it.
    if (plist_array_get_item(static_cast<plist_t>(ref()), static_cast<uint32_t>(index)) == item.ref())
        return *this;
    adopt(item);
    plist_array_set_item(static_cast<plist_t>(ref()), static_cast<plist_t>(item.ref()),
                         static_cast<uint32_t>(index));
    return *this;
}

int PlistCFType::dict_size() const
{
    return isCFDictionary() ? static_cast<int>(plist_dict_get_size(static_cast<plist_t>(ref()))) : 0;
}

QList<PlistCFType> PlistCFType::dict_keys() const
{
    QList<PlistCFType> keys;
    if (dict_size() == 0)
        return keys;
    keys.reserve(dict_size());
    dict_for_each([&keys](const QString &key, const PlistCFType &) { keys.append(createCFString(key)); });
    return keys;
}

void PlistCFType::dict_for_each(
    const std::function<void(const QString &key, const PlistCFType &value)> &visit) const
{
    if (!isCFDictionary())
        return;
    plist_t node = static_cast<plist_t>(ref());
    plist_dict_iter iter = nullptr;
    plist_dict_new_iter(node, &iter);
    if (!iter)
        return;
    const std::unique_ptr<void, decltype(&std::free)> iterGuard(iter, &std::free);
    for (;;) {
        char *key = nullptr;
        plist_t value = nullptr;
        plist_dict_next_item(node, iter, &key, &value);
        if (!key)
            break;
        visit(takeUtf8(key), PlistCFType(value, false));
    }
}

PlistCFType PlistCFType::get(QString key) const
{
    if (!isCFDictionary())
        return PlistCFType(nullptr, false);
    return PlistCFType(plist_dict_get_item(static_cast<plist_t>(ref()), key.toUtf8().constData()), false);
}

PlistCFType PlistCFType::get(PlistCFType key) const
{
    return get(key.toString());
}

PlistCFType &PlistCFType::put(QString key, PlistCFType value)
{
    if (!isCFDictionary() || !value.ref())
        return *this;
    const QByteArray utf8Key = key.toUtf8();
    // Putting a value back under its own key would free it.
    if (plist_dict_get_item(static_cast<plist_t>(ref()), utf8Key.constData()) == value.ref())
        return *this;
    adopt(value);
    plist_dict_set_item(static_cast<plist_t>(ref()), utf8Key.constData(), static_cast<plist_t>(value.ref()));
    return *this;
}

PlistCFType &PlistCFType::put(PlistCFType key, PlistCFType value)
{
    if (!key.ref())
        return *this;
    return put(key.toString(), value);
}

PlistCFType &PlistCFType::dict_replace(const PlistCFType &key, const PlistCFType &value)
{
    return put(key, value);
}

PlistCFType PlistCFType::createCFBoolean(bool value)
{
    return PlistCFType(plist_new_bool(value ? 1 : 0), true);
}

PlistCFType PlistCFType::createCFNumberInt8(char value)
{
    return createCFNumberInt64(static_cast<signed char>(value));
}

PlistCFType PlistCFType::createCFNumberInt16(short value)
{
    return createCFNumberInt64(value);
}

PlistCFType PlistCFType::createCFNumberInt32(int value)
{
    return createCFNumberInt64(value);
}

PlistCFType PlistCFType::createCFNumberInt64(long long value)
{
    return PlistCFType(plist_new_uint(static_cast<uint64_t>(value)), true);
}

PlistCFType PlistCFType::createCFNumberCFIndex(long value)
{
    return createCFNumberInt64(value);
}

PlistCFType PlistCFType::createCFNumberFloat(float value)
{
    return createCFNumberDouble(value);
}

PlistCFType PlistCFType::createCFNumberDouble(double value)
{
    return PlistCFType(plist_new_real(value), true);
}

PlistCFType PlistCFType::createCFString(QString value)
{
    return PlistCFType(plist_new_string(value.toUtf8().constData()), true);
}

PlistCFType PlistCFType::createCFData(QByteArray value)
{
    return PlistCFType(plist_new_data(value.constData(), static_cast<uint64_t>(value.size())), true);
}

PlistCFType PlistCFType::createCFDate(QDateTime value)
{
    // Only the wall clock counts: one that a local zone skips (a spring gap) is still a date here.
    if (!value.date().isValid() || !value.time().isValid())
        return PlistCFType(nullptr, true);
    const QDateTime wallClockAsUtc(value.date(), value.time(), Qt::UTC);
    const qint64 ms = wallClockAsUtc.toMSecsSinceEpoch();
    if (ms < firstMillis() || ms > lastMillis())
        return PlistCFType(nullptr, true);
    return PlistCFType(PlistDate::newNode(double(ms - kPlistEpoch * 1000) / 1000.0), true);
}

PlistCFType PlistCFType::createCFKeyedArchiverUID(long value)
{
    return PlistCFType(plist_new_uid(static_cast<uint64_t>(value)), true);
}

PlistCFType PlistCFType::createCFDictionary()
{
    return PlistCFType(plist_new_dict(), true);
}

PlistCFType PlistCFType::createCFArray()
{
    return PlistCFType(plist_new_array(), true);
}

PlistCFType PlistCFType::createCFDictionary(const QList<PlistCFType> &keys, const QList<PlistCFType> &values)
{
    PlistCFType dict = createCFDictionary();
    const qsizetype n = qMin(keys.size(), values.size());
    for (qsizetype i = 0; i < n; ++i)
        dict.put(keys.at(i).toString(), values.at(i));
    return dict;
}

PlistCFType PlistCFType::createCFArray(const QList<PlistCFType> &items)
{
    PlistCFType array = createCFArray();
    for (const PlistCFType &item : items)
        array.append(item);
    return array;
}

PlistCFType PlistCFType::createCFDictionaryCreateMutableCopy(const PlistCFType &source)
{
    if (!source.isCFDictionary())
        return createCFDictionary();
    return PlistCFType(plist_copy(static_cast<plist_t>(source.ref())), true);
}

PlistCFType PlistCFType::clone(PlistCFType source)
{
    if (!source.ref())
        return PlistCFType(nullptr, true);
    return PlistCFType(plist_copy(static_cast<plist_t>(source.ref())), true);
}

PlistCFType PlistCFType::createCFPropertyList(QByteArray bytes)
{
    const std::string refusal = PlistInputCheck::refusal(bytes.constData(), std::size_t(bytes.size()));
    if (!refusal.empty()) {
        qCWarning(lcIos, "property list refused: %s", refusal.c_str());
        return PlistCFType(nullptr, true);
    }
    plist_t node = nullptr;
    if (bytes.size() >= 7 && bytes.startsWith("bplist"))
        plist_from_bin(bytes.constData(), static_cast<uint32_t>(bytes.size()), &node);
    else
        plist_from_xml(bytes.constData(), static_cast<uint32_t>(bytes.size()), &node);
    return PlistCFType(node, true);
}

PlistCFType PlistCFType::createCFPropertyListFromFile(QString path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return PlistCFType(nullptr, true);
    return createCFPropertyList(file.readAll());
}

QByteArray PlistCFType::CFPropertyListToBytes(CFPropertyListFormat format) const
{
    if (!ref())
        return QByteArray();
    char *buffer = nullptr;
    uint32_t length = 0;
    if (format == kCFPropertyListXMLFormat_v1_0)
        plist_to_xml(static_cast<plist_t>(ref()), &buffer, &length);
    else
        plist_to_bin(static_cast<plist_t>(ref()), &buffer, &length);
    QByteArray bytes;
    if (buffer)
        bytes = QByteArray(buffer, static_cast<qsizetype>(length));
    std::free(buffer);
    return bytes;
}

PlistCFType PlistCFType::CFPropertyListToData(CFPropertyListFormat format) const
{
    return createCFData(CFPropertyListToBytes(format));
}

QString PlistCFType::toString() const
{
    plist_t node = static_cast<plist_t>(ref());
    switch (nodeType(node)) {
    case PLIST_BOOLEAN: {
        uint8_t value = 0;
        plist_get_bool_val(node, &value);
        return value ? QStringLiteral("1") : QStringLiteral("0");
    }
    case PLIST_UINT: {
        uint64_t value = 0;
        plist_get_uint_val(node, &value);
        return QString::number(static_cast<qint64>(value));
    }
    case PLIST_REAL: {
        double value = 0;
        plist_get_real_val(node, &value);
        return QString::number(value, 'g', 6);
    }
    case PLIST_STRING:
    case PLIST_KEY:
        return CFStringQString();
    case PLIST_ARRAY: {
        QStringList items;
        const int n = array_size();
        for (int i = 0; i < n; ++i)
            items.append(at(i).toString());
        return QLatin1Char('[') + items.join(QStringLiteral(", ")) + QLatin1Char(']');
    }
    case PLIST_DICT: {
        QStringList entries;
        dict_for_each([&entries](const QString &key, const PlistCFType &value) {
            entries.append(QStringLiteral("%1 : %2").arg(key, value.toString()));
        });
        return QLatin1Char('{') + entries.join(QStringLiteral(", ")) + QLatin1Char('}');
    }
    case PLIST_DATE:
        // The wall clock without a zone suffix, in the text-date form.
        return CFDateToDateTime(0).toString(QStringLiteral("ddd MMM d HH:mm:ss yyyy"));
    case PLIST_DATA:
        return QString::fromLatin1(CFDataBytes().toBase64());
    case PLIST_UID:
        return QString::number(CFKeyedArchiverUIDGetValue());
    default:
        return QStringLiteral("NULL");
    }
}
