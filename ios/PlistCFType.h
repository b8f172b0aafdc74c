#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QSharedPointer>
#include <QString>

#include <functional>

// The platform's opaque time-zone type; only one overload of CFDateToDateTime names it.
struct __CFTimeZone;

// Serialisation formats, numbered as the platform numbers them.
enum CFPropertyListFormat {
    kCFPropertyListOpenStepFormat = 1,
    kCFPropertyListXMLFormat_v1_0 = 100,
    kCFPropertyListBinaryFormat_v1_0 = 200
};

// The record behind one or more handles: a libplist node and whether this record frees it.
class PlistCFTypePrivacy
{
public:
    PlistCFTypePrivacy(void *node, bool owner);
    ~PlistCFTypePrivacy();
    PlistCFTypePrivacy(const PlistCFTypePrivacy &) = delete;
    PlistCFTypePrivacy &operator=(const PlistCFTypePrivacy &) = delete;

    void *p() const { return node; }

    void *node;
    bool owner;
};

// A handle to one property-list node (libplist). Copies share the node.
//
// Ownership: handles from the create functions, clone(), parsing and the device functions own their
// node; handles from get() and at() are views that must not outlive the tree they point into.
// put(), append() and array_replace() hand the child's node to the container: from then on every
// handle sharing the child's record is a view into the container. Only hand over nodes that sit in no
// container yet. Nothing here throws: a missing or differently typed node gives the caller's default,
// an empty value or a handle without node.
class PlistCFType
{
public:
    PlistCFType();
    PlistCFType(void *node, bool owner);
    PlistCFType(const PlistCFType &other);
    PlistCFType &operator=(const PlistCFType &other);
    virtual ~PlistCFType();

    void *ref() const;
    quint64 typeId() const;

    // Type tests; all false for a handle without node.
    bool isCFBoolean() const;
    bool isCFNumber() const;
    bool isCFString() const;
    bool isCFData() const;
    bool isCFDate() const;
    bool isCFDictionary() const;
    bool isCFArray() const;
    bool isCFKeyedArchiverUID() const;

    // Getters; the argument is the value given back for a missing or differently typed node.
    bool CFNumberBool(bool defaultValue) const;
    char CFNumberInt8(char defaultValue) const;
    short CFNumberInt16(short defaultValue) const;
    int CFNumberInt(int defaultValue) const;
    long long CFNumberInt64(long long defaultValue) const;
    float CFNumberFloat(float defaultValue) const;
    double CFNumberDouble(double defaultValue) const;
    QString CFStringQString() const;
    int CFStringLength() const;
    QByteArray CFDataBytes() const;
    int CFDataLength() const;
    // The date as a UTC date-time (the wall clock that createCFDate wrote); null without a date node
    // and for a date outside the years 1 to 9999.
    QDateTime CFDateToDateTime(int extraSeconds) const;
    QDateTime CFDateToDateTime(const __CFTimeZone *ignored) const;
    QDateTime CFDateToDateTime(QString ignored) const;
    int CFKeyedArchiverUIDGetValue() const;

    // Arrays.
    int array_size() const;
    PlistCFType at(int index) const;
    PlistCFType &append(PlistCFType item);
    PlistCFType &array_replace(int index, const PlistCFType &item);

    // Dictionaries.
    int dict_size() const;
    QList<PlistCFType> dict_keys() const;
    // Calls `visit` with each key and value in the dictionary's order, without a lookup per entry;
    // the values stay the dictionary's own.
    void dict_for_each(const std::function<void(const QString &key, const PlistCFType &value)> &visit) const;
    PlistCFType get(QString key) const;
    PlistCFType get(PlistCFType key) const;
    PlistCFType &put(QString key, PlistCFType value);
    PlistCFType &put(PlistCFType key, PlistCFType value);
    PlistCFType &dict_replace(const PlistCFType &key, const PlistCFType &value);

    // Creation; every result owns its node.
    static PlistCFType createCFBoolean(bool value);
    static PlistCFType createCFNumberInt8(char value);
    static PlistCFType createCFNumberInt16(short value);
    static PlistCFType createCFNumberInt32(int value);
    static PlistCFType createCFNumberInt64(long long value);
    static PlistCFType createCFNumberCFIndex(long value);
    static PlistCFType createCFNumberFloat(float value);
    static PlistCFType createCFNumberDouble(double value);
    static PlistCFType createCFString(QString value);
    static PlistCFType createCFData(QByteArray value);
    // The date-time's wall clock is taken as UTC, whatever its time spec. Years 1 to 9999; an invalid
    // date-time or one outside them gives a handle without node.
    static PlistCFType createCFDate(QDateTime value);
    static PlistCFType createCFKeyedArchiverUID(long value);
    static PlistCFType createCFDictionary();
    static PlistCFType createCFArray();
    static PlistCFType createCFDictionary(const QList<PlistCFType> &keys, const QList<PlistCFType> &values);
    static PlistCFType createCFArray(const QList<PlistCFType> &items);
    static PlistCFType createCFDictionaryCreateMutableCopy(const PlistCFType &source);
    static PlistCFType clone(PlistCFType source);
    // Parses the binary or XML form. Bytes that fail the input check (PlistInputCheck) give a handle
    // without node, as unreadable ones do.
    static PlistCFType createCFPropertyList(QByteArray bytes);
    static PlistCFType createCFPropertyListFromFile(QString path);

    // Serialisation and text.
    QByteArray CFPropertyListToBytes(CFPropertyListFormat format) const;
    PlistCFType CFPropertyListToData(CFPropertyListFormat format) const;
    QString toString() const;

    // Keyed archives (the layout of the platform's NSKeyedArchiver).
    // Field table of the archived root object; the values are views into this archive.
    QHash<QString, PlistCFType> NSKeyedArchiver() const;
    // An archived NSDictionary (NSMutableDictionary when mutableDict is true); the table's values are
    // handed to the archive.
    static PlistCFType createNSDictionaryStringCFType(const QHash<QString, PlistCFType> &table,
                                                      bool mutableDict);
    // Key table of an archived dictionary; the values are owning deep copies.
    static QHash<QString, PlistCFType> parseNSDictionaryStringCFType(const PlistCFType &archive);

private:
    void adopt(const PlistCFType &child);

    QSharedPointer<PlistCFTypePrivacy> d;
    QHash<void *, QSharedPointer<PlistCFTypePrivacy>> childRefs;
};
