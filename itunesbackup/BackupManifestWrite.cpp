// Preparing a backup for writing: the filtered copy of "Manifest.db", whole-file encryption, and
// the file keys new records can carry.
#include "BackupManifest.h"
#include "FlushedWhole.h"

#include "Logging.h"
#include "QOpenSSLEVPAES.h"
#include "ReadOnlyBackupDb.h"
#include "WorkFile.h"
#include "platform/sqlite/Sqlite3DB.h"

#include <QFile>
#include <QSaveFile>

#include <openssl/evp.h>
#include <sqlite3.h>

#include <stdexcept>

namespace {

std::runtime_error errorOf(const QString &text)
{
    return std::runtime_error(text.toUtf8().toStdString());
}

struct sqlite3fun_fvalid_ctx
{
    QDir backupDir;
    bool keepSystem = false;
    QSet<QString> keepDomains;
};

// A file identifier names a file inside the backup folder only as 40 hexadecimal digits; anything
// else ("../..", an absolute path) must never make the filter look elsewhere.
bool isBackupFileName(const QString &fileId)
{
    if (fileId.size() != 40)
        return false;
    for (const QChar c : fileId) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

bool isThirdPartyAppDomain(const QString &domain)
{
    return domain.startsWith(QLatin1String("AppDomain"), Qt::CaseInsensitive) &&
           !domain.contains(QLatin1String("com.apple."), Qt::CaseInsensitive);
}

inline bool sqlite3fun_fvalid_check(const sqlite3fun_fvalid_ctx *ctx, const QString &fileid,
                                    const QString &domain, int flags)
{
    static const QSet<QString> keepItemsSet = {
        QStringLiteral("70765829101933f25994c71bbee6dfd685535bff"),
        QStringLiteral("c159d5c126017800b79c85665222fbe894c3dd77"),
        QStringLiteral("5f5e43af7970eafdc1329b189f273793e709c809"),
        QStringLiteral("80fa782261261e54bb73c0253e5b6beefb6a2f39"),
    };
    bool present = false;
    if (isBackupFileName(fileid)) {
        if (flags == 2)
            present = true;
        else if (flags == 1)
            present =
                QFile::exists(ctx->backupDir.absoluteFilePath(fileid.left(2) + QLatin1Char('/') + fileid));
    }
    if (!present)
        return false;
    if (keepItemsSet.contains(fileid.toLower()) || ctx->keepDomains.contains(domain))
        return true;
    return ctx->keepSystem && !isThirdPartyAppDomain(domain);
}

void sqlite3fun_fvalid(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    const auto *ctx = static_cast<const sqlite3fun_fvalid_ctx *>(sqlite3_user_data(context));
    const unsigned char *fileid = argc == 3 ? sqlite3_value_text(argv[0]) : nullptr;
    const unsigned char *domain = argc == 3 ? sqlite3_value_text(argv[1]) : nullptr;
    if (argc != 3 || !ctx || !fileid || !domain || qstrlen(reinterpret_cast<const char *>(fileid)) < 3) {
        sqlite3_result_int(context, 1);
        return;
    }
    const bool keep = sqlite3fun_fvalid_check(ctx, QString::fromUtf8(reinterpret_cast<const char *>(fileid)),
                                              QString::fromUtf8(reinterpret_cast<const char *>(domain)),
                                              sqlite3_value_int(argv[2]));
    sqlite3_result_int(context, keep ? 1 : 0);
}

void removeIfPresent(const QString &path)
{
    QFile file(path);
    if (file.exists() && !file.remove())
        throw errorOf(BackupManifest::tr("can not remove %1. %2").arg(path, file.errorString()));
}

void renameThrow(const QString &from, const QString &to)
{
    QFile file(from);
    if (!file.rename(to))
        throw errorOf(BackupManifest::tr("can not rename %1 to %2. %3").arg(from, to, file.errorString()));
}

} // namespace

void BackupManifest::saveManifestDbAsThrow(bool keepSystem, QSet<QString> keepDomains, QString path)
{
    const QString source = manifestKey.isEmpty() ? backupDir.absoluteFilePath(QStringLiteral("Manifest.db"))
                                                 : decryptedManifestPath;

    // Each step is checked: a work file, result or plain copy left from an earlier call must never
    // pass for this call's result.
    const WorkFile work(path + QStringLiteral(".tmp"));
    // SQLite takes these up when it opens the work file; whatever is left of them goes with it.
    const WorkFile workWal(work.path() + QStringLiteral("-wal"));
    const WorkFile workJournal(work.path() + QStringLiteral("-journal"));
    const WorkFile workShm(work.path() + QStringLiteral("-shm"));
    for (const QString &stale : {work.path(), workWal.path(), workJournal.path(), workShm.path()})
        removeIfPresent(stale);
    QFile sourceFile(source);
    if (!sourceFile.copy(work.path()))
        throw errorOf(tr("can not write %1. %2").arg(work.path(), sourceFile.errorString()));
    // A manifest copied while it was in use keeps rows in the journal beside it: the copy keeps them.
    ReadOnlyBackupDb::copyJournalsThrow(source, work.path());

    {
        Sqlite3DB db;
        db.openThrow(work.path(), Sqlite3DB::ReadWrite);
        sqlite3fun_fvalid_ctx ctx{backupDir, keepSystem, keepDomains};
        const int rc = sqlite3_create_function_v2(db.handle(), "fvalid", 3, SQLITE_ANY, &ctx,
                                                  sqlite3fun_fvalid, nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw errorOf(QStringLiteral("BackupManifest::saveManifestDbAsThrow, %1")
                              .arg(QString::fromUtf8(sqlite3_errmsg(db.handle()))));
        db.executeThrow(Sqlite3Sql("delete from files where not fvalid(fileid, domain, flags)"));
        db.executeThrow(Sqlite3Sql("vacuum"));
        db.close();
    }

    if (manifestKey.isEmpty()) {
        removeIfPresent(path);
        renameThrow(work.path(), path);
        return;
    }
    // The plain copy never takes the result's name: the encryption replaces `path` only once complete.
    const WorkFile plain(path + QStringLiteral("-decrypt"));
    removeIfPresent(plain.path());
    renameThrow(work.path(), plain.path());
    encryptFileThrow(plain.path(), path, manifestKey);
    removeIfPresent(plain.path());
}

void BackupManifest::encryptFileThrow(const QString &src, const QString &dst, const QByteArray &key)
{
    if (key.isEmpty()) {
        QFile source(src);
        if (!source.copy(dst))
            throw errorOf(tr("can not write %1. %2").arg(dst, source.errorString()));
        return;
    }
    if (key.size() != 32)
        throw errorOf(
            QStringLiteral("BackupManifest::encryptFileThrow: encrypt failed. The key holds %1 bytes, "
                           "not 32.")
                .arg(key.size()));
    QFile in(src);
    if (!in.open(QIODevice::ReadOnly))
        throw errorOf(tr("can not open %1. %2").arg(src, in.errorString()));
    // Written beside dst and moved over it only when complete: dst may be the backup's own manifest.
    QSaveFile out(dst);
    if (!out.open(QIODevice::WriteOnly))
        throw errorOf(tr("can not create %1. %2").arg(dst, out.errorString()));
    QOpenSSLEVPAES aes;
    if (!aes.init(EVP_aes_256_cbc(), key, wholeFileIv(), true) ||
        aes.updateAll(&in, &out, wholeFileBlock) < 0 || aes.finalAll(&out, wholeFileBlock) < 0)
        throw errorOf(
            QStringLiteral("BackupManifest::encryptFileThrow: encrypt failed. %1").arg(aes.lastError));
    if (!flushedWhole(out) || !out.commit())
        throw errorOf(tr("can not write %1. %2").arg(dst, out.errorString()));
}

void BackupManifest::firstEncryptedItem(MBDBParser::ProtectionClsKeyInfo &class3,
                                        MBDBParser::ProtectionClsKeyInfo &class4)
{
    const MBDBParser::MBDBItemMap map = MBDBParser::parse(*this);
    for (const MBDBParser::_MBDBItem &record : map.items) {
        if (record.isFolder())
            continue;
        const int protectionClass = int(record.protectionClass);
        MBDBParser::ProtectionClsKeyInfo *target = protectionClass == 4   ? &class4
                                                   : protectionClass == 3 ? &class3
                                                                          : nullptr;
        if (!target || !target->key.isEmpty())
            continue;
        const QByteArray key = unwrapKeyForClass(keybag, protectionClass, record.encryptionKey.val.mid(4));
        if (key.isEmpty())
            continue;
        target->protectionClass = protectionClass;
        target->wrappedKey = record.encryptionKey;
        target->key = key;
        const MBDBParser::ProtectionClsKeyInfo &other = target == &class4 ? class3 : class4;
        if (!other.key.isEmpty())
            return;
    }
    throw errorOf(QStringLiteral("BackupManifest::firstEncryptedItem, no valid keys"));
}
