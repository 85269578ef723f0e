// FFmpeg's libraries explain a failure in a log line and return only a
// generic code ("Generic error in an external library"). We keep the last
// such line so that our one-line error can say what actually went wrong.
#pragma once

#include <string>

namespace cli {

// Routes the libraries' log through our catcher; lines still reach stderr
// when the log level asks for them.
void CatchLibraryMessages();

// The last error line the libraries logged on this thread since the last
// call, without its trailing newline; empty when there was none.
std::string TakeLibraryMessage();

}  // namespace cli
