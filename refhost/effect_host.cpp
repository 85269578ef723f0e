#include "refhost/effect_host.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

namespace refhost {

namespace {

std::vector<uint8_t> DoubleBytes(double value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::vector<uint8_t> Int32Bytes(int32_t value) {
  std::vector<uint8_t> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

void CopyText(char* buffer, uint32_t size, const char* text) {
  if (buffer == nullptr || size == 0) return;
  std::strncpy(buffer, text, size - 1);
  buffer[size - 1] = 0;
}

}  // namespace

EffectHost::EffectHost(Plugin& plugin, const ProjectSettings& settings)
    : plugin_(plugin), settings_(settings) {
  instance_ = plugin_.Model().CreateInstance();
  if (instance_ == nullptr) throw std::runtime_error(plugin_.Path() + ": no instance created");
  instance_->AttachHost(this);
  if (avxGetProcessHost() == nullptr) avxSetProcessHost(this);
  instance_->CreateParameters();
  // As an editor does for a newly applied effect: every parameter gets keys
  // at the start and the end holding its default.
  for (int32_t i = 0; i < instance_->ParameterCount(); ++i) {
    avxParameter* parameter = instance_->ParameterAt(i);
    if (parameter->Kind() == avxParamKind::kGroup) continue;
    std::vector<uint8_t> initial = parameter->ValueBytesAt(0.0);
    parameter->SetKeyBytes(0.0, initial);
    parameter->SetKeyBytes(1.0, initial);
  }
  outputImage_ = avxImage::New();
}

EffectHost::~EffectHost() {
  avxDelete(overlay_);
  plugin_.Model().DeleteInstance(instance_);
  if (avxGetProcessHost() == this) avxSetProcessHost(nullptr);
  avxImage::Delete(outputImage_);
  avxImage::Delete(overlayImage_);
  for (avxImage*& image : inputImages_) avxImage::Delete(image);
}

void EffectHost::SetInput(int32_t index, std::shared_ptr<Clip> clip) {
  if (index < 0 || index > 1) return;
  inputs_[index] = std::move(clip);
  avxImage::Delete(inputImages_[index]);
  inputImages_[index] = nullptr;
  if (inputs_[index]) {
    inputImages_[index] = avxImage::New();
    inputImages_[index]->SetSize(inputs_[index]->Width(), inputs_[index]->Height());
  }
}

void EffectHost::SetPosition(int32_t frame, avxField field, int32_t fieldMode) {
  frame_ = frame;
  field_ = field;
  fieldMode_ = fieldMode;
}

int32_t EffectHost::UnitCount() const {
  return settings_.videoType == 0 ? settings_.totalFrames : settings_.totalFrames * 2;
}

double EffectHost::UnitTime(int32_t unit) const {
  int32_t units = UnitCount();
  return units > 1 ? static_cast<double>(unit) / (units - 1) : 0.0;
}

double EffectHost::CurrentTime() const {
  if (settings_.videoType == 0) return UnitTime(frame_);
  bool second = field_ != kAvxFieldBoth && field_ != settings_.fieldDominance;
  return UnitTime(frame_ * 2 + (second ? 1 : 0));
}

avxParameter* EffectHost::Parameter(const std::string& id) const {
  return instance_->FindParameter(id.c_str());
}

void EffectHost::SetKey(const std::string& id, double time, double value) {
  if (avxParameter* p = Parameter(id)) p->SetKeyBytes(time, DoubleBytes(value));
}

void EffectHost::SetKeyList(const std::string& id, double time, int32_t value) {
  if (avxParameter* p = Parameter(id)) p->SetKeyBytes(time, Int32Bytes(value));
}

void EffectHost::SetKeyBool(const std::string& id, double time, bool value) {
  if (avxParameter* p = Parameter(id)) p->SetKeyBytes(time, {static_cast<uint8_t>(value)});
}

void EffectHost::SetEverywhere(const std::string& id, const std::vector<uint8_t>& bytes) {
  avxParameter* p = Parameter(id);
  if (p == nullptr) return;
  p->SetStaticBytes(bytes);
  for (int32_t i = 0; i < p->GetNumKeys(); ++i) p->GetKey(i)->SetValueBytes(bytes);
  RefreshStorage();
}

void EffectHost::SetNumber(const std::string& id, double value) {
  SetEverywhere(id, DoubleBytes(value));
}

void EffectHost::SetList(const std::string& id, int32_t value) {
  SetEverywhere(id, Int32Bytes(value));
}

void EffectHost::SetBool(const std::string& id, bool value) {
  SetEverywhere(id, {static_cast<uint8_t>(value)});
}

void EffectHost::SetString(const std::string& id, const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  SetEverywhere(id, bytes);
}

void EffectHost::RefreshStorage() {
  double time = CurrentTime();
  for (int32_t i = 0; i < instance_->ParameterCount(); ++i) {
    instance_->ParameterAt(i)->WriteStorage(time);
  }
}

bool EffectHost::NotifyChanged(const std::vector<std::string>& ids) {
  for (const std::string& id : ids) {
    if (avxParameter* p = Parameter(id)) p->SetTouched(true);
  }
  RefreshStorage();
  avxUpdateParamsCallback callback = plugin_.Model().UpdateParamsCallback();
  bool changed = callback != nullptr && callback(instance_) != 0;
  for (int32_t i = 0; i < instance_->ParameterCount(); ++i) {
    instance_->ParameterAt(i)->SetTouched(false);
  }
  RefreshStorage();
  return changed;
}

void EffectHost::SetInstanceDataBlock(const std::vector<uint8_t>& data) {
  instanceData_ = data;
  hasInstanceData_ = true;
}

bool EffectHost::RenderIntoOutput(int32_t width, int32_t height) {
  outputImage_->SetSize(width, height);
  // Every render starts from a block of zero bytes, so that nothing an
  // earlier render left can reach this one's output, whatever the effect
  // writes.
  const size_t bytes = static_cast<size_t>(width) * height * 4;
  if (outputPixels_.size() < bytes) outputPixels_.resize(bytes);
  if (bytes > 0) std::memset(outputPixels_.data(), 0, bytes);
  outputImage_->SetData(bytes == 0 ? nullptr : outputPixels_.data());
  RefreshStorage();
  const auto start = std::chrono::steady_clock::now();
  const bool rendered = instance_->Render(nullptr);
  timeSpent_.renderSeconds +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return rendered;
}

bool EffectHost::RenderOnce(int32_t width, int32_t height, Picture& out) {
  bool ok = RenderIntoOutput(width, height);
  out.width = width;
  out.height = height;
  out.pixels.assign(outputImage_->GetRowPtr(0, 0),
                    outputImage_->GetRowPtr(0, 0) + static_cast<size_t>(width) * height * 4);
  if (width == 0 || height == 0) out.pixels.clear();
  return ok;
}

bool EffectHost::RenderFrame(int32_t frame, Picture& out) {
  const int32_t width = settings_.width;
  const int32_t height = settings_.height;
  if (settings_.videoType == 0) {
    SetPosition(frame, kAvxFieldBoth, 0);
    return RenderOnce(width, height, out);
  }
  out.width = width;
  out.height = height;
  // Every row comes from one of the two fields.
  out.pixels.resize(static_cast<size_t>(width) * height * 4);
  const avxField first = settings_.fieldDominance;
  const avxField second = first == kAvxFieldOdd ? kAvxFieldEven : kAvxFieldOdd;
  bool ok = true;
  for (avxField field : {first, second}) {
    const bool top = field == settings_.fieldTopness;
    const int32_t fieldHeight = top ? (height + 1) / 2 : height / 2;
    SetPosition(frame, field, 1);
    ok = RenderIntoOutput(width, fieldHeight) && ok;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    if (rowBytes == 0) continue;  // frames without pixels have nothing to interleave
    for (int32_t y = 0; y < fieldHeight; ++y) {
      std::memcpy(out.pixels.data() + (2 * y + (top ? 0 : 1)) * rowBytes,
                  outputImage_->GetRowPtr(0, y), rowBytes);
    }
  }
  return ok;
}

avxOverlay_v1& EffectHost::OpenOverlay(int32_t width, int32_t height) {
  avxDelete(overlay_);
  overlay_ = plugin_.NewOverlay();
  if (overlay_ == nullptr) throw std::runtime_error(plugin_.Path() + ": no overlay created");
  overlay_->AttachInstance(instance_);
  overlay_->AttachHost(this);
  if (overlayImage_ == nullptr) overlayImage_ = avxImage::New();
  overlayImage_->SetSize(width, height);
  overlayImage_->AllocateOwned();
  return *overlay_;
}

void EffectHost::DrawOverlay() {
  if (overlay_ == nullptr || overlayImage_ == nullptr) return;
  overlayImage_->AllocateOwned();
  RefreshStorage();
  overlay_->Draw(true);
}

bool EffectHost::MousePress(double x, double y) {
  if (overlay_ == nullptr) return false;
  RefreshStorage();
  pendingModified_ = false;
  return overlay_->OnMousePress(x, y, 0);
}

bool EffectHost::MouseRelease(double x, double y) {
  if (overlay_ == nullptr) return false;
  bool released = overlay_->OnMouseRelease(x, y, 0);
  if (pendingModified_) {
    pendingModified_ = false;
    NotifyChanged({});
  }
  return released;
}

bool EffectHost::Click(int32_t px, int32_t py) {
  if (overlay_ == nullptr || overlayImage_ == nullptr) return false;
  // Aim at the middle of the pixel so that the plug-in's truncation lands on it.
  double x = (px + 0.5) / overlayImage_->GetWidth();
  double y = (py + 0.5) / overlayImage_->GetHeight();
  bool pressed = MousePress(x, y);
  MouseRelease(x, y);
  return pressed;
}

bool EffectHost::OpenEffectDialog() {
  // The request carries one word; an editor passes zero.
  return instance_->OpenPhaseDialog(0);
}

double EffectHost::Time(const avxInstance_v1&) { return CurrentTime(); }
int32_t EffectHost::CurrentFrame(const avxInstance_v1&) { return frame_; }
int32_t EffectHost::TotalFrames(const avxInstance_v1&) { return settings_.totalFrames; }
double EffectHost::FrameRate(const avxInstance_v1&) { return settings_.frameRate; }
int32_t EffectHost::VideoType(const avxInstance_v1&) { return settings_.videoType; }
// A frame-based project is a world without fields: the current field and the
// field dominance are both "Both" and renders are of whole frames, so that
// every field the effect asks for by the dominance is a whole frame.
avxField EffectHost::Field(const avxInstance_v1&) {
  return settings_.videoType == 0 ? kAvxFieldBoth : field_;
}
avxField EffectHost::FieldDominance(const avxInstance_v1&) {
  return settings_.videoType == 0 ? kAvxFieldBoth : settings_.fieldDominance;
}
avxField EffectHost::FieldTopness(const avxInstance_v1&) { return settings_.fieldTopness; }
int32_t EffectHost::FieldMode(const avxInstance_v1&) {
  return settings_.videoType == 0 ? 0 : fieldMode_;
}

avxImage* EffectHost::Input(avxInstance_v1&, int32_t index) {
  return index >= 0 && index <= 1 ? inputImages_[index] : nullptr;
}

avxImage* EffectHost::Output(avxInstance_v1&, int32_t index) {
  return index == 0 ? outputImage_ : nullptr;
}

bool EffectHost::AlternateFrameSize(avxInstance_v1&, avxField field, int32_t* width,
                                    int32_t* height) {
  if (announcedWidth_ >= 0) {
    if (width) *width = announcedWidth_;
    if (height) *height = announcedHeight_;
    return true;
  }
  const int32_t w = settings_.width;
  const int32_t h = settings_.height;
  int32_t fieldHeight = h;
  if (field != kAvxFieldBoth) fieldHeight = field == settings_.fieldTopness ? (h + 1) / 2 : h / 2;
  if (width) *width = w;
  if (height) *height = fieldHeight;
  return true;
}

bool EffectHost::AlternateFrame(avxInstance_v1& instance, uint16_t input, uint16_t frame,
                                avxImage* image, avxField field) {
  const auto start = std::chrono::steady_clock::now();
  const bool delivered = DeliverFrame(instance, input, frame, image, field);
  timeSpent_.deliverySeconds +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return delivered;
}

bool EffectHost::DeliverFrame(avxInstance_v1&, uint16_t input, uint16_t frame, avxImage* image,
                              avxField field) {
  ++alternateCalls_;
  if (onAlternateFrame) onAlternateFrame(input, frame, field);
  if (failAt_ > 0 && alternateCalls_ == failAt_) return false;
  if (input > 1 || !inputs_[input] || image == nullptr) return false;
  Clip& clip = *inputs_[input];
  // An image without pixels asks for nothing, which is delivered.
  if (image->GetWidth() <= 0 || image->GetHeight() <= 0) return true;
  if (image->GetRowPtr(0, 0) == nullptr) return false;
  // Past the end of its media a track holds nothing: black, as an editor's
  // timeline shows there.
  const bool pastTheEnd = frame >= clip.FrameCount();
  if (pastTheEnd || (blankAt_ > 0 && alternateCalls_ == blankAt_)) {
    for (int32_t y = 0; y < image->GetHeight(); ++y) {
      std::memset(image->GetRowPtr(0, y), 0, static_cast<size_t>(image->GetWidth()) * 4);
    }
    return true;
  }
  const int32_t w = clip.Width();
  const int32_t h = clip.Height();
  const int32_t copyWidth = std::min(w, image->GetWidth());
  const int32_t firstRow = field == kAvxFieldBoth ? 0 : (field == settings_.fieldTopness ? 0 : 1);
  const int32_t step = field == kAvxFieldBoth ? 1 : 2;
  const int32_t imageRows = image->GetHeight();
  // Rows the clip has, straight from it; what lies beyond it is black.
  int32_t rows = 0;
  while (rows < imageRows && firstRow + rows * step < h) ++rows;
  if (rows > 0 && !clip.ReadRows(frame, firstRow, step, rows, copyWidth, image->GetRowPtr(0, 0),
                                 image->GetRowDelta(0))) {
    return false;
  }
  for (int32_t y = 0; y < imageRows; ++y) {
    uint8_t* dest = image->GetRowPtr(0, y);
    if (y < rows) {
      if (copyWidth < image->GetWidth()) std::memset(dest + copyWidth * 4, 0, (image->GetWidth() - copyWidth) * 4);
    } else {
      std::memset(dest, 0, static_cast<size_t>(image->GetWidth()) * 4);
    }
  }
  return true;
}

const void* EffectHost::InstanceData(avxInstance_v1&, uint32_t* size) {
  if (!hasInstanceData_) {
    if (size) *size = 0;
    return nullptr;
  }
  if (size) *size = static_cast<uint32_t>(instanceData_.size());
  return instanceData_.data();
}

void EffectHost::SetInstanceData(avxInstance_v1&, const void* data, uint32_t size) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  instanceData_.assign(bytes, bytes + size);
  hasInstanceData_ = true;
}

void EffectHost::ParametersModified(avxInstance_v1&, bool modified) {
  if (!modified) return;
  pendingModified_ = true;
  ++parametersModified_;
}

void EffectHost::PlatformUIInfo(avxInstance_v1&, avxPlatformUIInfo* info) {
  *info = avxPlatformUIInfo{};
}

void EffectHost::Console(avxInstance_v1&, const char* text) {
  console_.emplace_back(text);
  if (onConsole) onConsole(console_.back());
}

avxImage* EffectHost::OverlayBuffer(avxOverlay_v1&) { return overlayImage_; }

void EffectHost::HostDescription(char* name, uint32_t nameSize, char* version,
                                 uint32_t versionSize, char* product, uint32_t productSize,
                                 char* build, uint32_t buildSize) {
  CopyText(name, nameSize, "Corvalis reference host");
  CopyText(version, versionSize, "1.0");
  CopyText(product, productSize, "refhost");
  CopyText(build, buildSize, "linux");
}

}  // namespace refhost
