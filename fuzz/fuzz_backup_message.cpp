// A device-link message from the phone's backup service: the property list is parsed, its progress
// items read as the session reads them, and every path it names goes through the containment check
// and, when inside, the hook's listing under a scratch backup root.
#include "devicebackup/Backup2ToolHook.h"
#include "devicebackup/BackupPathCheck.h"
#include "ios/PlistCFType.h"

#include <QByteArray>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>

namespace {

void checkPath(const QDir &root, const PlistCFType &node)
{
    const QString path = node.CFStringQString();
    if (path.isEmpty())
        return;
    const std::optional<BackupPath> place = BackupPathCheck(root).check(path);
    if (!place)
        return;
    // Anything accepted must resolve below the root.
    if (!place->absolute().startsWith(root.absolutePath()) ||
        place->absolute().contains(QLatin1String("/../")))
        __builtin_trap();
    Backup2ToolHook().dirContents(*place);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static QTemporaryDir scratch;
    const QDir root(scratch.path() + QStringLiteral("/root"));
    root.mkpath(QStringLiteral("."));

    const PlistCFType message =
        PlistCFType::createCFPropertyList(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QString name = message.at(0).CFStringQString();
    for (int item : {2, 3})
        (void)message.at(item).CFNumberDouble(0.0);
    (void)message.at(3).CFNumberInt64(0);
    (void)name;

    const PlistCFType first = message.at(1);
    checkPath(root, first);
    checkPath(root, message.at(2));
    for (int i = 0; i < first.array_size(); ++i)
        checkPath(root, first.at(i));
    for (const PlistCFType &key : first.dict_keys()) {
        checkPath(root, key);
        checkPath(root, first.get(key));
    }
    const PlistCFType report = first.get(QStringLiteral("ErrorCode"));
    (void)report.CFNumberInt(0);
    (void)first.get(QStringLiteral("ErrorDescription")).CFStringQString();
    return 0;
}
