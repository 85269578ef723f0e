// A project opened for work: the plug-in loaded through the reference host,
// its media open, and one or more effect instances set up from the project.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/media_info.h"
#include "cli/media_reader.h"
#include "cli/media_writer.h"
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
  // What the source file says besides its pictures; empty for lavfi sources.
  const MediaInfo& SourceInfo() const { return sourceInfo_; }
  // The field order of the output stream: progressive for frame-based
  // projects and for "Output Mode" "Progressive".
  FieldOrder OutputFieldOrder() const;
  // Where the project's scan and field order came from, for the line that
  // says what was assumed: "interlaced, top field first (the frames' flags)".
  std::string ScanDescription() const;
  // The source's time code that "Source TC Start" takes unless the project
  // sets it; empty when there is none.
  const std::string& SourceTimeCode() const { return sourceInfo_.timeCode; }
  // The effect's "Source TC Start" as the instance holds it.
  std::string EffectTimeCode();
  // The source's colour, aspect and display tags, and the time code of
  // output frame `firstFrame` on the effect's time code.
  OutputTags TagsForOutput(int firstFrame);
  // Changes the effect's length; hosts made afterwards have it.
  void SetEffectFrames(int frames) { settings_.totalFrames = frames; }

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
  MediaInfo sourceInfo_;
  bool outputProgressive_ = false;
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
