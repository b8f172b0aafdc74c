#include "EventDate.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

namespace pim {

namespace {

// A leap year, so that a birthday on the 29th of February is a day.
constexpr int kAnyLeapYear = 2000;

bool isFieldLetter(QChar c)
{
    return c == QLatin1Char('d') || c == QLatin1Char('M') || c == QLatin1Char('y');
}

struct FormatPiece
{
    QString text;
    bool field = false;
};

// The format split into fields ("MMMM", "d", "yyyy", …) and the literal text between them, a quoted
// literal kept with its quotes.
QList<FormatPiece> splitFormat(const QString &format)
{
    QList<FormatPiece> pieces;
    const auto literal = [&pieces](const QString &text) {
        if (pieces.isEmpty() || pieces.last().field)
            pieces.append({QString(), false});
        pieces.last().text += text;
    };
    for (qsizetype i = 0; i < format.size();) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\'')) {
            qsizetype end = format.indexOf(QLatin1Char('\''), i + 1);
            end = end < 0 ? format.size() : end + 1;
            literal(format.mid(i, end - i));
            i = end;
        } else if (isFieldLetter(c)) {
            qsizetype end = i;
            while (end < format.size() && format.at(end) == c)
                ++end;
            pieces.append({format.mid(i, end - i), true});
            i = end;
        } else {
            literal(QString(c));
            ++i;
        }
    }
    return pieces;
}

bool isMonthOrDay(const FormatPiece &p)
{
    return p.field && (p.text.startsWith(QLatin1Char('M')) || p.text.size() <= 2);
}

} // namespace

EventDate::EventDate(int year, int month, int day)
    : m_year(year)
    , m_month(month)
    , m_day(day)
{}

EventDate EventDate::fromValue(const QVariant &value)
{
    QDate date;
    switch (value.metaType().id()) {
    case QMetaType::QDate:
        date = value.toDate();
        break;
    case QMetaType::QDateTime:
        // Its own date, in the zone it was made with: never converted to the local zone.
        date = value.toDateTime().date();
        break;
    default: {
        const QString text = value.toString().trimmed();
        static const QRegularExpression noYear(QStringLiteral("^--(\\d{2})-?(\\d{2})$"));
        const QRegularExpressionMatch m = noYear.match(text);
        if (m.hasMatch()) {
            const int month = m.captured(1).toInt();
            const int day = m.captured(2).toInt();
            if (QDate(kAnyLeapYear, month, day).isValid())
                return EventDate(0, month, day);
            return {};
        }
        // The date as written; what follows it must be a time (and zone) that ISO 8601 allows.
        static const QRegularExpression withYear(QStringLiteral("^(\\d{4}-\\d{2}-\\d{2})([T ].*)?$"));
        const QRegularExpressionMatch d = withYear.match(text);
        if (!d.hasMatch())
            return {};
        date = QDate::fromString(d.captured(1), Qt::ISODate);
        if (!d.captured(2).isEmpty() &&
            !QDateTime::fromString(QStringLiteral("2000-01-01") + d.captured(2), Qt::ISODate).isValid())
            return {};
        break;
    }
    }
    if (!date.isValid() || date.year() <= 0)
        return {};
    return EventDate(date.year(), date.month(), date.day());
}

QDate EventDate::date() const
{
    return hasYear() ? QDate(m_year, m_month, m_day) : QDate();
}

QString EventDate::monthDayFormat(const QLocale &locale)
{
    // The locale's long date without its weekday and year: the order, the month's name and the
    // marks that go with the day and month stay as the locale writes them.
    const QList<FormatPiece> pieces = splitFormat(locale.dateFormat(QLocale::LongFormat));
    qsizetype first = -1;
    qsizetype last = -1;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        if (isMonthOrDay(pieces.at(i))) {
            if (first < 0)
                first = i;
            last = i;
        }
    }
    if (first < 0)
        return QStringLiteral("d MMMM");
    QString format;
    for (qsizetype i = first; i <= last; ++i) {
        const FormatPiece &p = pieces.at(i);
        if (!p.field || isMonthOrDay(p))
            format += p.text;
    }
    // A mark written right after the last of them belongs to it ("d日", "d."), up to a blank or comma.
    if (last + 1 < pieces.size() && !pieces.at(last + 1).field) {
        const QString after = pieces.at(last + 1).text;
        qsizetype n = 0;
        while (n < after.size() && !after.at(n).isSpace() && after.at(n) != QLatin1Char(','))
            ++n;
        format += after.left(n);
    }
    return format;
}

QString EventDate::displayText(const QLocale &locale) const
{
    if (!isValid())
        return QString();
    if (hasYear())
        return locale.toString(date(), QLocale::ShortFormat);
    return locale.toString(QDate(kAnyLeapYear, m_month, m_day), monthDayFormat(locale));
}

} // namespace pim
