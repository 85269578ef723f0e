#include "cli/library_messages.h"

#include <cstdarg>

extern "C" {
#include <libavutil/log.h>
}

namespace cli {
namespace {

thread_local std::string lastMessage;

void Catch(void* context, int level, const char* format, va_list arguments) {
  if (level <= AV_LOG_ERROR) {
    va_list copy;
    va_copy(copy, arguments);
    char line[1024];
    int printPrefix = 0;
    // Without the "[libx264 @ 0x...]" prefix: the address means nothing to a user.
    av_log_format_line(nullptr, level, format, copy, line, sizeof line, &printPrefix);
    va_end(copy);
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    if (!text.empty()) lastMessage = text;
  }
  av_log_default_callback(context, level, format, arguments);
}

}  // namespace

void CatchLibraryMessages() { av_log_set_callback(Catch); }

std::string TakeLibraryMessage() {
  std::string text;
  text.swap(lastMessage);
  return text;
}

}  // namespace cli
