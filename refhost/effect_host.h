// The reference host: drives one effect instance like an editor does.
//
// It creates the instance through the model, has it create its parameters,
// keeps keyed parameters (keys per parameter at times 0..1) and the storage
// fields current, serves the inputs (clip, optional track below; black past
// the end of their media), renders output frames (two field renders
// interleaved, or one frame render for frame-based projects, in which the
// current field and the field dominance are both "Both"), each into a block
// cleared beforehand, collects console lines, keeps the instance data,
// provides an overlay buffer and reports parameter changes through the
// model's update callback. docs/reference-host.md says why.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "avx/avx.h"
#include "refhost/clip.h"
#include "refhost/plugin.h"
#include "refhost/project_settings.h"

namespace refhost {

// One output frame: packed rows, 4 bytes a pixel.
struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> pixels;
};

class EffectHost : public avxHostBackend {
 public:
  // Creates an instance of the plug-in's effect with its parameters.
  EffectHost(Plugin& plugin, const ProjectSettings& settings);
  ~EffectHost() override;
  EffectHost(const EffectHost&) = delete;
  EffectHost& operator=(const EffectHost&) = delete;

  avxInstance_v1& Instance() { return *instance_; }
  Plugin& PluginRef() { return plugin_; }
  ProjectSettings& Settings() { return settings_; }

  // Inputs: 1 the clip, 0 the track below (absent when null).
  void SetInput(int32_t index, std::shared_ptr<Clip> clip);

  // --- Position --------------------------------------------------------
  // Sets the current frame and field; field mode 1/2 while rendering fields,
  // 0 for whole frames.
  void SetPosition(int32_t frame, avxField field, int32_t fieldMode);
  // The effect's time of the current position, 0 at the first unit, 1 at
  // the last.
  double CurrentTime() const;
  // The time of a unit (field, or frame when frame based).
  double UnitTime(int32_t unit) const;
  int32_t UnitCount() const;

  // --- Parameters ------------------------------------------------------
  avxParameter* Parameter(const std::string& id) const;  // null when unknown
  // Keys a value at a time (adding the key or replacing its value).
  void SetKey(const std::string& id, double time, double value);
  void SetKeyList(const std::string& id, double time, int32_t value);
  void SetKeyBool(const std::string& id, double time, bool value);
  // Sets a parameter to one value over the whole effect: its value without
  // keys and the value of every key it has.
  void SetNumber(const std::string& id, double value);
  void SetList(const std::string& id, int32_t value);
  void SetBool(const std::string& id, bool value);
  void SetString(const std::string& id, const std::string& text);
  void SetEverywhere(const std::string& id, const std::vector<uint8_t>& bytes);
  // Marks parameters touched, runs the update callback, clears the marks and
  // returns the callback's answer.
  bool NotifyChanged(const std::vector<std::string>& ids);
  // Writes every parameter's value at the current time into its storage.
  void RefreshStorage();

  // --- Rendering -------------------------------------------------------
  // Renders one output frame: two field renders interleaved (field based) or
  // one frame render. False when a render call returned false.
  bool RenderFrame(int32_t frame, Picture& out);
  // One render call at the current position into an image of the given size.
  bool RenderOnce(int32_t width, int32_t height, Picture& out);

  // --- The effect's own dialog ------------------------------------------
  // Asks the instance for its dialog, as an editor's menu does, and returns
  // its answer.
  bool OpenEffectDialog();

  // --- Host services the instance reaches ------------------------------
  std::vector<std::string>& ConsoleLines() { return console_; }
  std::vector<uint8_t>& InstanceDataBlock() { return instanceData_; }
  bool HasInstanceData() const { return hasInstanceData_; }
  void SetInstanceDataBlock(const std::vector<uint8_t>& data);
  int32_t ParametersModifiedCount() const { return parametersModified_; }
  // Fault injection: when > 0, the n-th GetAlternateFrame call from now fails.
  void FailAlternateFrameAt(int32_t n) {
    failAt_ = n;
    blankAt_ = 0;
    alternateCalls_ = 0;
  }
  // When > 0, the n-th GetAlternateFrame call from now succeeds with an
  // all-zero image: what the plug-in should make of a refused neighbour.
  void BlankAlternateFrameAt(int32_t n) {
    blankAt_ = n;
    failAt_ = 0;
    alternateCalls_ = 0;
  }
  int32_t AlternateFrameCalls() const { return alternateCalls_; }
  // Where render calls spent their time, summed since the host was made:
  // inside the effect's Render, and within that in the host's own delivery
  // of source fields (GetAlternateFrame), which is the host's work, not the
  // effect's.
  struct RenderTimes {
    double renderSeconds = 0.0;
    double deliverySeconds = 0.0;
  };
  const RenderTimes& TimeSpent() const { return timeSpent_; }
  // Every field and frame of every input is announced (GetAlternateFrameSize)
  // as width x height, whatever the clips hold: zero-sized fields of offline
  // media. A negative width restores the project's sizes.
  void AnnounceFieldSize(int32_t width, int32_t height) {
    announcedWidth_ = width;
    announcedHeight_ = height;
  }
  // Called for every console line as it arrives (besides collecting it).
  std::function<void(const std::string&)> onConsole;
  // Called for every GetAlternateFrame call as it arrives, with what it asks.
  std::function<void(uint16_t input, uint16_t frame, avxField field)> onAlternateFrame;

