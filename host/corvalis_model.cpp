#include "host/corvalis_model.h"

#include <new>

#include "host/corvalis.h"
#include "host/module_state.h"

CorvalisModel::CorvalisModel() = default;
CorvalisModel::~CorvalisModel() = default;

bool CorvalisModel::InitModel() {
  SetType(0);
  SetName("Corvalis");
  SetPluginVersion(1.0f);
  SetVendor("Halvern");
  SetCategory("Halvern");
  SetUpdateParamsCallback(OnUpdateParams);
  return true;
}

avxInstance_v1* CorvalisModel::CreateInstance() { return new (std::nothrow) Corvalis(); }

bool CorvalisModel::InitFormats() {
  AddFormat(0, 8, nullptr, 6);
  AddInput(0, "Bottom", "bottom", 0, 0);
  AddInput(1, "Input", "input", 0);
  AddOutput(0, "Output", "output", 0);
  return true;
}

void CorvalisModel::DeleteInstance(avxInstance_v1* instance) { avxDelete(instance); }

bool CorvalisModel::HostQuery(int32_t) { return true; }

unsigned char OnUpdateParams(avxInstance_v1* instance) {
  auto* effect = dynamic_cast<Corvalis*>(instance);
  if (firstRenderPending) return 1;
  if (effect == nullptr) return 0;
  return effect->UpdateParams() ? 1 : 0;
}
