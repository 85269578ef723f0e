// The effect instance base class: one object per use of the effect.
//
// Virtual slots, in this order: the deleting destructor, Render,
// CreateParameters, HasEffect, InPlace, PreProcess, PostProcess,
// OpenPhaseDialog, GetInputSize, GetOutputSize, CopyInstance; the C++
// destructor comes after them. The non-virtual services forward to the host
// attached with AttachHost (or the process host).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "avx/avx_types.h"

class avxHostBackend;
class avxImage;
class avxParameter;

class AVX_API avxInstance_v1 {
 public:
  avxInstance_v1();

  // Slot 0: destroys the instance, and frees it when flags has kAvxDeleteObject.
  // Defined in the header so that it is compiled into the plug-in, as a
  // compiler with the Microsoft ABI would do, needing nothing of the host's.
  virtual void* DeletingDestructor(uint32_t flags) final {
    return avxRunDeletingDestructor(this, flags);
  }
  virtual bool Render(avxRenderArgs* args);
  virtual bool CreateParameters();
  virtual bool HasEffect();
  virtual bool InPlace();
  virtual bool PreProcess();
  virtual bool PostProcess();
  // The host's request for the effect's own dialog. The host passes one
  // 32-bit word, which the callee removes from the stack on 32-bit Windows:
  // the slot must take it even where the effect has no use for it.
  virtual bool OpenPhaseDialog(int32_t argument);
  virtual bool GetInputSize(int32_t index, int32_t* width, int32_t* height);
  virtual bool GetOutputSize(int32_t index, int32_t* width, int32_t* height);
  // Takes the parameter keys and values of another instance of the same effect.
  virtual bool CopyInstance(const avxInstance_v1* from);
  // After every slot a host calls (see avxModel_v1).
  virtual ~avxInstance_v1();

  // Takes ownership of the parameter; group is the group it belongs to, or null.
  void AddParameter(avxParameter* parameter, avxParameter* group);
  // The first parameter added with that id, or null.
  avxParameter* FindParameter(const char* id) const;

  double GetTime() const;
  int32_t GetCurrentFrame() const;
  int32_t GetTotalFrames() const;
  double GetFrameRate() const;
  int32_t GetVideoType() const;
  avxField GetField() const;
  avxField GetFieldDominance() const;
  avxField GetFieldTopness() const;
  int32_t GetFieldMode() const;
  avxImage* GetInput(int32_t index);
  avxImage* GetOutput(int32_t index);
  bool GetAlternateFrameSize(avxField field, int32_t* width, int32_t* height);
  bool GetAlternateFrame(uint16_t input, uint16_t frame, avxImage* image, avxField field);
  // The last block stored with SetInstanceData, or null with size 0.
  const void* GetInstanceData(uint32_t* size);
  void SetInstanceData(const void* data, uint32_t size);
  void SetHostParametersModified(bool modified);
  void GetPlatformUIInfo(avxPlatformUIInfo* info);
  void ConsolePrintf(const char* format, ...)
#if defined(__GNUC__)
      __attribute__((format(printf, 2, 3)))
#endif
      ;

  // Host side.
  void AttachHost(avxHostBackend* host) { host_ = host; }
  avxHostBackend* Host() const;
  int32_t ParameterCount() const { return static_cast<int32_t>(parameters_.size()); }
  avxParameter* ParameterAt(int32_t index) const { return parameters_[index].parameter.get(); }
  avxParameter* GroupOf(int32_t index) const { return parameters_[index].group; }

 private:
  struct Entry {
    std::unique_ptr<avxParameter> parameter;
    avxParameter* group;
  };
  std::vector<Entry> parameters_;
  avxHostBackend* host_ = nullptr;
};
