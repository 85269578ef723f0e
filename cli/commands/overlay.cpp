// corvalis overlay PROJECT.json --frame F -o OUT.png: the effect's on-screen
// editor as a picture. The output is rendered first, so that the overlay sees
// what a render leaves; clicks given with --click go to the overlay as mouse
// presses and releases, which is how a script changes the play order.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "cli/atomic_file.h"
#include "cli/commands/commands.h"
#include "cli/commands/session.h"
#include "cli/png_writer.h"

namespace cli {

namespace {

// The largest overlay side accepted: more than any viewer, small enough that
// the buffer's size cannot overflow.
constexpr int kLargestSide = 16384;

struct PixelPoint {
  int x = 0;
  int y = 0;
};

// "AxB" with A and B whole numbers (the separator is 'x' for a size, ',' for
// a point); false when the text is not of that form.
bool ParsePair(const std::string& text, char separator, int& a, int& b) {
  const size_t split = text.find(separator);
  if (split == std::string::npos || split == 0 || split + 1 == text.size()) return false;
  auto whole = [](const std::string& part, int& value) {
    if (part.empty() || part.size() > 9) return false;
    for (char ch : part) {
      if (ch < '0' || ch > '9') return false;
    }
    value = std::atoi(part.c_str());
    return true;
  };
  return whole(text.substr(0, split), a) && whole(text.substr(split + 1), b);
}

bool SamePath(const std::string& a, const std::string& b) {
  namespace fs = std::filesystem;
  std::error_code error;
  if (fs::exists(a, error) && fs::exists(b, error)) return fs::equivalent(a, b, error);
  return fs::weakly_canonical(fs::absolute(a, error), error) ==
         fs::weakly_canonical(fs::absolute(b, error), error);
}

int32_t FieldHeight(const refhost::ProjectSettings& settings, avxField field) {
  if (field == kAvxFieldBoth) return settings.height;
  return field == settings.fieldTopness ? (settings.height + 1) / 2 : settings.height / 2;
}

// Renders the output frame as the viewer shows it, then renders the chosen
// field once more so that the instance holds what that field's render left.
void RenderForOverlay(refhost::EffectHost& host, const refhost::ProjectSettings& settings,
                      int frame, avxField field, refhost::Picture& picture) {
  bool rendered = host.RenderFrame(frame, picture);
  if (rendered && field != kAvxFieldBoth) {
    host.SetPosition(frame, field, 1);
    refhost::Picture unused;
    rendered = host.RenderOnce(settings.width, FieldHeight(settings, field), unused);
  }
  if (!rendered) {
    throw MediaError("frame " + std::to_string(frame) +
                     ": the render failed (a source frame could not be read)");
  }
}

// The picture scaled to the overlay's size, as a viewer fits it.
std::vector<uint8_t> FitPicture(const refhost::Picture& picture, int width, int height) {
  if (picture.width == width && picture.height == height) return picture.pixels;
  std::vector<uint8_t> fitted(static_cast<size_t>(width) * height * 4);
  SwsContext* scaler =
      sws_getContext(picture.width, picture.height, AV_PIX_FMT_BGRA, width, height, AV_PIX_FMT_BGRA,
                     SWS_BILINEAR | SWS_ACCURATE_RND | SWS_BITEXACT, nullptr, nullptr, nullptr);
  if (scaler == nullptr) throw MediaError("cannot scale the picture to the overlay's size");
  const uint8_t* from[4] = {picture.pixels.data(), nullptr, nullptr, nullptr};
  const int fromStrides[4] = {picture.width * 4, 0, 0, 0};
  uint8_t* to[4] = {fitted.data(), nullptr, nullptr, nullptr};
  const int toStrides[4] = {width * 4, 0, 0, 0};
  sws_scale(scaler, from, fromStrides, 0, picture.height, to, toStrides);
  sws_freeContext(scaler);
  return fitted;
}

// The overlay laid over the picture. The overlay's colours stand already
// multiplied by their coverage: every drawing step blends into the host's
// transparent black buffer, so a colour c drawn at coverage a is left as
// c × a / 255. The picture shows through by the rest of the coverage.
std::vector<uint8_t> Composite(const std::vector<uint8_t>& picture, const uint8_t* overlay,
                               int width, int height, int overlayRowBytes) {
  std::vector<uint8_t> shown(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    const uint8_t* over = overlay + static_cast<ptrdiff_t>(y) * overlayRowBytes;
    const uint8_t* under = picture.data() + static_cast<size_t>(y) * width * 4;
    uint8_t* out = shown.data() + static_cast<size_t>(y) * width * 4;
    for (int x = 0; x < width; ++x, over += 4, under += 4, out += 4) {
      const int uncovered = 255 - over[3];
      for (int byte = 0; byte < 3; ++byte) {
        out[byte] = static_cast<uint8_t>(std::min(255, over[byte] + under[byte] * uncovered / 255));
      }
      out[3] = 255;
    }
  }
  return shown;
}

// One line per key of the hidden order parameter: where it stands and the
// order it now holds.
void PrintOrders(refhost::EffectHost& host) {
  auto* order = dynamic_cast<avxPNumber*>(host.Parameter("order"));
  if (order == nullptr) return;
  const int32_t units = host.UnitCount();
  for (int32_t i = 0; i < order->GetNumKeys(); ++i) {
    const double time = order->GetKey(i)->GetTime();
    const long unit = std::lround(time * (units > 1 ? units - 1 : 0));
    std::printf("key %d at unit %ld: order %d\n", i, unit, static_cast<int>(order->GetValue(time)));
  }
}

}  // namespace

void AddOverlayCommand(CLI::App& app) {
  auto* command = app.add_subcommand(
      "overlay", "Draw the effect's on-screen overlay for one output frame into a PNG");
  auto project = std::make_shared<std::string>();
  auto frame = std::make_shared<int>(0);
  auto field = std::make_shared<std::string>("first");
  auto size = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  auto clicks = std::make_shared<std::vector<std::string>>();
  auto alpha = std::make_shared<bool>(false);
  auto overwrite = std::make_shared<bool>(false);
  auto verbose = std::make_shared<bool>(false);
  command->add_option("project", *project, "Project file (JSON)")->required();
  command->add_option("--frame", *frame, "Output frame")->required();
  command
      ->add_option("--field", *field,
                   "Field the overlay is drawn for: first or second (interlaced projects)")
      ->check(CLI::IsMember({"first", "second"}));
  command->add_option("--size", *size, "Overlay buffer size WxH (default: the frame size)");
  command->add_option("-o,--output", *output, "PNG file to write")->required();
  command->add_option("--click", *clicks,
                      "Press and release the mouse at overlay pixel X,Y (repeatable, in order); "
                      "prints the resulting order of every key");
  command->add_flag("--alpha", *alpha, "Write the overlay alone, with its alpha");
  command->add_flag("-y,--overwrite", *overwrite, "Replace OUT if it exists");
  command->add_flag("-v,--verbose", *verbose, "Print the plug-in's console lines on stderr");
  command->callback([=] {
    Session session(LoadProject(*project));
    const refhost::ProjectSettings& settings = session.Settings();
    if (*frame < 0 || *frame >= settings.totalFrames) {
      throw MediaError("--frame " + std::to_string(*frame) + ": the effect has frames 0 to " +
                       std::to_string(settings.totalFrames - 1));
    }
    const bool progressive = settings.videoType == 0;
    if (progressive && *field == "second") {
      throw FileError(*project, "--field second: the project is progressive (whole frames)");
    }
    int width = settings.width;
    int height = settings.height;
    if (!size->empty() && (!ParsePair(*size, 'x', width, height) || width < 1 || height < 1 ||
                           width > kLargestSide || height > kLargestSide)) {
      throw MediaError("--size " + *size + ": expected WxH, each 1 to " +
                       std::to_string(kLargestSide));
    }
    std::vector<PixelPoint> points;
    for (const std::string& click : *clicks) {
      PixelPoint point;
      if (!ParsePair(click, ',', point.x, point.y) || point.x >= width || point.y >= height) {
        throw MediaError("--click " + click + ": expected X,Y inside the " + std::to_string(width) +
                         "x" + std::to_string(height) + " overlay");
      }
      points.push_back(point);
    }
    const Project& opened = session.GetProject();
    if (SamePath(*output, opened.path))
      throw FileError(*output, "is the project file; choose another output");
    for (const std::optional<std::string>& input :
         {std::optional<std::string>(opened.source), opened.trackBelow}) {
      if (input && !IsLavfiSource(*input) && SamePath(*output, *input)) {
        throw FileError(*output, "is a source clip; choose another output");
      }
    }
    std::error_code error;
    if (!*overwrite && std::filesystem::exists(*output, error)) {
      throw MediaError(AlreadyExistsMessage(*output));
    }

    std::unique_ptr<refhost::EffectHost> host = session.NewHost();
    if (*verbose) {
      host->onConsole = [](const std::string& line) { std::fputs(line.c_str(), stderr); };
    }
    avxField which = kAvxFieldBoth;
    if (!progressive) {
      const avxField first = settings.fieldDominance;
      which = *field == "first" ? first : (first == kAvxFieldOdd ? kAvxFieldEven : kAvxFieldOdd);
    }
    refhost::Picture picture;
    RenderForOverlay(*host, settings, *frame, which, picture);
    host->OpenOverlay(width, height);
    host->DrawOverlay();
    for (const PixelPoint& point : points) {
      const int32_t changesBefore = host->ParametersModifiedCount();
      host->Click(point.x, point.y);
      // As an editor does after a parameter change: render and draw again.
      if (host->ParametersModifiedCount() != changesBefore) {
        RenderForOverlay(*host, settings, *frame, which, picture);
        host->DrawOverlay();
      }
    }
    if (!points.empty()) PrintOrders(*host);

    avxImage* overlay = host->OverlayImage();
    const uint8_t* overlayPixels = overlay->GetRowPtr(0, 0);
    const int overlayRowBytes = overlay->GetRowDelta(0);
    if (*alpha) {
      WritePng(*output, overlayPixels, width, height, overlayRowBytes, true);
    } else {
      const std::vector<uint8_t> shown = Composite(FitPicture(picture, width, height),
                                                   overlayPixels, width, height, overlayRowBytes);
      WritePng(*output, shown.data(), width, height, width * 4, false);
    }
    std::fprintf(stderr, "%s: overlay of frame %d%s, %dx%d%s\n", output->c_str(), *frame,
                 progressive ? "" : (*field == "first" ? " (first field)" : " (second field)"),
                 width, height, *alpha ? ", alone with its alpha" : "");
  });
}

}  // namespace cli
