// The effect model base class: one per loaded plug-in.
//
// Virtual slots, in this order: the deleting destructor, InitModel,
// CreateInstance, InitFormats, DeleteInstance, GetInitString, HostQuery,
// UseHardwareList, UseLibraryList; the C++ destructor comes after them (see
// avxRunDeletingDestructor). The setters record the effect's description,
// which the host reads back through the host-side accessors.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "avx/avx_types.h"

class avxInstance_v1;

class AVX_API avxModel_v1 {
 public:
  avxModel_v1();

  // Slot 0: destroys the model, and frees it when flags has kAvxDeleteObject.
  // Defined in the header so that it is compiled into the plug-in, as a
  // compiler with the Microsoft ABI would do, needing nothing of the host's.
  virtual void* DeletingDestructor(uint32_t flags) final {
    return avxRunDeletingDestructor(this, flags);
  }
  virtual bool InitModel();
  virtual avxInstance_v1* CreateInstance();
  virtual bool InitFormats();
  virtual void DeleteInstance(avxInstance_v1* instance);
  // Extra initialisation text for the host; null when there is none.
  virtual const char* GetInitString();
  virtual bool HostQuery(int32_t query);
  virtual bool UseHardwareList();
  virtual bool UseLibraryList();
  // Declared after every slot a host calls, so that its entries (two under
  // the Itanium C++ ABI, one under Microsoft's) follow them.
  virtual ~avxModel_v1();

  void SetType(avxPluginType type) { type_ = type; }
  void SetName(const char* name) { name_ = name ? name : ""; }
  void SetPluginVersion(float version) { version_ = version; }
  void SetVendor(const char* vendor) { vendor_ = vendor ? vendor : ""; }
  void SetCategory(const char* category) { category_ = category ? category : ""; }
  void SetUpdateParamsCallback(avxUpdateParamsCallback callback) { callback_ = callback; }
  void AddFormat(avxColorspace colorspace, int32_t bits, const char* name, avxImgFormat format);
  void AddInput(int32_t index, const char* label, const char* id, avxDataType type,
                unsigned char flag);
  void AddInput(int32_t index, const char* label, const char* id, avxDataType type);
  void AddOutput(int32_t index, const char* label, const char* id, avxDataType type);

  // Host side: the description as recorded.
  struct Format {
    avxColorspace colorspace;
    int32_t bits;
    std::string name;
    bool hasName;
    avxImgFormat format;
  };
  struct Port {
    int32_t index;
    std::string label;
    std::string id;
    avxDataType type;
    unsigned char flag;
    bool hasFlag;
  };
  avxPluginType Type() const { return type_; }
  const std::string& Name() const { return name_; }
  float PluginVersion() const { return version_; }
  const std::string& Vendor() const { return vendor_; }
  const std::string& Category() const { return category_; }
  avxUpdateParamsCallback UpdateParamsCallback() const { return callback_; }
  const std::vector<Format>& Formats() const { return formats_; }
  const std::vector<Port>& Inputs() const { return inputs_; }
  const std::vector<Port>& Outputs() const { return outputs_; }

 private:
  avxPluginType type_ = -1;
  std::string name_, vendor_, category_;
  float version_ = 0.0f;
  avxUpdateParamsCallback callback_ = nullptr;
  std::vector<Format> formats_;
  std::vector<Port> inputs_, outputs_;
};
