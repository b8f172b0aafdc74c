#pragma once

#include "ClosedLoopbackPort.h"
#include "CompanionApp.h"
#include "CompanionRecord.h"
#include "RecordingProgressSink.h"
#include "SimulatedAndroidHandle.h"

#include "android/AdbConnector.h"
#include "android/AndroidContactsDb.h"

#include "platform/sqlite/Sqlite3Cursor.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <memory>

namespace tarnwick::test {

// A connector that hands every call to another one, with a hook before and after each, so a test
// can play the user's Cancel at an exact point of a session.
class HookedConnector : public IAndroidConnector
{
public:
    explicit HookedConnector(PAndroidConnector inner)
        : m_inner(std::move(inner))
    {}
    void initialCheck() override
    {
        m_inner->initialCheck();
        if (afterCheck)
            afterCheck();
    }
    QString startBackup(int port) override
    {
        const QString host = m_inner->startBackup(port);
        if (afterStart)
            afterStart();
        return host;
    }
    QString startRestore(int port) override
    {
        const QString host = m_inner->startRestore(port);
        if (afterStart)
            afterStart();
        return host;
    }
    QString logcat() override { return m_inner->logcat(); }
    void endSession(int port) override { m_inner->endSession(port); }
    bool phoneGone() const override { return m_inner->phoneGone(); }

    std::function<void()> afterCheck;
    std::function<void()> afterStart;

private:
    PAndroidConnector m_inner;
};

// One simulated phone on USB with the companion app installed, its mirror in a temporary folder,
// and a progress sink that records the session's reports. Connector waits are skipped.
class AndroidSessionRig
{
public:
    AndroidSessionRig()
        : handle(new peers::SimulatedAndroidHandle(&app))
        , hooked(new HookedConnector(PAndroidConnector(new AdbConnector(handle, [](unsigned long) {}))))
    {
        handle->userPackages << AdbConnector::kPackage;
        mirror = std::make_unique<AndroidContactsDb>(dir.filePath(QStringLiteral("SIM0ANDROID")),
                                                     PAndroidConnector(hooked));
        mirror->create();
    }

    int port() const { return app.port(); }

    // Runs a session thread to its end; false when it did not end in time.
    static bool run(QThread &thread, int ms = 30000)
    {
        thread.start();
        return thread.wait(QDeadlineTimer(ms));
    }

    QList<pim::_Contact> stored() { return mirror->contacts(0, QString()); }

    // The first column of the first row `sql` yields on `db`; -1 for no row.
    static int rows(LocalDb &db, const QString &sql)
    {
        db.open_check();
        Sqlite3Cursor c = db.db.queryThrow(Sqlite3Sql(sql));
        return c.moveNext() ? c.getInt(0) : -1;
    }

    static quint16 closedPort() { return closedLoopbackPort(); }

    QTemporaryDir dir;
    peers::CompanionApp app;
    QSharedPointer<peers::SimulatedAndroidHandle> handle;
    QSharedPointer<HookedConnector> hooked;
    std::unique_ptr<AndroidContactsDb> mirror;
    RecordingProgressSink progress;
};

} // namespace tarnwick::test
