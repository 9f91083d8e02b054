// The way the core hands over an error it cannot throw to its caller: one that arises on a thread
// of its own, or one after which the caller carries on. The front end gives the reporter (the
// composer shows a message box, tmw-cli prints one line); the core never decides how an error is
// shown. An empty reporter drops the error.
#pragma once

#include <functional>

namespace tunemill {

class ERROR;

using ErrorReporter = std::function<void(const ERROR& error)>;

} // namespace tunemill
