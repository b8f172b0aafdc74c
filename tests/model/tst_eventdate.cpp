#include "model/EventDate.h"

#include "ScopedTimeZone.h"
#include "TestMain.h"

#include <QDateTime>
#include <QTimeZone>

using pim::EventDate;

namespace {

QString shown(const EventDate &d)
{
    if (!d.isValid())
        return QStringLiteral("invalid");
    return d.hasYear() ? d.date().toString(Qt::ISODate)
                       : QStringLiteral("--%1-%2")
                             .arg(d.month(), 2, 10, QLatin1Char('0'))
                             .arg(d.day(), 2, 10, QLatin1Char('0'));
}

} // namespace

class TestEventDate : public QObject
{
    Q_OBJECT

private slots:
    void readsTheDayAsStored_data();
    void readsTheDayAsStored();
    void dayWithoutYearAsThePeopleOfALocaleWriteIt_data();
    void dayWithoutYearAsThePeopleOfALocaleWriteIt();
    void fullDateInTheLocaleShortForm();
};

void TestEventDate::readsTheDayAsStored_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("day");

    QTest::newRow("date") << QVariant("1980-05-12") << "1980-05-12";
    QTest::newRow("midnight UTC") << QVariant("1980-05-12T00:00:00Z") << "1980-05-12";
    QTest::newRow("with milliseconds") << QVariant("1980-05-12T00:00:00.000Z") << "1980-05-12";
    QTest::newRow("east of UTC") << QVariant("1980-05-12T00:00:00+09:00") << "1980-05-12";
    QTest::newRow("west of UTC, late") << QVariant("1980-05-12T23:30:00-05:00") << "1980-05-12";
    QTest::newRow("no zone") << QVariant("1980-05-12T00:00:00") << "1980-05-12";
    QTest::newRow("date-time value in UTC")
        << QVariant(QDateTime(QDate(1980, 5, 12), QTime(0, 0), Qt::UTC)) << "1980-05-12";
    QTest::newRow("date-time value with an offset")
        << QVariant(QDateTime(QDate(1980, 5, 12), QTime(23, 0), QTimeZone(-8 * 3600))) << "1980-05-12";
    QTest::newRow("date value") << QVariant(QDate(1980, 5, 12)) << "1980-05-12";
    QTest::newRow("surrounding blanks") << QVariant(" 1980-05-12 ") << "1980-05-12";
    QTest::newRow("without year") << QVariant("--05-12") << "--05-12";
    QTest::newRow("without year, basic form") << QVariant("--0512") << "--05-12";
    QTest::newRow("29 February without year") << QVariant("--02-29") << "--02-29";
    QTest::newRow("no such day without year") << QVariant("--02-30") << "invalid";
    QTest::newRow("no such month") << QVariant("1980-13-01") << "invalid";
    QTest::newRow("no hyphens") << QVariant("19800512") << "invalid";
    QTest::newRow("bad time") << QVariant("1980-05-12Tnoon") << "invalid";
    QTest::newRow("words") << QVariant("next Tuesday") << "invalid";
    QTest::newRow("empty") << QVariant(QString()) << "invalid";
    QTest::newRow("nothing") << QVariant() << "invalid";
}

// A birthday is a day of the calendar: wherever the computer is, it stays the day it was stored as.
void TestEventDate::readsTheDayAsStored()
{
    QFETCH(QVariant, value);
    QFETCH(QString, day);
    for (const QByteArray zone : {"UTC", "America/New_York", "Asia/Tokyo", "Pacific/Kiritimati"}) {
        const tarnwick::test::ScopedTimeZone inZone(zone);
        QVERIFY2(shown(EventDate::fromValue(value)) == day, zone.constData());
    }
}

void TestEventDate::dayWithoutYearAsThePeopleOfALocaleWriteIt_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::newRow("US English") << "en_US"
                                << "May 12";
    QTest::newRow("British English") << "en_GB"
                                     << "12 May";
    QTest::newRow("German") << "de_DE"
                            << "12. Mai";
    QTest::newRow("French") << "fr_FR"
                            << "12 mai";
    QTest::newRow("Spanish") << "es_ES"
                             << "12 de mayo";
    QTest::newRow("Japanese") << "ja_JP" << QString::fromUtf8("5月12日");
    QTest::newRow("Chinese") << "zh_CN" << QString::fromUtf8("5月12日");
}

void TestEventDate::dayWithoutYearAsThePeopleOfALocaleWriteIt()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QCOMPARE(EventDate::fromValue(QStringLiteral("--05-12")).displayText(QLocale(locale)), text);
}

void TestEventDate::fullDateInTheLocaleShortForm()
{
    const QLocale us(QStringLiteral("en_US"));
    QCOMPARE(EventDate::fromValue(QStringLiteral("1980-05-12T00:00:00Z")).displayText(us),
             us.toString(QDate(1980, 5, 12), QLocale::ShortFormat));
    QCOMPARE(EventDate::fromValue(QStringLiteral("garbage")).displayText(us), QString());
}

TARNWICK_TEST_MAIN(TestEventDate)
#include "tst_eventdate.moc"
