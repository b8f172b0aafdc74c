#include "IsolatedHome.h"

#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace tarnwick::test {

IsolatedHome::IsolatedHome()
    : m_dir(QDir::tempPath() + QStringLiteral("/tarnwick-home-XXXXXX"))
{
    if (!m_dir.isValid()) {
        std::fprintf(stderr, "cannot create a temporary HOME\n");
        std::abort();
    }
    qputenv("HOME", m_dir.path().toUtf8());
    for (const char *name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        qunsetenv(name);
}

} // namespace tarnwick::test
