#include "BackupManifest.h"

#include "Logging.h"
#include "QOpenSSLEVPAES.h"
#include "ios/PlistCFType.h"
#include "model/DataFolder.h"
#include "model/MessageText.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <openssl/evp.h>

#include <utime.h>

#include <stdexcept>

namespace {

std::runtime_error errorOf(const QString &text)
{
    return std::runtime_error(text.toUtf8().toStdString());
}

// The display name: the folder name with the device identifier replaced by the device name; a
// folder not named after the identifier, or a summary without one, shows the device name before
// the folder name (an empty identifier would otherwise match between every two characters).
QString composeDisplayName(const QString &folderName, const QString &udid, const QString &deviceName)
{
    if (!udid.isEmpty() && folderName.contains(udid, Qt::CaseSensitive))
        return QString(folderName).replace(udid, deviceName, Qt::CaseSensitive);
    if (udid.isEmpty() && deviceName.isEmpty())
        return folderName;
    return deviceName + QLatin1Char('-') + folderName;
}

} // namespace

std::function<QString(const QString &path)> BackupManifest::helpPageUrl = [](const QString &path) {
    return path;
};

BackupManifest::_FileNode::_FileNode(_FileNode *parent, MBDBParser::_MBDBItem item, QString name)
    : name(std::move(name))
    , item(std::move(item))
    , parent(parent)
{}

BackupManifest::_FileNode::~_FileNode()
{
    qDeleteAll(children);
    children.clear();
}

BackupManifest::BackupManifest(QString dir, QObject *parent)
    : QObject(parent)
    , backupDir(dir)
    , rootNode(nullptr, MBDBParser::_MBDBItem(), QString())
{}

BackupManifest::~BackupManifest() = default;

QList<QDir> BackupManifest::iTunesBackupDirs()
{
    return {QDir(g_osAppDir().absoluteFilePath(QStringLiteral("MobileSync/Backup")))};
}

void BackupManifest::readManifestInfo()
{
    const QString manifestPath = backupDir.absoluteFilePath(QStringLiteral("Manifest.plist"));
    if (!QFile::exists(manifestPath)) {
        const QString link = QStringLiteral("<a href=\"%1\">HERE</a>.")
                                 .arg(helpPageUrl(QStringLiteral(
                                     "/tutorial/access-iphone-backups-on-mac-os-mojave.html")));
        throw errorOf(MessageText::rich(MessageText::escaped(QStringLiteral("Cannot find ") + manifestPath)
                                        + tr("<br/>If you are using MacOS 10.14 or above,  please click ")
                                        + link));
    }
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly))
        throw errorOf(file.errorString());
    const PlistCFType plist = PlistCFType::createCFPropertyList(file.readAll());
    const PlistCFType lockdown = plist.get(QStringLiteral("Lockdown"));

    _InfoPlist info;
    info.UniqueDeviceID = lockdown.get(QStringLiteral("UniqueDeviceID")).CFStringQString();
    info.DeviceName = lockdown.get(QStringLiteral("DeviceName")).CFStringQString();
    const QDateTime date = plist.get(QStringLiteral("Date")).CFDateToDateTime(static_cast<const __CFTimeZone *>(nullptr));
    info.Date = date.isValid() ? date.toLocalTime() : QDateTime();
    info.ProductType = lockdown.get(QStringLiteral("ProductType")).CFStringQString();
    info.ProductVersion = lockdown.get(QStringLiteral("ProductVersion")).CFStringQString();
    info.SerialNumber = lockdown.get(QStringLiteral("SerialNumber")).CFStringQString();
    info.IsEncrypted = plist.get(QStringLiteral("IsEncrypted")).CFNumberBool(false);
    info.BackupKeyBag = plist.get(QStringLiteral("BackupKeyBag")).CFDataBytes();
    info.ManifestKey = plist.get(QStringLiteral("ManifestKey")).CFDataBytes();

    const QFileInfo status(backupDir.absoluteFilePath(QStringLiteral("Status.plist")));
    if (status.isFile())
        info.Date = status.lastModified();

    displayName = composeDisplayName(backupDir.dirName(), info.UniqueDeviceID, info.DeviceName);
    infoPlist = info;
}

QString BackupManifest::dirPathMd5() const
{
    return QString::fromLatin1(
        QCryptographicHash::hash(backupDir.absolutePath().toUtf8(), QCryptographicHash::Md5).toHex());
}

void BackupManifest::copyFile(const _FileNode *node, QString destPath, void *ctx, CopyProgress progress) const
{
    if (!node)
        return;
    copyItemThrow(node->item, destPath, ctx, progress);
}

void BackupManifest::copyItemThrow(const MBDBParser::_MBDBItem &item, QString destPath, void *ctx,
                                   CopyProgress progress) const
{
    const QString srcPath = MBDBParser::getBKFilePath(backupDir, item.backupFileName(), false);
    if (infoPlist.IsEncrypted) {
        const QByteArray wrapped = item.encryptionKey.val.mid(4);
        const QByteArray key = unwrapKeyForClass(keybag, int(item.protectionClass), wrapped);
        if (!key.isEmpty()) {
            decryptFileThrow(key, srcPath, destPath);
            setTimes(destPath, item.lastModified);
            return;
        }
        // Copying the stored bytes of an encrypted file would hand ciphertext on as the file.
        if (!wrapped.isEmpty())
            throw errorOf(tr("can not decrypt %1. Its key does not unwrap with the backup's keys.").arg(srcPath));
    }

    QFile src(srcPath);
    if (!src.open(QIODevice::ReadOnly))
        throw errorOf(tr("can not open %1. %2").arg(srcPath, src.errorString()));
    const QFileInfo destInfo(destPath);
    if (!destInfo.dir().exists())
        QDir().mkpath(destInfo.dir().absolutePath());
    QFile dst(destPath);
    if (!dst.open(QIODevice::WriteOnly))
        throw errorOf(tr("can not create %1. %2").arg(destPath, dst.errorString()));
    try {
        copyStreamThrow(src, dst, QFileInfo(srcPath).size(), srcPath, destPath, ctx, progress);
        if (!dst.flush())
            throw errorOf(tr("can not write %1. %2").arg(destPath, dst.errorString()));
        dst.close();
        if (dst.error() != QFileDevice::NoError)
            throw errorOf(tr("can not write %1. %2").arg(destPath, dst.errorString()));
    } catch (...) {
        // A truncated copy must not pass for the file.
        dst.close();
        QFile::remove(destPath);
        throw;
    }
    src.close();
    setTimes(destPath, item.lastModified);
}

