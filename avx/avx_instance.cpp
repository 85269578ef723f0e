#include "avx/avx_instance.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

#include "avx/avx_host.h"
#include "avx/avx_param.h"

avxInstance_v1::avxInstance_v1() = default;
avxInstance_v1::~avxInstance_v1() = default;

bool avxInstance_v1::Render(avxRenderArgs*) { return false; }
bool avxInstance_v1::CreateParameters() { return true; }
bool avxInstance_v1::HasEffect() { return true; }
bool avxInstance_v1::InPlace() { return false; }
bool avxInstance_v1::PreProcess() { return true; }
bool avxInstance_v1::PostProcess() { return true; }
bool avxInstance_v1::OpenPhaseDialog(int32_t) { return false; }

bool avxInstance_v1::GetInputSize(int32_t, int32_t* width, int32_t* height) {
  return GetAlternateFrameSize(kAvxFieldBoth, width, height);
}

bool avxInstance_v1::GetOutputSize(int32_t, int32_t* width, int32_t* height) {
  return GetAlternateFrameSize(kAvxFieldBoth, width, height);
}

bool avxInstance_v1::CopyInstance(const avxInstance_v1* from) {
  if (from == nullptr || from->ParameterCount() != ParameterCount()) return false;
  for (int32_t i = 0; i < ParameterCount(); ++i) {
    ParameterAt(i)->CopyStateFrom(*from->ParameterAt(i));
  }
  return true;
}

void avxInstance_v1::AddParameter(avxParameter* parameter, avxParameter* group) {
  if (parameter != nullptr) parameters_.push_back(Entry{std::unique_ptr<avxParameter>(parameter), group});
}

avxParameter* avxInstance_v1::FindParameter(const char* id) const {
  if (id == nullptr) return nullptr;
  for (const Entry& entry : parameters_) {
    if (entry.parameter->Id() == id) return entry.parameter.get();
  }
  return nullptr;
}

avxHostBackend* avxInstance_v1::Host() const {
  return host_ != nullptr ? host_ : avxGetProcessHost();
}

double avxInstance_v1::GetTime() const {
  avxHostBackend* host = Host();
  return host ? host->Time(*this) : 0.0;
}

int32_t avxInstance_v1::GetCurrentFrame() const {
  avxHostBackend* host = Host();
  return host ? host->CurrentFrame(*this) : 0;
}

int32_t avxInstance_v1::GetTotalFrames() const {
  avxHostBackend* host = Host();
  return host ? host->TotalFrames(*this) : 0;
}

double avxInstance_v1::GetFrameRate() const {
  avxHostBackend* host = Host();
  return host ? host->FrameRate(*this) : 0.0;
}

int32_t avxInstance_v1::GetVideoType() const {
  avxHostBackend* host = Host();
  return host ? host->VideoType(*this) : 0;
}

avxField avxInstance_v1::GetField() const {
  avxHostBackend* host = Host();
  return host ? host->Field(*this) : kAvxFieldBoth;
}

avxField avxInstance_v1::GetFieldDominance() const {
  avxHostBackend* host = Host();
  return host ? host->FieldDominance(*this) : kAvxFieldOdd;
}

avxField avxInstance_v1::GetFieldTopness() const {
  avxHostBackend* host = Host();
  return host ? host->FieldTopness(*this) : kAvxFieldOdd;
}

int32_t avxInstance_v1::GetFieldMode() const {
  avxHostBackend* host = Host();
  return host ? host->FieldMode(*this) : 0;
}

avxImage* avxInstance_v1::GetInput(int32_t index) {
  avxHostBackend* host = Host();
  return host ? host->Input(*this, index) : nullptr;
}

avxImage* avxInstance_v1::GetOutput(int32_t index) {
  avxHostBackend* host = Host();
  return host ? host->Output(*this, index) : nullptr;
}

bool avxInstance_v1::GetAlternateFrameSize(avxField field, int32_t* width, int32_t* height) {
  avxHostBackend* host = Host();
  if (host) return host->AlternateFrameSize(*this, field, width, height);
  if (width) *width = 0;
  if (height) *height = 0;
  return false;
}

bool avxInstance_v1::GetAlternateFrame(uint16_t input, uint16_t frame, avxImage* image,
                                       avxField field) {
  avxHostBackend* host = Host();
  return host ? host->AlternateFrame(*this, input, frame, image, field) : false;
}

const void* avxInstance_v1::GetInstanceData(uint32_t* size) {
  avxHostBackend* host = Host();
  if (host) return host->InstanceData(*this, size);
  if (size) *size = 0;
  return nullptr;
}

void avxInstance_v1::SetInstanceData(const void* data, uint32_t size) {
  if (avxHostBackend* host = Host()) host->SetInstanceData(*this, data, size);
}

void avxInstance_v1::SetHostParametersModified(bool modified) {
  if (avxHostBackend* host = Host()) host->ParametersModified(*this, modified);
}

void avxInstance_v1::GetPlatformUIInfo(avxPlatformUIInfo* info) {
  if (info == nullptr) return;
  if (avxHostBackend* host = Host()) {
    host->PlatformUIInfo(*this, info);
  } else {
    *info = avxPlatformUIInfo{};
  }
}

void avxInstance_v1::ConsolePrintf(const char* format, ...) {
  if (format == nullptr) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text(length > 0 ? static_cast<size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, args);
  va_end(args);
  if (avxHostBackend* host = Host()) host->Console(*this, text.c_str());
}
