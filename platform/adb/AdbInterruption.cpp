#include "AdbInterruption.h"

#include "AdbError.h"

namespace {
thread_local AdbInterruption::Check t_check;
} // namespace

AdbInterruption::Scope::Scope(Check check)
    : m_previous(std::exchange(t_check, std::move(check)))
{}

AdbInterruption::Scope::~Scope()
{
    t_check = std::move(m_previous);
}

bool AdbInterruption::watched()
{
    return bool(t_check);
}

bool AdbInterruption::requested()
{
    return t_check && t_check();
}

void AdbInterruption::throwIfRequested()
{
    if (requested())
        throw AdbError(QStringLiteral("Cancelled."));
}
