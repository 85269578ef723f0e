// A project opened for work: the plug-in loaded through the reference host,
// its media open, and one or more effect instances set up from the project.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/media_reader.h"
#include "cli/project_file.h"
#include "refhost/effect_host.h"

namespace cli {

// The plug-in next to the executable (../lib/corvalis.so), or $CORVALIS_PLUGIN,
// or the one this build made.
std::string PluginPath();

class Session {
 public:
  // Opens the media of a project and checks everything against the effect;
  // throws MediaError with one line naming the file and the problem.
  explicit Session(Project project, MediaReaderOptions readerOptions = {});
  ~Session();

  const Project& GetProject() const { return project_; }
  Project& GetProject() { return project_; }
  refhost::Plugin& GetPlugin() { return *plugin_; }
  const refhost::ProjectSettings& Settings() const { return settings_; }
  MediaReader& Source() { return *source_; }
  Rational FrameRate() const { return source_->FrameRate(); }
  // The field order of the output stream.
  FieldOrder OutputFieldOrder() const;

  // A new instance of the effect with the project's inputs, parameters, keys
  // and instance data. Several may exist, one per rendering thread.
  std::unique_ptr<refhost::EffectHost> NewHost();

 private:
  void ApplyParameters(refhost::EffectHost& host) const;
  void ApplyKeys(refhost::EffectHost& host) const;

  Project project_;
  std::unique_ptr<refhost::Plugin> plugin_;
  std::shared_ptr<MediaReader> source_;
  std::shared_ptr<MediaReader> below_;
  refhost::ProjectSettings settings_;
};

// A refhost clip reading frames through a shared MediaReader.
class ReaderClip : public refhost::Clip {
 public:
  explicit ReaderClip(std::shared_ptr<MediaReader> reader) : reader_(std::move(reader)) {}
  int32_t Width() const override { return reader_->Width(); }
  int32_t Height() const override { return reader_->Height(); }
  int32_t FrameCount() const override { return reader_->FrameCount(); }
  bool ReadRows(int32_t frame, int32_t firstRow, int32_t step, int32_t rows, int32_t pixels,
                uint8_t* dest, int32_t destRowBytes) override;

 private:
  std::shared_ptr<MediaReader> reader_;
};

// Parses "A-B" (inclusive output frames) or "A"; throws MediaError.
void ParseRange(const std::string& text, int frameCount, int& first, int& last);

}  // namespace cli
