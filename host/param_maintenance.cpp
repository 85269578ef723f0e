// Parameter maintenance: after every parameter change, the settings that hold
// one value for the whole effect get that value at every key, play-order
// changes made in the overlay reach the hidden order keys, and the key table
// follows changed speed, strobe and hold keys.
#include <cstring>

#include "host/corvalis.h"

namespace {

// The leading value of a key's stored bytes; hosts may store more than the
// plain form, and only the leading double, index or byte is read.
template <typename Value>
Value LeadingValue(const avxParamKey& key) {
  Value value{};
  const void* bytes = key.GetValue();
  const size_t size = key.GetValueSize();
  if (bytes != nullptr && size > 0)
    std::memcpy(&value, bytes, size < sizeof value ? size : sizeof value);
  return value;
}

// Values compare by their stored form, byte for byte.
template <typename Value>
bool SameStoredForm(const Value& a, const Value& b) {
  return std::memcmp(&a, &b, sizeof(Value)) == 0;
}

// Gives every key of the parameter one value: the user's selected key when
// there is one; otherwise a key that stands alone against all the others
// wins, and with an even split the first key does.
template <typename Param, typename Value>
void UnifyKeys(Param& parameter, double time) {
  const int32_t count = parameter.GetNumKeys();
  int32_t active = -1;
  for (int32_t i = count - 1; i >= 0; --i) {
    if (parameter.GetKey(i)->IsActive()) {
      active = i;
      break;
    }
  }
  if (active >= 0) {
    const avxParamKey* source = parameter.GetKey(active);
    for (int32_t i = 0; i < count; ++i) {
      if (i != active) parameter.GetKey(i)->CopyValue(source);
    }
    return;
  }

  Value value = parameter.GetValue(time);
  if (count > 0) {
    const Value reference = LeadingValue<Value>(*parameter.GetKey(0));
    int32_t equal = 0;
    int32_t differing = 0;
    Value firstDiffering{};
    for (int32_t i = 0; i < count; ++i) {
      const Value keyValue = LeadingValue<Value>(*parameter.GetKey(i));
      if (SameStoredForm(keyValue, reference)) {
        ++equal;
      } else {
        if (differing == 0) firstDiffering = keyValue;
        ++differing;
      }
    }
    if (differing >= equal) {
      value = reference;
    } else if (differing > 0) {
      value = firstDiffering;
    }
  }
  for (int32_t i = 0; i < count; ++i) parameter.SetValue(parameter.GetKey(i)->GetTime(), value);
}

// Unifies the keys of a touched parameter; true when it was touched.
template <typename Param, typename Value>
bool UnifyIfTouched(Corvalis& instance, const char* id) {
  auto* parameter = dynamic_cast<Param*>(instance.FindParameter(id));
  if (parameter == nullptr || !parameter->IsTouched()) return false;
  UnifyKeys<Param, Value>(*parameter, instance.GetTime());
  return true;
}

bool IsTouched(const Corvalis& instance, const char* id) {
  const avxParameter* parameter = instance.FindParameter(id);
  return parameter != nullptr && parameter->IsTouched();
}

const char* const kConstantLists[] = {"inputMode", "outputMode", "afterEnd", "overLimits",
                                      "deinterlace"};
const char* const kConstantDisplayBooleans[] = {"showMotion", "enhance", "interpAll"};
const char* const kConstantNumbers[] = {"threshold", "smooth"};
const char* const kConstantOptionBooleans[] = {"blending", "reverseFields", "showSource",
                                               "showGraph", "showTimeCode"};

}  // namespace

bool Corvalis::UpdateParams() {
  bool changed = SyncOrderKeys();
  for (const char* id : kConstantLists) changed |= UnifyIfTouched<avxPList, int32_t>(*this, id);
  for (const char* id : kConstantDisplayBooleans) {
    changed |= UnifyIfTouched<avxPBoolean, unsigned char>(*this, id);
  }
  for (const char* id : kConstantNumbers) changed |= UnifyIfTouched<avxPNumber, double>(*this, id);
  for (const char* id : kConstantOptionBooleans) {
    changed |= UnifyIfTouched<avxPBoolean, unsigned char>(*this, id);
  }
  // The source time code may vary by key; a change is only reported.
  if (IsTouched(*this, "timeCode")) changed = true;
  if (IsTouched(*this, "speed") || IsTouched(*this, "strobe") || IsTouched(*this, "hold")) {
    RefreshKeyTable();
    return true;
  }
  return changed;
}
