// The file tree of a backup, its well-known files and its indexes, built from the manifest records.
#include "BackupManifest.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>

namespace {

// Domains whose relative paths are laid out together at the top of the tree.
const QString kMergedDomains = QStringLiteral(
    "=Domain=MediaDomain=RootDomain=HomeDomain=SystemPreferencesDomain=MobileDeviceDomain=WirelessDomain="
    "DatabaseDomain=CameraRollDomain=HealthDomain=KeychainDomain=KeyboardDomain=ManagedPreferencesDomain=");

const QRegularExpression &appDomainPattern()
{
    static const QRegularExpression re(QStringLiteral("^AppDomain([^-]*)-(.+)"));
    return re;
}

QRegularExpression caseless(const char *pattern)
{
    return QRegularExpression(QString::fromLatin1(pattern), QRegularExpression::CaseInsensitiveOption);
}

bool equalsCaseless(const QString &a, const char *b)
{
    return a.compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

} // namespace

void BackupManifest::parseInfo()
{
    if (!rootNode.children.isEmpty())
        return;
    MBDBParser::MBDBItemMap map = MBDBParser::parse(*this);

    QList<MBDBParser::_MBDBItem> sorted = map.items.values();
    std::sort(sorted.begin(), sorted.end(), compareMBDBItemLess);

    QMap<QString, _FileNode *> byPath;
    auto ensureGroup = [&](const QString &groupName) {
        if (byPath.contains(groupName))
            return;
        MBDBParser::_MBDBItem folder;
        folder.mode = 0x4000;
        auto *node = new _FileNode(&rootNode, folder, groupName);
        rootNode.children.append(node);
        byPath.insert(groupName, node);
    };

    for (const MBDBParser::_MBDBItem &item : std::as_const(sorted)) {
        const QString domain = item.domain.toString();
        const QString path = item.path.toString();
        QString nodePath;
        const QRegularExpressionMatch app = appDomainPattern().match(domain);
        if (app.hasMatch()) {
            const QString infix = app.captured(1);
            const QString group = infix.isEmpty() ? QStringLiteral("Applications")
                                                  : QStringLiteral("AppDomain") + infix;
            ensureGroup(group);
            nodePath = group + QLatin1Char('/') + app.captured(2);
            if (!path.isEmpty())
                nodePath += QLatin1Char('/') + path;
        } else if (kMergedDomains.contains(QLatin1Char('=') + domain + QLatin1Char('='))) {
            nodePath = path;
        } else {
            ensureGroup(domain);
            nodePath = domain + QLatin1Char('/') + path;
        }

        const int slash = nodePath.lastIndexOf(QLatin1Char('/'));
        const QString name = slash < 0 ? nodePath : nodePath.mid(slash + 1);
        const QString parentPath = slash < 0 ? QString() : nodePath.left(slash);
        if (name.isEmpty() || byPath.contains(nodePath))
            continue;
        _FileNode *parent = byPath.value(parentPath, &rootNode);
        auto *node = new _FileNode(parent, item, name);
        parent->children.append(node);
        byPath.insert(nodePath, node);
        classifyNode(node);
    }
    mbdbItems = std::move(map);
}

void BackupManifest::classifyNode(const _FileNode *node)
{
    const QString domain = node->item.domain.toString();
    const QString path = node->item.path.toString();

    if (equalsCaseless(domain, "CameraRollDomain")) {
        static const QRegularExpression media = caseless("^Media/DCIM/\\d+APPLE/[^/\\.]+(\\.[^/\\.]+)");
        static const QRegularExpression meta =
            caseless("^Media/PhotoData/MetaData/DCIM/\\d+APPLE/([^/\\.]+)(\\.[^/\\.]+)");
        static const QRegularExpression thumb = caseless("^Media/DCIM/\\.THMB/[^/]+/\\d+APPLE___([^/\\.]+)(\\.[^/\\.]+)");
        QRegularExpressionMatch m = media.match(path);
        if (m.hasMatch()) {
            const QString ext = m.captured(1).toLower();
            if (ext == QLatin1String(".mov"))
                cameraRollVideos.append(node);
            else if (ext == QLatin1String(".jpg") || ext == QLatin1String(".png"))
                cameraRollPhotos.append(node);
            return;
        }
        m = meta.match(path);
        if (m.hasMatch()) {
            if (m.captured(2).toLower() == QLatin1String(".thm"))
                cameraRollThumbnails[m.captured(1)] = node;
            return;
        }
        m = thumb.match(path);
        if (m.hasMatch()) {
            const QString ext = m.captured(2).toLower();
            if (ext == QLatin1String(".jpg") || ext == QLatin1String(".png"))
                cameraRollThumbnails[m.captured(1)] = node;
        }
        return;
    }

    if (equalsCaseless(domain, "HomeDomain")) {
        const struct
        {
            const _FileNode **slot;
            const char *path;
        } wellKnown[] = {
            {&smsDbNode, "Library/SMS/sms.db"},
            {&addressBookNode, "Library/AddressBook/AddressBook.sqlitedb"},
            {&addressBookImagesNode, "Library/AddressBook/AddressBookImages.sqlitedb"},
            {&notesNode, "Library/Notes/notes.sqlite"},
            {&calendarNode, "Library/Calendar/Calendar.sqlitedb"},
            {&calendarExtrasNode, "Library/Calendar/Extras.db"},
            {&voicemailDbNode, "Library/Voicemail/voicemail.db"},
            {&bookmarksNode, "Library/Safari/Bookmarks.db"},
            {&callHistoryStoreNode, "Library/CallHistoryDB/CallHistory.storedata"},
        };
        for (const auto &s : wellKnown) {
            if (!*s.slot && equalsCaseless(path, s.path)) {
                *s.slot = node;
                return;
            }
        }
        static const QRegularExpression voicemail = caseless("^Library/Voicemail/(\\d+)\\.amr$");
        const QRegularExpressionMatch m = voicemail.match(path);
        if (m.hasMatch()) {
            bool ok = false;
            const int id = m.captured(1).toInt(&ok);
            voicemailsById[ok ? id : 0] = node;
        }
        return;
    }

    if (equalsCaseless(domain, "MediaDomain")) {
        if (!recordingsDbNode && equalsCaseless(path, "Media/Recordings/Recordings.db")) {
            recordingsDbNode = node;
            return;
        }
        if (path.startsWith(QLatin1String("Library/SMS/"), Qt::CaseInsensitive)) {
            if (node->item.isFolder())
                return;
            const QString devicePrefix = QStringLiteral("/var/mobile/");
            const int p = path.lastIndexOf(QLatin1String("-preview"), -1, Qt::CaseSensitive);
            if (p > 0) {
                smsFilesByDevicePath[devicePrefix + path.left(p) + QLatin1String("-preview")] = node;
                const QString fileName = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
                if (fileName.contains(QLatin1String("-preview-left"), Qt::CaseInsensitive))
                    smsFilesByDevicePath[devicePrefix + path.left(p) + QLatin1String("-preview-left")] = node;
            } else {
                const int d = path.lastIndexOf(QLatin1Char('.'));
                smsFilesByDevicePath[devicePrefix + (d > 0 ? path.left(d) : path)] = node;
            }
            static const QRegularExpression parts = caseless("^Library/SMS/Parts/[^/]+/[^/]+/([^/]+)$");
            static const QRegularExpression attachments = caseless("^Library/SMS/Attachments/([^/]+)/([^/]+)$");
            QRegularExpressionMatch m = parts.match(path);
            if (m.hasMatch()) {
                smsPartsByName[QFileInfo(m.captured(1)).baseName()] = node;
                return;
            }
            m = attachments.match(path);
            if (m.hasMatch())
                smsAttachmentsByKey[m.captured(1) + QLatin1Char('/') + QFileInfo(m.captured(2)).baseName()] = node;
            return;
        }
        static const QRegularExpression recording = caseless("^Media/Recordings/([^/.]+\\.m4a)$");
        const QRegularExpressionMatch m = recording.match(path);
        if (m.hasMatch() && !node->item.isFolder())
            recordingsByName[m.captured(1)] = node;
        return;
    }

    if (equalsCaseless(domain, "WirelessDomain")) {
        if (!callHistoryNode && equalsCaseless(path, "Library/CallHistory/call_history.db"))
            callHistoryNode = node;
    }
}
