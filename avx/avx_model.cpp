#include "avx/avx_model.h"

#include "avx/avx_instance.h"

avxModel_v1::avxModel_v1() = default;
avxModel_v1::~avxModel_v1() = default;

bool avxModel_v1::InitModel() { return true; }
avxInstance_v1* avxModel_v1::CreateInstance() { return nullptr; }
bool avxModel_v1::InitFormats() { return true; }
void avxModel_v1::DeleteInstance(avxInstance_v1* instance) { avxDelete(instance); }
const char* avxModel_v1::GetInitString() { return nullptr; }
bool avxModel_v1::HostQuery(int32_t) { return false; }
bool avxModel_v1::UseHardwareList() { return false; }
bool avxModel_v1::UseLibraryList() { return false; }

void avxModel_v1::AddFormat(avxColorspace colorspace, int32_t bits, const char* name,
                            avxImgFormat format) {
  formats_.push_back(Format{colorspace, bits, name ? name : "", name != nullptr, format});
}

void avxModel_v1::AddInput(int32_t index, const char* label, const char* id, avxDataType type,
                           unsigned char flag) {
  inputs_.push_back(Port{index, label ? label : "", id ? id : "", type, flag, true});
}

void avxModel_v1::AddInput(int32_t index, const char* label, const char* id, avxDataType type) {
  inputs_.push_back(Port{index, label ? label : "", id ? id : "", type, 0, false});
}

void avxModel_v1::AddOutput(int32_t index, const char* label, const char* id, avxDataType type) {
  outputs_.push_back(Port{index, label ? label : "", id ? id : "", type, 0, false});
}
