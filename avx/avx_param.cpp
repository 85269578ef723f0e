#include "avx/avx_param.h"

#include <algorithm>
#include <cstring>

namespace {

template <typename T>
std::vector<uint8_t> BytesOf(T value) {
  std::vector<uint8_t> bytes(sizeof(T));
  std::memcpy(bytes.data(), &value, sizeof(T));
  return bytes;
}

template <typename T>
T ValueOf(const std::vector<uint8_t>& bytes) {
  T value{};
  std::memcpy(&value, bytes.data(), std::min(bytes.size(), sizeof(T)));
  return value;
}

// The stored form of a storage field's current content.
std::vector<uint8_t> StorageToBytes(avxParamKind kind, const void* storage, uint32_t size) {
  const auto* raw = static_cast<const uint8_t*>(storage);
  switch (kind) {
    case avxParamKind::kNumber: {
      int32_t value = 0;
      std::memcpy(&value, raw, std::min<uint32_t>(size, 4));
      return BytesOf<double>(value);
    }
    case avxParamKind::kList: {
      int32_t value = 0;
      std::memcpy(&value, raw, std::min<uint32_t>(size, 4));
      return BytesOf<int32_t>(value);
    }
    case avxParamKind::kBoolean:
      return BytesOf<uint8_t>(size > 0 && raw[0] != 0 ? 1 : 0);
    case avxParamKind::kString: {
      size_t length = size == 0 ? 0 : strnlen(reinterpret_cast<const char*>(raw), size - 1);
      std::vector<uint8_t> bytes(raw, raw + length);
      bytes.push_back(0);
      return bytes;
    }
    case avxParamKind::kGroup:
      break;
  }
  return {};
}

}  // namespace

void avxParamKey::CopyValue(const avxParamKey* from) {
  if (from != nullptr && from != this) value_ = from->value_;
}

avxParameter::avxParameter(avxParamKind kind, const char* label, const char* id, void* storage,
                           uint32_t storageSize)
    : kind_(kind),
      label_(label ? label : ""),
      id_(id ? id : ""),
      storage_(storage),
      storageSize_(storageSize) {
  if (storage_ != nullptr) static_ = StorageToBytes(kind_, storage_, storageSize_);
}

avxParameter::~avxParameter() = default;

avxParamKey* avxParameter::GetKey(int32_t index) const {
  if (index < 0 || index >= GetNumKeys()) return nullptr;
  return keys_[index].get();
}

int32_t avxParameter::SetKeyBytes(double time, std::vector<uint8_t> value) {
  auto at = std::lower_bound(keys_.begin(), keys_.end(), time,
                             [](const std::unique_ptr<avxParamKey>& key, double t) {
                               return key->GetTime() < t;
                             });
  if (at != keys_.end() && (*at)->GetTime() == time) {
    (*at)->SetValueBytes(std::move(value));
  } else {
    at = keys_.insert(at, std::make_unique<avxParamKey>(time, std::move(value)));
  }
  return static_cast<int32_t>(at - keys_.begin());
}

void avxParameter::RemoveKey(int32_t index) {
  if (index >= 0 && index < GetNumKeys()) keys_.erase(keys_.begin() + index);
}

std::vector<uint8_t> avxParameter::ValueBytesAt(double time) const {
  if (keys_.empty()) return static_;
  if (time <= keys_.front()->GetTime()) return keys_.front()->ValueBytes();
  if (time >= keys_.back()->GetTime()) return keys_.back()->ValueBytes();
  // keys_[i] is the last key at or before time.
  size_t i = 0;
  while (i + 1 < keys_.size() && keys_[i + 1]->GetTime() <= time) ++i;
  const avxParamKey& before = *keys_[i];
  if (kind_ != avxParamKind::kNumber || i + 1 >= keys_.size()) return before.ValueBytes();
  const avxParamKey& after = *keys_[i + 1];
  double a = ValueOf<double>(before.ValueBytes());
  double b = ValueOf<double>(after.ValueBytes());
  double span = after.GetTime() - before.GetTime();
  double t = span > 0.0 ? (time - before.GetTime()) / span : 0.0;
  return BytesOf<double>(a + (b - a) * t);
}

void avxParameter::SetBytesAt(double time, std::vector<uint8_t> value) {
  if (keys_.empty()) {
    static_ = std::move(value);
  } else {
    SetKeyBytes(time, std::move(value));
  }
}

