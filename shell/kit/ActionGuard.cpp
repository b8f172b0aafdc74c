#include "ActionGuard.h"

#include "Tips.h"

#include <QCoreApplication>

void ActionGuard::report(const std::exception &e)
{
    Tips::error(QString::fromUtf8(e.what()));
}

void ActionGuard::reportUnknown()
{
    Tips::error(QCoreApplication::translate("ActionGuard", "An unexpected error occurred."));
}
