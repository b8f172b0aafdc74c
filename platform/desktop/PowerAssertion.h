#pragma once

#include <QString>

// Keeps the display awake while the object lives. On Linux the desktop's screensaver is inhibited
// over the session bus (org.freedesktop.ScreenSaver); without a session bus, or when the service
// refuses, nothing is held and nothing is released at the end.
class PowerAssertion
{
public:
    // type is informational ("NoDisplaySleepAssertion"); name is the reason shown by the desktop.
    PowerAssertion(const QString &type, const QString &name);
    ~PowerAssertion();
    PowerAssertion(const PowerAssertion &) = delete;
    PowerAssertion &operator=(const PowerAssertion &) = delete;

    bool isHeld() const { return m_held; }
    quint32 id() const { return m_cookie; }

private:
    quint32 m_cookie = 0;
    bool m_held = false;
};
