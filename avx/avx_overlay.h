// The overlay base class: the on-screen editor object of an instance.
//
// Virtual slots, in this order: the deleting destructor, Draw, OnMousePress,
// OnMouseDrag, OnMouseRelease, OnMouseMove, OnMouseIdle, OnKeyDown, OnKeyUp,
// OnNewNativeWindow, OnHostEvent, OnHostNotify; the C++ destructor comes
// after them. Mouse positions are fractions of the overlay buffer.
#pragma once

#include <cstdint>

#include "avx/avx_types.h"

class avxHostBackend;
class avxImage;
class avxInstance_v1;

class AVX_API avxOverlay_v1 {
 public:
  avxOverlay_v1();

  // Slot 0: destroys the overlay, and frees it when flags has kAvxDeleteObject.
  // Defined in the header so that it is compiled into the plug-in, as a
  // compiler with the Microsoft ABI would do, needing nothing of the host's.
  virtual void* DeletingDestructor(uint32_t flags) final {
    return avxRunDeletingDestructor(this, flags);
  }
  virtual void Draw(bool show);
  virtual bool OnMousePress(double x, double y, unsigned long flags);
  virtual bool OnMouseDrag(double x, double y, unsigned long flags);
  virtual bool OnMouseRelease(double x, double y, unsigned long flags);
  virtual bool OnMouseMove(double x, double y, unsigned long flags);
  virtual bool OnMouseIdle(double x, double y, unsigned long flags);
  virtual bool OnKeyDown(int32_t key, unsigned long flags);
  virtual bool OnKeyUp(int32_t key, unsigned long flags);
  virtual void OnNewNativeWindow(void* window);
  virtual void OnHostEvent(int32_t event);
  virtual void OnHostNotify();
  // After every slot a host calls (see avxModel_v1).
  virtual ~avxOverlay_v1();

  avxInstance_v1* GetInstance() const { return instance_; }
  // The host's 4-byte-pixel buffer with alpha, sized by the host.
  avxImage* GetOverlayBuffer();

  // Host side.
  void AttachInstance(avxInstance_v1* instance) { instance_ = instance; }
  void AttachHost(avxHostBackend* host) { host_ = host; }

 private:
  avxInstance_v1* instance_ = nullptr;
  avxHostBackend* host_ = nullptr;
};
