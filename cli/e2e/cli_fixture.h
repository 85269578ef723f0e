// What the tool's end-to-end tests share: a scratch folder per test, the tool
// run as a user runs it (stdin closed, its output collected), and clips made
// by the ffmpeg program, as users make theirs.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "cli/tests/temp_dir.h"

namespace e2e {

// Whether TEXT holds PART; on failure, says what TEXT held.
inline ::testing::AssertionResult Has(const std::string& text, const std::string& part) {
  if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

struct Result {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class CliFixture : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return dir_.File(name); }
  std::string Quoted(const std::string& name) const { return "'" + Path(name) + "'"; }
  void Write(const std::string& name, const std::string& text) const { dir_.Write(name, text); }

  static std::string Read(const std::string& path) { return cli::ReadBytes(path); }

  // Runs a shell command line in the scratch folder: `environment` is put
  // before it (VAR=value ...), stdout and stderr are collected.
  Result Shell(const std::string& command, const std::string& environment = "") const {
    const std::string outPath = Path(".stdout"), errPath = Path(".stderr");
    const std::string line = "cd '" + dir_.Path().string() + "' && " + environment + " " + command +
                             " >'" + outPath + "' 2>'" + errPath + "' </dev/null";
    const int status = std::system(line.c_str());
    Result result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = Read(outPath);
    result.err = Read(errPath);
    return result;
  }

  // `corvalis ARGUMENTS`.
  Result Run(const std::string& arguments, const std::string& environment = "") const {
    return Shell(std::string("'") + CORVALIS_CLI + "' " + arguments, environment);
  }

  // Makes NAME in the scratch folder with `ffmpeg -y ARGUMENTS NAME`; fails
  // the test with ffmpeg's own words when it cannot.
  void Ffmpeg(const std::string& arguments, const std::string& name) const {
    const Result made = Shell("ffmpeg -nostdin -v error -y " + arguments + " '" + name + "'");
    ASSERT_EQ(made.exitCode, 0) << "ffmpeg " << arguments << " " << name << ": " << made.err;
  }

  // What ffprobe says of NAME's first video stream: `entries` as for
  // -show_entries (e.g. "stream=codec_name,field_order:stream_tags=timecode"),
  // one "key=value" a line.
  std::string Probe(const std::string& name, const std::string& entries) const {
    const Result probed = Shell("ffprobe -v error -select_streams v:0 -show_entries " + entries +
                                " -of default=noprint_wrappers=1 '" + name + "'");
    EXPECT_EQ(probed.exitCode, 0) << probed.err;
    return probed.out;
  }

  const cli::TempDir dir_{"corvalis-e2e"};
};

}  // namespace e2e
