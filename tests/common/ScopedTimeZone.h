#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <ctime>

namespace tarnwick::test {

// Sets the local zone of the process to `zone` (an IANA name such as "Asia/Tokyo") while it lives,
// restoring the previous one afterwards.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const QByteArray &zone)
        : m_had(qEnvironmentVariableIsSet("TZ"))
        , m_old(qgetenv("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }
    ScopedTimeZone(const ScopedTimeZone &) = delete;
    ScopedTimeZone &operator=(const ScopedTimeZone &) = delete;

private:
    bool m_had;
    QByteArray m_old;
};

} // namespace tarnwick::test