void BackupManifest::setTimes(const QString &path, qint32 lastModified)
{
    struct utimbuf times;
    times.actime = time_t(lastModified);
    times.modtime = time_t(lastModified);
    if (::utime(QFile::encodeName(path).constData(), &times) != 0)
        qCWarning(lcITunesBackup) << "cannot set the times of" << path;
}

bool BackupManifest::setPasscodeNoUIThrow(QString code, const UnlockProgress &progress)
{
    // A Cancel may come at any step, also after the key derivation: each later step asks again,
    // and a stopped check keeps nothing of what it found.
    const auto goOn = [&progress] { return !progress || progress(100); };

    _KeybagInfo unlocked = parseKeybag(infoPlist.BackupKeyBag);
    if (!unlockWithPasscode(code.toUtf8(), unlocked, progress)) {
        keybag = unlocked;
        return false;
    }
    if (!goOn())
        return false;
    if (!unlocked.attrs.contains(QStringLiteral("DPIC")) ||
        !unlocked.attrs.contains(QStringLiteral("DPSL"))) {
        keybag = unlocked;
        passcode = code;
        return true;
    }

    // The plain manifest database never goes into the backup folder: a read-only backup could not
    // be unlocked, and the plaintext of what the user encrypted would stay there.
    if (!m_privateDir) {
        auto dir = std::make_unique<QTemporaryDir>(
            QDir(QDir::tempPath()).absoluteFilePath(QStringLiteral("tarnwick-manifest-XXXXXX")));
        if (!dir->isValid())
            throw errorOf(tr("can not create %1. %2").arg(dir->path(), dir->errorString()));
        m_privateDir = std::move(dir);
    }
    const QString decryptedPath = m_privateDir->filePath(QStringLiteral("Manifest-decrypted.db"));
    const QByteArray wrapped = infoPlist.ManifestKey.mid(4);
    QByteArray key;
    for (auto it = unlocked.classKeys.cbegin(); it != unlocked.classKeys.cend() && key.isEmpty(); ++it) {
        key = unwrapKeyForClass(unlocked, it.key(), wrapped);
        if (!goOn())
            return false;
    }
    if (!key.isEmpty()) {
        decryptFileThrow(key, backupDir.absoluteFilePath(QStringLiteral("Manifest.db")), decryptedPath);
        if (!goOn()) {
            QFile::remove(decryptedPath);
            return false;
        }
    }
    keybag = unlocked;
    passcode = code;
    decryptedManifestPath = decryptedPath;
    manifestKey = key;
    return true;
}

const QByteArray &BackupManifest::wholeFileIv()
{
    static const QByteArray iv(16, '\0');
    return iv;
}

void BackupManifest::decryptFileThrow(const QByteArray &key, const QString &srcPath, const QString &dstPath) const
{
    QFile src(srcPath);
    if (!src.open(QIODevice::ReadOnly))
        throw errorOf(tr("can not open %1. %2").arg(srcPath, src.errorString()));
    const QFileInfo dstInfo(dstPath);
    if (!dstInfo.dir().exists())
        QDir().mkpath(dstInfo.dir().absolutePath());
    QFile dst(dstPath);
    if (!dst.open(QIODevice::WriteOnly))
        throw errorOf(tr("can not create %1. %2").arg(dstPath, dst.errorString()));
    QOpenSSLEVPAES aes;
    const bool ok = aes.init(EVP_aes_256_cbc(), key, wholeFileIv(), false) &&
                    aes.updateAll(&src, &dst, wholeFileBlock) >= 0 &&
                    aes.finalAll(&dst, wholeFileBlock) >= 0 && dst.flush();
    dst.close();
    if (!ok || dst.error() != QFileDevice::NoError) {
        QFile::remove(dstPath);
        throw errorOf(QStringLiteral("BackupManifest::decryptFile: decrypt failed. %1")
                          .arg(aes.lastError.isEmpty() ? dst.errorString() : aes.lastError));
    }
}

void BackupManifest::copyStreamThrow(QIODevice &src, QIODevice &dst, qint64 total, const QString &srcName,
                                const QString &dstName,
                                     void *ctx, CopyProgress progress)
{
    constexpr qint64 blockSize = 8192;
    char buffer[blockSize];
    qint64 done = 0;
    while (!src.atEnd()) {
        const qint64 n = src.read(buffer, blockSize);
        if (n < 0)
            throw errorOf(tr("can not read %1. %2").arg(srcName, src.errorString()));
        if (n == 0)
            break; // nothing more comes, though the device did not say it ended
        if (dst.write(buffer, n) != n)
            throw errorOf(tr("can not write %1. %2").arg(dstName, dst.errorString()));
        done += n;
        if (progress)
            progress(total, done, ctx);
    }
}