void avxParameter::WriteStorage(double time) const {
  if (storage_ == nullptr || storageSize_ == 0) return;
  std::vector<uint8_t> bytes = ValueBytesAt(time);
  auto* out = static_cast<uint8_t*>(storage_);
  switch (kind_) {
    case avxParamKind::kNumber: {
      // Number storage is an integer: the value truncated toward zero.
      int32_t value = static_cast<int32_t>(ValueOf<double>(bytes));
      std::memcpy(out, &value, std::min<uint32_t>(storageSize_, 4));
      break;
    }
    case avxParamKind::kList: {
      int32_t value = ValueOf<int32_t>(bytes);
      std::memcpy(out, &value, std::min<uint32_t>(storageSize_, 4));
      break;
    }
    case avxParamKind::kBoolean:
      out[0] = bytes.empty() ? 0 : bytes[0];
      break;
    case avxParamKind::kString: {
      size_t length = std::min<size_t>(bytes.empty() ? 0 : strnlen(reinterpret_cast<const char*>(
                                                                       bytes.data()),
                                                                   bytes.size()),
                                       storageSize_ - 1);
      std::memcpy(out, bytes.data(), length);
      out[length] = 0;
      break;
    }
    case avxParamKind::kGroup:
      break;
  }
}

void avxParameter::CopyStateFrom(const avxParameter& other) {
  if (other.kind_ != kind_) return;
  static_ = other.static_;
  keys_.clear();
  for (const auto& key : other.keys_) {
    keys_.push_back(std::make_unique<avxParamKey>(*key));
  }
}

avxPGroup::avxPGroup(const char* label, const char* id, unsigned char flag)
    : avxParameter(avxParamKind::kGroup, label, id, nullptr, 0), flag_(flag) {}

avxPGroup* avxPGroup::New(const char* label, const char* id, unsigned char flag) {
  return new avxPGroup(label, id, flag);
}

avxPNumber::avxPNumber(const char* label, const char* id, void* storage, uint32_t size,
                       double lower, double upper, double step, avxPNumberWidget widget,
                       avxPNumberType type, unsigned char last)
    : avxParameter(avxParamKind::kNumber, label, id, storage, size),
      lower_(lower),
      upper_(upper),
      step_(step),
      widget_(widget),
      type_(type),
      last_(last) {}

avxPNumber* avxPNumber::New(const char* label, const char* id, void* storage, uint32_t size,
                            double lower, double upper, double step, avxPNumberType type,
                            unsigned char last) {
  return new avxPNumber(label, id, storage, size, lower, upper, step, -1, type, last);
}

avxPNumber* avxPNumber::New(const char* label, const char* id, void* storage, uint32_t size,
                            double lower, double upper, double step, avxPNumberWidget widget,
                            avxPNumberType type, unsigned char last) {
  return new avxPNumber(label, id, storage, size, lower, upper, step, widget, type, last);
}

double avxPNumber::GetValue(double time) const { return ValueOf<double>(ValueBytesAt(time)); }

void avxPNumber::SetValue(double time, double value) { SetBytesAt(time, BytesOf(value)); }

avxPList::avxPList(const char* label, const char* id, void* storage, uint32_t size,
                   const char** items, avxPListType type)
    : avxParameter(avxParamKind::kList, label, id, storage, size), type_(type) {
  for (const char** item = items; item != nullptr && *item != nullptr; ++item) {
    items_.emplace_back(*item);
  }
}

avxPList* avxPList::New(const char* label, const char* id, void* storage, uint32_t size,
                        const char** items, avxPListType type) {
  return new avxPList(label, id, storage, size, items, type);
}

int32_t avxPList::GetValue(double time) const { return ValueOf<int32_t>(ValueBytesAt(time)); }

void avxPList::SetValue(double time, int32_t value) { SetBytesAt(time, BytesOf(value)); }

avxPBoolean::avxPBoolean(const char* label, const char* id, void* storage, uint32_t size)
    : avxParameter(avxParamKind::kBoolean, label, id, storage, size) {}

avxPBoolean* avxPBoolean::New(const char* label, const char* id, void* storage, uint32_t size) {
  return new avxPBoolean(label, id, storage, size);
}

unsigned char avxPBoolean::GetValue(double time) const {
  return ValueOf<uint8_t>(ValueBytesAt(time));
}

void avxPBoolean::SetValue(double time, unsigned char value) {
  SetBytesAt(time, BytesOf<uint8_t>(value));
}

avxPString::avxPString(const char* label, const char* id, void* storage, uint32_t size,
                       avxPStringType type)
    : avxParameter(avxParamKind::kString, label, id, storage, size), type_(type) {}

avxPString* avxPString::New(const char* label, const char* id, void* storage, uint32_t size,
                            avxPStringType type) {
  return new avxPString(label, id, storage, size, type);
}

void avxPString::GetValue(double time, char* buffer, uint32_t size) const {
  if (buffer == nullptr || size == 0) return;
  std::vector<uint8_t> bytes = ValueBytesAt(time);
  size_t length =
      bytes.empty() ? 0 : strnlen(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  length = std::min<size_t>(length, size - 1);
  std::memcpy(buffer, bytes.data(), length);
  buffer[length] = 0;
}

void avxPString::SetText(double time, const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  SetBytesAt(time, std::move(bytes));
}
