#include "AdbError.h"

AdbError::AdbError(const QString &text)
    : std::runtime_error(text.toStdString())
{}
