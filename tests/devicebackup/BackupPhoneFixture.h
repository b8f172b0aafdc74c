#pragma once

#include "SimulatedBackupService.h"
#include "SimulatedPhoneFixture.h"

#include <QDir>
#include <QTemporaryDir>

#include <memory>

namespace tarnwick::test {

// A simulated iPhone with its backup service, and a fresh backup root folder, per test function.
class BackupPhoneFixture : public tarnwick::peers::SimulatedPhoneFixture
{
protected:
    void plugInBackupPhone(const QString &udid)
    {
        plugInPhone(udid);
        m_backup = std::make_shared<tarnwick::peers::SimulatedBackupService>();
        tarnwick::peers::SimulatedBackupService::install(*m_phone, m_backup);
        m_rootDir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_rootDir->isValid());
        m_root = QDir(m_rootDir->path());
    }

    void unplugBackupPhone()
    {
        unplugAll();
        m_rootDir.reset();
    }

    // A backup file name as phones make them: 40 hex digits, the first two naming its bucket folder.
    static QString hashed(const QString &prefix)
    {
        return (prefix + QStringLiteral("0000000000000000000000000000000000000000")).left(40);
    }

    std::shared_ptr<tarnwick::peers::SimulatedBackupService> m_backup;
    std::unique_ptr<QTemporaryDir> m_rootDir;
    QDir m_root;
};

} // namespace tarnwick::test
