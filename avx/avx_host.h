// The one abstract interface through which the base classes reach a host.
//
// Every host service of avxInstance_v1, avxOverlay_v1 and avxGlobal forwards
// here. A host (the reference host, or a test double) implements it and
// attaches itself to the objects it drives; an object with no host attached
// answers with neutral values (zero, false, null).
#pragma once

#include <cstdint>

#include "avx/avx_types.h"

class avxImage;
class avxInstance_v1;
class avxOverlay_v1;

class AVX_API avxHostBackend {
 public:
  virtual ~avxHostBackend();

  // Time and format of the effect as the host sees it now.
  virtual double Time(const avxInstance_v1& instance) = 0;
  virtual int32_t CurrentFrame(const avxInstance_v1& instance) = 0;
  virtual int32_t TotalFrames(const avxInstance_v1& instance) = 0;
  virtual double FrameRate(const avxInstance_v1& instance) = 0;
  virtual int32_t VideoType(const avxInstance_v1& instance) = 0;
  virtual avxField Field(const avxInstance_v1& instance) = 0;
  virtual avxField FieldDominance(const avxInstance_v1& instance) = 0;
  virtual avxField FieldTopness(const avxInstance_v1& instance) = 0;
  virtual int32_t FieldMode(const avxInstance_v1& instance) = 0;

  // Images: the current input and output images, and any field or frame of an
  // input on request.
  virtual avxImage* Input(avxInstance_v1& instance, int32_t index) = 0;
  virtual avxImage* Output(avxInstance_v1& instance, int32_t index) = 0;
  virtual bool AlternateFrameSize(avxInstance_v1& instance, avxField field, int32_t* width,
                                  int32_t* height) = 0;
  virtual bool AlternateFrame(avxInstance_v1& instance, uint16_t input, uint16_t frame,
                              avxImage* image, avxField field) = 0;

  // Per-instance data block stored with the effect.
  virtual const void* InstanceData(avxInstance_v1& instance, uint32_t* size) = 0;
  virtual void SetInstanceData(avxInstance_v1& instance, const void* data, uint32_t size) = 0;

  virtual void ParametersModified(avxInstance_v1& instance, bool modified) = 0;
  virtual void PlatformUIInfo(avxInstance_v1& instance, avxPlatformUIInfo* info) = 0;
  // One console line, already formatted.
  virtual void Console(avxInstance_v1& instance, const char* text) = 0;

  virtual avxImage* OverlayBuffer(avxOverlay_v1& overlay) = 0;
  // The four description strings of the host (name, version, product, build).
  virtual void HostDescription(char* name, uint32_t nameSize, char* version, uint32_t versionSize,
                               char* product, uint32_t productSize, char* build,
                               uint32_t buildSize) = 0;
};

// The process-wide host, used by avxGlobal and by objects that have no host of
// their own attached. Null until a host installs itself.
AVX_API void avxSetProcessHost(avxHostBackend* host);
AVX_API avxHostBackend* avxGetProcessHost();
