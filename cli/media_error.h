// The one error type of the media layer: an input or output problem, said in
// one line that starts with the file it concerns ("clip.mov: no video stream").
#pragma once

#include <stdexcept>
#include <string>

namespace cli {

class MediaError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "path: problem".
inline MediaError FileError(const std::string& path, const std::string& problem) {
  return MediaError(path + ": " + problem);
}

// The text of an FFmpeg error code, without a trailing period.
std::string AvErrorText(int code);

}  // namespace cli
