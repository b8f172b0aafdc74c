#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QVariant>

namespace pim {

// The calendar day an event entry's stored value names, with or without its year. A birthday is a
// day, not an instant: a time of day or a zone written with it never moves it to another day.
class EventDate
{
public:
    EventDate() = default;

    // Reads a stored value: a date or date-time value (its own date), an ISO 8601 date with an
    // optional time and zone ("1980-05-12", "1980-05-12T00:00:00Z", "…+09:00"), or a day without a
    // year ("--05-12", "--0512"). Anything else gives an invalid day.
    static EventDate fromValue(const QVariant &value);

    bool isValid() const { return m_month != 0; }
    bool hasYear() const { return m_year != 0; }
    int year() const { return m_year; }
    int month() const { return m_month; }
    int day() const { return m_day; }
    // The full date; invalid for a day without a year.
    QDate date() const;

    // As a person of the locale writes it: a full date in the locale's short form, a day without a
    // year as the locale's month and day ("May 12", "12 May", "12. Mai", "5月12日"); empty when invalid.
    QString displayText(const QLocale &locale = QLocale::system()) const;

    // The locale's form of a month and day without a year, in QLocale's format letters.
    static QString monthDayFormat(const QLocale &locale);

private:
    EventDate(int year, int month, int day);

    int m_year = 0;
    int m_month = 0;
    int m_day = 0;
};

} // namespace pim
