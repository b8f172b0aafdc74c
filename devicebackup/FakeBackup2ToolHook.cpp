#include "FakeBackup2ToolHook.h"

#include "Logging.h"
#include "ios/iDevice.h"
#include "platform/idevice/InstallationProxyClient.h"

#include <libimobiledevice/installation_proxy.h>

#include <QFileInfo>

#include <memory>
#include <stdexcept>

namespace {

// The first container identifier in `text`, upper case; empty when there is none.
QString containerUuid(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("([a-f0-9]{8}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{4}-[a-f0-9]{12})"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(text);
    return match.hasMatch() ? match.captured(1).toUpper() : QString();
}

QString tablePath(const QDir &root, const QString &udid)
{
    return root.absoluteFilePath(udid + QStringLiteral("/dname.sqlite"));
}

} // namespace

FakeBackup2ToolHook::FakeBackup2ToolHook()
{
    includedNames = {QStringLiteral("info.plist"),
                     QStringLiteral("status.plist"),
                     QStringLiteral("manifest.mbdb"),
                     QStringLiteral("manifest.mbdx"),
                     QStringLiteral("manifest.db"),
                     QStringLiteral("manifest.plist"),
                     QStringLiteral("80fa782261261e54bb73c0253e5b6beefb6a2f39")};
}

FakeBackup2ToolHook::~FakeBackup2ToolHook() = default;

void FakeBackup2ToolHook::openTableThrow(const QDir &root, const QString &udid)
{
    QString error;
    if (!db.open(tablePath(root, udid), &error))
        throw std::runtime_error(
            QStringLiteral("open dname.sqlite failed. %1").arg(error).toUtf8().toStdString());
}

void FakeBackup2ToolHook::beginThrow(QDir root, QString udid)
{
    const QDir deviceDir(root.absoluteFilePath(udid));
    const QString table = tablePath(root, udid);
    // A table is kept only beside a backup that has its manifest.
    if (!QFileInfo::exists(deviceDir.absoluteFilePath(QStringLiteral("Manifest.db"))))
        QFile::remove(table);
    if (QFileInfo::exists(table))
        openTableThrow(root, udid);
    readAppuids(udid);
}

bool FakeBackup2ToolHook::isFileIncluded(QString path, QString devicePath)
{
    const QString name = QFileInfo(path).fileName();
    if (includedNames.contains(name.toLower()))
        return true;
    if (devicePath.isEmpty())
        devicePath = db.getDName(name);
    if (!devicePath.isEmpty()) {
        for (const QRegularExpression &pattern : qAsConst(includedPatterns))
            if (pattern.match(devicePath).hasMatch())
                return true;
    }
    const QString uuid = containerUuid(devicePath);
    if (!uuid.isEmpty()) {
        for (const QString &app : qAsConst(selectedApps)) {
            const auto found = appContainers.constFind(app);
            if (found != appContainers.constEnd() && found->contains(uuid))
                return true;
        }
    }
    if (!includeOtherFiles)
        return false;
    return uuid.isEmpty() || !allContainers.contains(uuid);
}

void FakeBackup2ToolHook::readAppuids(QString udid)
{
    idevice_t rawDevice = nullptr;
    if (idevice_new_with_options(&rawDevice, udid.toUtf8().constData(), IDEVICE_LOOKUP_USBMUX) !=
        IDEVICE_E_SUCCESS)
        return;
    const SharedIDevice device = adoptIDevice(rawDevice);
    std::unique_ptr<InstallationProxyClient> client;
    if (InstallationProxyClient::startService(device, iDevice::clientLabel, client) != INSTPROXY_E_SUCCESS)
        return;

    const UniquePlist options(instproxy_client_options_new());
    instproxy_client_options_add(options.get(), "ApplicationType", "User", nullptr);
    instproxy_client_options_set_return_attributes(options.get(), "CFBundleIdentifier", "Container",
                                                   "GroupContainers", nullptr);
    // Only an answer that passed the input check reaches the getters below.
    UniquePlist result;
    if (client->browse(options.get(), result) != INSTPROXY_E_SUCCESS)
        return;
    const PlistCFType apps(result.release(), true);
    for (int i = 0; i < apps.array_size(); ++i) {
        const PlistCFType app = apps.at(i);
        const QString bundleId = app.get(QStringLiteral("CFBundleIdentifier")).CFStringQString();
        QSet<QString> containers;
        const QString own = containerUuid(app.get(QStringLiteral("Container")).CFStringQString());
        if (!own.isEmpty())
            containers.insert(own);
        app.get(QStringLiteral("GroupContainers"))
            .dict_for_each([&](const QString &, const PlistCFType &value) {
                const QString group = containerUuid(value.CFStringQString());
                if (!group.isEmpty())
                    containers.insert(group);
            });
        allContainers.unite(containers);
        appContainers.insert(bundleId, containers);
    }
}

void FakeBackup2ToolHook::recvFileBegin(QDir root, QString udid, const BackupPath &fname, QString dname)
{
    openTableThrow(root, udid);
    m_announcedName = fname.relative();
    m_announcedDevicePath = dname;
    db.insert(fname.fileName(), dname, isFileIncluded(fname.relative(), dname), QDateTime::currentDateTime());
}

int FakeBackup2ToolHook::recvFileOpenWrite(const BackupPath &fname, QFile &file, QString &error)
{
    // Decided on the path the transfer announced, not on the row just written: a failed table
    // write must not turn a chosen file into a dropped one.
    const QString devicePath = fname.relative() == m_announcedName ? m_announcedDevicePath : QString();
    if (!isFileIncluded(fname.relative(), devicePath))
        return 0;
    return Backup2ToolHook::recvFileOpenWrite(fname, file, error);
}

void FakeBackup2ToolHook::recvFileEnd(const BackupPath &fname, unsigned long long size)
{
    db.update(fname.fileName(), QDateTime::currentDateTime(), static_cast<long long>(size));
}

QList<Backup2ToolHook::DirItem> FakeBackup2ToolHook::dirContents(const BackupPath &path)
{
    QString name = path.fileName();
    if (name.compare(QLatin1String("Snapshot"), Qt::CaseInsensitive) == 0)
        return Backup2ToolHook::dirContents(path);
    if (name.size() > 2)
        name.clear();
    const QList<DirItem> rows = db.items(name);
    if (name.isEmpty())
        return rows;

    QList<DirItem> result;
    for (const DirItem &row : rows) {
        const QString relative = path.relative() + QLatin1Char('/') + row.name;
        if (!isFileIncluded(relative, QString())) {
            result.append(row);
            continue;
        }
        const QFileInfo onDisk(path.absolute() + QLatin1Char('/') + row.name);
        if (!onDisk.isFile())
            continue; // kept, yet gone from the disk: the phone is told it is missing
        DirItem item;
        item.name = onDisk.fileName();
        item.type = 1;
        item.size = onDisk.size();
        item.lastModified = onDisk.lastModified();
        result.append(item);
    }
    return result;
}

int FakeBackup2ToolHook::removeFile(const BackupPath &path, QString &error)
{
    if (!path.relative().contains(QLatin1String("snapshot"), Qt::CaseInsensitive)) {
        const QString name = path.fileName();
        if (name.size() >= 3)
            db.remove(name);
    }
    return Backup2ToolHook::removeFile(path, error);
}

int FakeBackup2ToolHook::copyFile(const BackupPath &, const BackupPath &, QString &)
{
    return 0;
}

int FakeBackup2ToolHook::mkdir(const BackupPath &, QString &)
{
    return 0;
}
