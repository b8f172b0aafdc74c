// What a phone's shell prints, as the shell helpers read it: package lists, the package dump with its
// version and per-user states, build properties, the log, and the package manager's answer to an
// install.
#include "android/adbhelper.h"
#include "platform/adb/AdbUSBHandle.h"

#include <cstdint>

namespace {

// A phone whose every command prints the input.
class PrintingPhone : public AdbUSBHandle
{
public:
    explicit PrintingPhone(QByteArray output)
        : AdbUSBHandle(QStringLiteral("fuzz"))
        , m_output(std::move(output))
    {}
    bool shell(const QString &, QByteArray *output, QString *) override
    {
        if (output)
            *output = m_output;
        return true;
    }
    bool shellStatus(const QString &command, QByteArray *output, QString *error, int *exitCode) override
    {
        if (exitCode)
            *exitCode = 0;
        return shell(command, output, error);
    }

private:
    const QByteArray m_output;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const PAdbUSBHandle phone(new PrintingPhone(input));

    for (const QString &name : adbhelper::packages(phone, adbhelper::LIST_PACKAGE_USER)) {
        // Names come trimmed from lines of the output.
        if (name != name.trimmed() || name.contains(QLatin1Char('\n')))
            __builtin_trap();
    }
    QString dump;
    if (adbhelper::getDevAppVersion(phone, QStringLiteral("com.example"), dump) < 0)
        __builtin_trap();
    adbhelper::appStates(phone, QStringLiteral("com.example"));
    adbhelper::adbSysBuildInfo(phone);
    adbhelper::logcatd(phone);

    for (const int status : {0, 1}) {
        QString reason;
        const bool installed = AdbUSBHandle::installSucceeded(input, status, &reason);
        if (installed && (status != 0 || !reason.isEmpty()))
            __builtin_trap();
        if (!installed && reason.isEmpty())
            __builtin_trap();
    }
    return 0;
}
