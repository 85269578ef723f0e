#include "cli/commands/source_report.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace cli {
namespace {

std::string RateText(Rational rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g fps", rate.ToDouble());
  std::string result = text;
  if (rate.den != 1)
    result += " (" + std::to_string(rate.num) + "/" + std::to_string(rate.den) + ")";
  return result;
}

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

bool KeepsDisplayMatrix(const std::string& output) {
  const std::string extension = std::filesystem::path(output).extension().string();
  return extension == ".mov" || extension == ".mp4" || extension == ".m4v";
}

}  // namespace

std::string AssumptionLine(Session& session, int renderedFrames) {
  const refhost::ProjectSettings& settings = session.Settings();
  std::string line = session.GetProject().source + ": " + std::to_string(settings.width) + "x" +
                     std::to_string(settings.height) + " at " + RateText(session.FrameRate()) +
                     ", " + session.ScanDescription() + "; " +
                     std::to_string(session.Source().FrameCount()) + " source frames; effect " +
                     std::to_string(settings.totalFrames) + " frames";
  if (renderedFrames != settings.totalFrames) {
    line += ", " + std::to_string(renderedFrames) + " of them rendered";
  }
  const std::string timeCode = session.EffectTimeCode();
  if (!session.SourceTimeCode().empty() || timeCode != "00:00:00:00") {
    line += "; time code " + timeCode +
            (timeCode == session.SourceTimeCode() ? " (the source's)" : " (the project's)");
  }
  return line;
}

std::vector<std::string> SourceNotes(Session& session, const std::string& output) {
  std::vector<std::string> notes;
  const MediaInfo& info = session.SourceInfo();
  const std::string& source = session.GetProject().source;
  if (info.audioStreams > 0) {
    notes.push_back(source + ": the sound (" + std::to_string(info.audioStreams) + " audio stream" +
                    (info.audioStreams > 1 ? "s" : "") +
                    ") is not carried over: the effect retimes pictures only, as in an editor");
  }
  // The effect counts frames; a clip whose frames are not evenly spaced in
  // time comes out as long as its frames at the nominal rate.
  const Rational rate = session.FrameRate();
  const int frames = session.Source().FrameCount();
  const double byFrames = frames / rate.ToDouble();
  if (info.videoSeconds > 0 && std::fabs(info.videoSeconds - byFrames) > 1.5 / rate.ToDouble()) {
    notes.push_back(source + ": variable frame rate: the clip runs " + Seconds(info.videoSeconds) +
                    " but its " + std::to_string(frames) + " frames last " + Seconds(byFrames) +
                    " at " + RateText(rate) +
                    "; every frame is taken as one frame at that rate, so the output follows the "
                    "frames, not the clip's clock (convert it to a constant rate first, e.g. "
                    "ffmpeg -i IN -fps_mode cfr -r RATE OUT, to keep its timing)");
  }
  if (info.rotation != 0.0) {
    char degrees[32];
    std::snprintf(degrees, sizeof degrees, "%g", info.rotation);
    std::string note = source + ": marked to be shown rotated by " + std::string(degrees) +
                       " degrees; the pictures are retimed as stored";
    note += KeepsDisplayMatrix(output)
                ? " and the output is marked the same way"
                : ", and a " + std::filesystem::path(output).extension().string() +
                      " output cannot say how to rotate them: write .mov or .mp4, or rotate the "
                      "source first (ffmpeg -vf transpose)";
    notes.push_back(note);
  }
  if (info.bitsPerComponent > 8) {
    notes.push_back(source + ": " + std::to_string(info.bitsPerComponent) +
                    "-bit pictures are retimed in 8-bit RGB: the output has 8-bit precision, and "
                    "levels below black and above white are clipped (docs/project-format.md)");
  }
  return notes;
}

}  // namespace cli