  // --- Overlay ---------------------------------------------------------
  // Creates the plug-in's overlay attached to this instance with a buffer of
  // the given size (4-byte pixels with alpha, cleared to zero).
  avxOverlay_v1& OpenOverlay(int32_t width, int32_t height);
  avxImage* OverlayImage() { return overlayImage_; }
  // Clears the overlay buffer to transparent black, as for a fresh layer,
  // and has the overlay draw into it.
  void DrawOverlay();
  // Mouse events at (x, y) given as fractions of the overlay buffer's width
  // and height, as an editor sends them; they return the overlay's answer.
  bool MousePress(double x, double y);
  // After a release for which the overlay called SetHostParametersModified,
  // runs the update callback (NotifyChanged).
  bool MouseRelease(double x, double y);
  // A mouse event at buffer pixel (px, py): press then release, aimed at
  // the middle of the pixel. Returns the press's answer.
  bool Click(int32_t px, int32_t py);

  // avxHostBackend
  double Time(const avxInstance_v1&) override;
  int32_t CurrentFrame(const avxInstance_v1&) override;
  int32_t TotalFrames(const avxInstance_v1&) override;
  double FrameRate(const avxInstance_v1&) override;
  int32_t VideoType(const avxInstance_v1&) override;
  avxField Field(const avxInstance_v1&) override;
  avxField FieldDominance(const avxInstance_v1&) override;
  avxField FieldTopness(const avxInstance_v1&) override;
  int32_t FieldMode(const avxInstance_v1&) override;
  avxImage* Input(avxInstance_v1&, int32_t index) override;
  avxImage* Output(avxInstance_v1&, int32_t index) override;
  bool AlternateFrameSize(avxInstance_v1&, avxField field, int32_t* width,
                          int32_t* height) override;
  bool AlternateFrame(avxInstance_v1&, uint16_t input, uint16_t frame, avxImage* image,
                      avxField field) override;
  bool DeliverFrame(avxInstance_v1&, uint16_t input, uint16_t frame, avxImage* image,
                    avxField field);
  const void* InstanceData(avxInstance_v1&, uint32_t* size) override;
  void SetInstanceData(avxInstance_v1&, const void* data, uint32_t size) override;
  void ParametersModified(avxInstance_v1&, bool modified) override;
  void PlatformUIInfo(avxInstance_v1&, avxPlatformUIInfo* info) override;
  void Console(avxInstance_v1&, const char* text) override;
  avxImage* OverlayBuffer(avxOverlay_v1&) override;
  void HostDescription(char* name, uint32_t nameSize, char* version, uint32_t versionSize,
                       char* product, uint32_t productSize, char* build,
                       uint32_t buildSize) override;

 private:
  Plugin& plugin_;
  ProjectSettings settings_;
  avxInstance_v1* instance_ = nullptr;
  std::shared_ptr<Clip> inputs_[2];
  avxImage* inputImages_[2] = {nullptr, nullptr};
  avxImage* outputImage_ = nullptr;
  std::vector<uint8_t> outputPixels_;  // outputImage_'s pixels
  avxImage* overlayImage_ = nullptr;
  avxOverlay_v1* overlay_ = nullptr;
  int32_t frame_ = 0;
  avxField field_ = kAvxFieldOdd;
  int32_t fieldMode_ = 1;
  std::vector<std::string> console_;
  std::vector<uint8_t> instanceData_;
  bool hasInstanceData_ = false;
  bool pendingModified_ = false;
  int32_t parametersModified_ = 0;
  int32_t failAt_ = 0;
  int32_t blankAt_ = 0;
  int32_t alternateCalls_ = 0;
  RenderTimes timeSpent_;
  int32_t announcedWidth_ = -1;
  int32_t announcedHeight_ = -1;
  // Renders the current position into outputImage_ (width x height).
  bool RenderIntoOutput(int32_t width, int32_t height);
};

}  // namespace refhost
