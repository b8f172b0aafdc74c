#pragma once

#include "ios/IOSContactCombineRule.h"
#include "ios/PlistCFType.h"
#include "model/LocalDb.h"

#include "SimulatedPhoneFixture.h"

#include <QDateTime>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace tarnwick::test {

// Whether a date node holds dates outside the 32-bit range of seconds around 2001.
inline bool fullRangeDates()
{
    const QDateTime old(QDate(1925, 5, 17), QTime(0, 0), Qt::UTC);
    return PlistCFType::createCFDate(old).CFDateToDateTime(0) == old;
}

// A simulated iPhone plugged in, with an empty cache database for it. Tests of writers call
// plugInWithCache() from init() and unplugAndCheck() from cleanup(), which also fails the test when
// the phone found a record that breaks the record format.
class CachedPhoneFixture : protected tarnwick::peers::SimulatedPhoneFixture
{
protected:
    void plugInWithCache(const QString &udid)
    {
        plugInPhone(udid);
        if (QTest::currentTestFailed())
            return;
        m_dir = std::make_unique<QTemporaryDir>();
        m_db = std::make_unique<LocalDb>(m_dir->filePath(QStringLiteral("cache.db")),
                                         QSharedPointer<AbsContactCombineRule>(new IOSContactCombineRule));
        m_db->create();
    }

    void unplugAndCheck()
    {
        const QStringList violations = m_phone ? m_phone->contactSync().violations() : QStringList();
        m_db.reset();
        m_dir.reset();
        unplugAll();
        QVERIFY2(violations.isEmpty(), qPrintable(violations.join(QLatin1Char('\n'))));
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<LocalDb> m_db;
};

} // namespace tarnwick::test
