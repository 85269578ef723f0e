// Plain types and enums of the host interface.
//
// Our stand-in for the AVX 1.x interface: a host and a plug-in meet only
// through the classes declared under avx/. Values whose meaning belongs to the
// host (plug-in types, colour spaces, data types) are carried as the plain
// numbers the plug-in passes.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#if defined(AVX_BUILDING_LIBRARY)
#define AVX_API __declspec(dllexport)
#else
#define AVX_API __declspec(dllimport)
#endif
#else
#define AVX_API __attribute__((visibility("default")))
#endif

class avxInstance_v1;

// Field values as the host reports them.
enum avxField : int32_t {
  kAvxFieldOdd = 0,
  kAvxFieldEven = 1,
  kAvxFieldBoth = 2,
};

typedef int32_t avxPluginType;
typedef int32_t avxColorspace;
typedef int32_t avxImgFormat;
typedef int32_t avxDataType;
typedef int32_t avxPNumberType;
typedef int32_t avxPNumberWidget;
typedef int32_t avxPListType;
typedef int32_t avxPStringType;

// The pixel format of an image: colour space, bits per component and layout.
struct avxImageFormat {
  avxColorspace colorspace = 0;
  int32_t bitsPerComponent = 8;
  avxImgFormat layout = 6;
};

// What the host tells a plug-in about its user interface. The second 32-bit
// member is the window handle a dialog is parented to.
struct avxPlatformUIInfo {
  uint32_t structSize = sizeof(avxPlatformUIInfo);
  uint32_t parentWindow = 0;
  uint32_t reserved[2] = {0, 0};
};

// The host's update callback: called with the instance after a parameter
// change; the result (used as a bool) tells the host whether anything changed.
typedef unsigned char (*avxUpdateParamsCallback)(avxInstance_v1* instance);

// Opaque argument of a render request.
struct avxRenderArgs;

// Slot 0 of the model, the instance and the overlay is the host's one
// destructor entry, as hosts built with the Microsoft C++ ABI lay it out: it
// takes a flag word and returns the object's address. With this bit set it
// also frees the object; without it the memory stays the caller's.
constexpr uint32_t kAvxDeleteObject = 1;

// What slot 0 does for every class: destroys the object through its C++
// destructor (virtual, so the whole derived object goes) and frees it when
// asked to.
template <class Object>
void* avxRunDeletingDestructor(Object* object, uint32_t flags) {
  void* const address = object;
  if (flags & kAvxDeleteObject) {
    delete object;
  } else {
    object->~Object();
  }
  return address;
}

// How a host deletes a model, an instance or an overlay: through slot 0.
template <class Object>
void avxDelete(Object* object) {
  if (object != nullptr) object->DeletingDestructor(kAvxDeleteObject);
}
