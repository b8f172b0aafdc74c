#pragma once

#include "Keybag.h"
#include "KeybagInfo.h"
#include "MBDBParser.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class QIODevice;
class QTemporaryDir;

// One iTunes backup folder: its summary ("Manifest.plist", "Status.plist"), its manifest records and
// the tree of its backed-up files, and the copying of a backed-up file out of it. Created and read
// on the GUI thread; a worker only reads it while the GUI thread waits for that worker.
class BackupManifest : public QObject
{
    Q_OBJECT
public:
    // The values of "Manifest.plist".
    struct _InfoPlist
    {
        QString UniqueDeviceID;
        QString DeviceName;
        QDateTime Date;
        QString ProductType;
        QString ProductVersion;
        QString SerialNumber;
        bool IsEncrypted = false;
        QByteArray BackupKeyBag;
        QByteArray ManifestKey;
    };

    // One node of the file tree; owns its children.
    class _FileNode
    {
    public:
        _FileNode(_FileNode *parent, MBDBParser::_MBDBItem item, QString name);
        ~_FileNode();
        _FileNode(const _FileNode &) = delete;
        _FileNode &operator=(const _FileNode &) = delete;

        QString name;
        MBDBParser::_MBDBItem item;
        _FileNode *parent;
        QList<_FileNode *> children;
    };

    // Progress of a file copy: total bytes, bytes done, the caller's context.
    using CopyProgress = void (*)(long long total, long long done, void *ctx);

    explicit BackupManifest(QString dir, QObject *parent = nullptr);
    ~BackupManifest() override;

    // "MobileSync/Backup" in the user's application data folder; neither made nor tested.
    static QList<QDir> iTunesBackupDirs();
    // Where the "HERE" link of a missing-summary message leads, from a path on the product's site.
    // The shell points it at the product's site; by default the path itself is the link.
    static std::function<QString(const QString &path)> helpPageUrl;

    // Fills infoPlist and displayName. Throws std::runtime_error; a throw changes nothing.
    void readManifestInfo();
    // Reads the manifest and builds the file tree, its well-known files and indexes, once.
    // Throws what the manifest reader throws, before anything is changed.
    void parseInfo();
    // Lower-case hex MD5 of the folder's absolute path.
    QString dirPathMd5() const;

    // Checks a password against the keybag on the calling thread: true when it unlocks it. For a
    // backup whose manifest database is encrypted, the plain copy is written into a private
    // temporary folder (never into the backup folder) that goes with this object. `progress` sees
    // the key derivation and is asked again (with 100) after each later step; false from it at any
    // step stops the check, which then returns false and keeps nothing. A failed or stopped check
    // leaves passcode, manifestKey and decryptedManifestPath as they were. Throws
    // std::runtime_error from the decryption.
    bool setPasscodeNoUIThrow(QString passcode, const UnlockProgress &progress = UnlockProgress());
    // Decrypts the whole file src (AES-256-CBC, zero IV, PKCS#7) into dst with a 32-byte key; a
    // failure removes what was written of dst and throws std::runtime_error.
    void decryptFileThrow(const QByteArray &key, const QString &src, const QString &dst) const;

    // Copies a backed-up file to destPath, decrypted when the backup is encrypted; nothing for a null
    // node. A file whose wrapped key does not unwrap is refused, never handed on as ciphertext.
    // Throws std::runtime_error.
    void copyFile(const _FileNode *node, QString destPath, void *ctx, CopyProgress progress) const;
    void copyItemThrow(const MBDBParser::_MBDBItem &item, QString destPath, void *ctx,
                       CopyProgress progress) const;
    // Streams src to dst in blocks of 8192 bytes, reporting each block. A failed read, a short or
    // failed write throws std::runtime_error naming the device's file; a source that ends early is not an error.
    static void copyStreamThrow(QIODevice &src, QIODevice &dst, qint64 total, const QString &srcName,
                                const QString &dstName,
                                void *ctx, CopyProgress progress);

    // Writes to `path` a copy of the manifest database holding only the rows whose content is in the
    // backup folder and which are one of four fixed files, of a
    // domain in keepDomains, or (with keepSystem) of any domain but a third-party app's. Encrypted
    // with manifestKey when the backup's manifest database is. No plain work file stays behind,
    // whether it succeeds or throws std::runtime_error (or the database layer's exception).
    void saveManifestDbAsThrow(bool keepSystem, QSet<QString> keepDomains, QString path);
    // Encrypts src into dst (AES-256-CBC, zero IV, PKCS#7) with a 32-byte key; with an empty key
    // copies it, refusing to replace an existing dst. dst replaces what was there only once
    // complete. Throws std::runtime_error.
    static void encryptFileThrow(const QString &src, const QString &dst, const QByteArray &key);
    // Finds one record of class 3 and one of class 4 whose file keys unwrap with the unlocked
    // keybag; a record passed in with a key is kept. Throws std::runtime_error when the manifest
    // runs out first (what was found stays filled).
    void firstEncryptedItem(MBDBParser::ProtectionClsKeyInfo &class3, MBDBParser::ProtectionClsKeyInfo &class4);

    _InfoPlist infoPlist;
    QString displayName;
    QString decryptedManifestPath;
    QByteArray manifestKey;
    QDir backupDir;
    _FileNode rootNode;
    QString passcode;
    _KeybagInfo keybag;
    QList<const _FileNode *> cameraRollPhotos;
    QList<const _FileNode *> cameraRollVideos;
    QMap<QString, const _FileNode *> cameraRollThumbnails;
    QMap<QString, const _FileNode *> smsPartsByName;
    QMap<QString, const _FileNode *> smsAttachmentsByKey;
    QMap<QString, const _FileNode *> smsFilesByDevicePath;
    const _FileNode *smsDbNode = nullptr;
    const _FileNode *addressBookNode = nullptr;
    const _FileNode *addressBookImagesNode = nullptr;
    const _FileNode *notesNode = nullptr;
    const _FileNode *calendarNode = nullptr;
    const _FileNode *calendarExtrasNode = nullptr;
    const _FileNode *recordingsDbNode = nullptr;
    const _FileNode *voicemailDbNode = nullptr;
    const _FileNode *bookmarksNode = nullptr;
    const _FileNode *callHistoryNode = nullptr;
    const _FileNode *callHistoryStoreNode = nullptr;
    QMap<QString, const _FileNode *> recordingsByName;
    QMap<int, const _FileNode *> voicemailsById;
    MBDBParser::MBDBItemMap mbdbItems;

private:
    void classifyNode(const _FileNode *node);
    static void setTimes(const QString &path, qint32 lastModified);
    // The initialisation vector of every whole backed-up file, in both directions: 16 zero bytes.
    static const QByteArray &wholeFileIv();
    // Whole files pass through the cipher in pieces of this size: large enough that the copy runs
    // near the speed of the cipher itself, small enough that memory does not grow with the file.
    static constexpr int wholeFileBlock = 65536;

    // Holds the decrypted manifest database; made on the first unlock that needs it.
    std::unique_ptr<QTemporaryDir> m_privateDir;
};
