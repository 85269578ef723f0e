// CorvalisModel: the effect model the host obtains from avxNewModel_v1.
#pragma once

#include "avx/avx.h"

class CorvalisModel : public avxModel_v1 {
 public:
  CorvalisModel();
  ~CorvalisModel() override;

  bool InitModel() override;
  avxInstance_v1* CreateInstance() override;
  bool InitFormats() override;
  void DeleteInstance(avxInstance_v1* instance) override;
  bool HostQuery(int32_t query) override;
};

// The host's update callback: runs parameter maintenance once any render has
// happened in the process.
unsigned char OnUpdateParams(avxInstance_v1* instance);
