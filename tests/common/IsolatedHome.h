#pragma once

#include <QString>
#include <QTemporaryDir>

namespace tarnwick::test {

// Points HOME at a fresh temporary folder for the life of the test process, so that no test
// reads or writes the real user's folders. Made before the application object, in TestMain.h.
class IsolatedHome
{
public:
    IsolatedHome();
    IsolatedHome(const IsolatedHome &) = delete;
    IsolatedHome &operator=(const IsolatedHome &) = delete;

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

} // namespace tarnwick::test
