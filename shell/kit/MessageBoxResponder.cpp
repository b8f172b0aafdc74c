#include "MessageBoxResponder.h"

namespace {
MessageBoxResponder::Function &current()
{
    static MessageBoxResponder::Function f;
    return f;
}
} // namespace

MessageBoxResponder::Function MessageBoxResponder::install(Function f)
{
    Function previous = std::move(current());
    current() = std::move(f);
    return previous;
}

bool MessageBoxResponder::isInstalled()
{
    return static_cast<bool>(current());
}

int MessageBoxResponder::answer(const MessageBoxRequest &request)
{
    // Copy first: a responder may install another one while it answers.
    const Function f = current();
    return f ? f(request) : 0;
}
