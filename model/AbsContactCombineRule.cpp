#include "AbsContactCombineRule.h"

#include <QDateTime>
#include <QMetaType>

namespace {

bool isSignedInteger(int typeId)
{
    switch (typeId) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Long:
    case QMetaType::Short:
    case QMetaType::SChar:
        return true;
    default:
        return false;
    }
}

bool isUnsignedInteger(int typeId)
{
    switch (typeId) {
    case QMetaType::UInt:
    case QMetaType::ULongLong:
    case QMetaType::ULong:
    case QMetaType::UShort:
    case QMetaType::UChar:
        return true;
    default:
        return false;
    }
}

bool isInteger(int typeId)
{
    return isSignedInteger(typeId) || isUnsignedInteger(typeId);
}

// Integers of any width and signedness compare by number.
bool integersEqual(const QVariant &a, const QVariant &b)
{
    const bool aSigned = isSignedInteger(a.typeId());
    const bool bSigned = isSignedInteger(b.typeId());
    if (aSigned && bSigned)
        return a.toLongLong() == b.toLongLong();
    if (!aSigned && !bSigned)
        return a.toULongLong() == b.toULongLong();
    const QVariant &s = aSigned ? a : b;
    const QVariant &u = aSigned ? b : a;
    return s.toLongLong() >= 0 && static_cast<qulonglong>(s.toLongLong()) == u.toULongLong();
}

// The text form a value takes when it is compared with a text.
QString textOf(const QVariant &v)
{
    if (v.typeId() == QMetaType::QDateTime)
        return v.toDateTime().toString(Qt::ISODate);
    return v.toString();
}

} // namespace

AbsContactCombineRule::AbsContactCombineRule(const Table &table)
    : m_table(table)
{
    m_rowOf.fill(-1);
    // The first row of a type counts, as a search would find it.
    for (qsizetype row = table.size() - 1; row >= 0; --row) {
        const int type = table.at(row).type;
        if (type >= 0 && type < int(m_rowOf.size()))
            m_rowOf[size_t(type)] = int(row);
    }
}

AbsContactCombineRule::~AbsContactCombineRule() = default;

const AbsContactCombineRule::TypeKeys &AbsContactCombineRule::keysOf(int type) const
{
    static const TypeKeys none{0, {}, {}, {}, {}, false};
    if (type >= 0 && type < int(m_rowOf.size()))
        return m_rowOf[size_t(type)] >= 0 ? m_table.at(m_rowOf[size_t(type)]) : none;
    // Codes beyond the index are searched for, should a table ever hold one.
    for (const TypeKeys &keys : m_table) {
        if (keys.type == type)
            return keys;
    }
    return none;
}

QStringList AbsContactCombineRule::checkEmptyFields(int type)
{
    return keysOf(type).empty;
}

QStringList AbsContactCombineRule::checkEqualFieldsMin(int type)
{
    return keysOf(type).min;
}

QStringList AbsContactCombineRule::checkEqualFieldsFull(int type)
{
    return keysOf(type).full;
}

QStringList AbsContactCombineRule::validFields(int type, bool &single)
{
    const TypeKeys &keys = keysOf(type);
    single = keys.single;
    return keys.merge;
}

bool AbsContactCombineRule::variantEquals(const QVariant &left, const QVariant &right)
{
    // Qt 6's QVariant equality no longer converts between kinds, and an entry built by an editor
    // (integers, date-times) must still equal its stored twin (texts). Hence the rules by hand.
    if (!left.isValid() || !right.isValid())
        return left.isValid() == right.isValid();

    const int lt = left.typeId();
    const int rt = right.typeId();

    // Nearly every value of a merge is a text on both sides: compared in place.
    const QString *leftText = pim::textIn(left);
    const QString *rightText = pim::textIn(right);
    if (leftText && rightText)
        return *leftText == *rightText;

    if (isInteger(lt) && isInteger(rt))
        return integersEqual(left, right);

    if (lt == QMetaType::QString) {
        if (rt == QMetaType::QDateTime) {
            // Read as the comparison the other way round reads it: a stored date without a time
            // ("1980-07-15") is the date-time a file reader gives for it (midnight).
            const QDateTime l = QDateTime::fromString(left.toString(), Qt::ISODate);
            if (l.isValid() && l == right.toDateTime())
                return true;
        }
        return left.toString() == textOf(right);
    }

    if (lt == rt)
        return left == right;

    if (isInteger(lt)) {
        bool ok = false;
        if (isUnsignedInteger(lt)) {
            const qulonglong r = right.toULongLong(&ok);
            return ok && r == left.toULongLong();
        }
        const qlonglong r = right.toLongLong(&ok);
        return ok && r == left.toLongLong();
    }

    if (lt == QMetaType::QDateTime && rt == QMetaType::QString) {
        const QDateTime r = QDateTime::fromString(right.toString(), Qt::ISODate);
        return r.isValid() && r == left.toDateTime();
    }

    QVariant converted = right;
    if (!converted.convert(left.metaType()))
        return false;
    return left == converted;
}

bool AbsContactCombineRule::isEntityEqual(const pim::Entity &a, const pim::Entity &b, QStringList keys)
{
    // Walked as const: a copy shared with the caller's list would otherwise be detached, that is
    // copied whole, on every comparison.
    for (const QString &key : std::as_const(keys)) {
        if (!variantEquals(a.valueAt(key), b.valueAt(key)))
            return false;
    }
    return true;
}

bool AbsContactCombineRule::isEntityEmpty(const pim::Entity &e, QStringList keys)
{
    for (const QString &key : std::as_const(keys)) {
        if (!e.values.value(key).toString().isEmpty())
            return false;
    }
    return true;
}
