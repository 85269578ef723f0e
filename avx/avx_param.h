// Parameters and their keys.
//
// A parameter is created by the plug-in with New, handed to the instance with
// AddParameter (which takes ownership) and from then on driven by the host:
// the host adds and edits keys, marks the parameter touched, and keeps the
// plug-in's storage field filled with the value at the current time.
//
// Stored forms, which are also the key value forms: a number key holds one
// double, a list key one int32 index, a boolean key one byte, a string key the
// characters with their terminating zero. Numbers interpolate linearly between
// keys; lists, booleans and strings hold the value of the last key at or
// before the asked time. Keys are indexed from 0 in time order; times are
// fractions 0..1 of the effect.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avx/avx_types.h"

class AVX_API avxParamKey {
 public:
  double GetTime() const { return time_; }
  // The stored value bytes and their count.
  const void* GetValue() const { return value_.data(); }
  uint32_t GetValueSize() const { return static_cast<uint32_t>(value_.size()); }
  // The key the user has selected in the host's editor.
  bool IsActive() const { return active_; }
  // Takes the value of another key of the same parameter.
  void CopyValue(const avxParamKey* from);

  // Host side.
  avxParamKey(double time, std::vector<uint8_t> value) : time_(time), value_(std::move(value)) {}
  void SetActive(bool active) { active_ = active; }
  void SetValueBytes(std::vector<uint8_t> value) { value_ = std::move(value); }
  const std::vector<uint8_t>& ValueBytes() const { return value_; }

 private:
  double time_;
  std::vector<uint8_t> value_;
  bool active_ = false;
};

enum class avxParamKind { kGroup, kNumber, kList, kBoolean, kString };

class AVX_API avxParameter {
 public:
  virtual ~avxParameter();

  int32_t GetNumKeys() const { return static_cast<int32_t>(keys_.size()); }
  avxParamKey* GetKey(int32_t index) const;
  bool IsTouched() const { return touched_; }
  void SetHidden(unsigned char hidden) { hidden_ = hidden != 0; }

  // Host side.
  avxParamKind Kind() const { return kind_; }
  const std::string& Id() const { return id_; }
  const std::string& Label() const { return label_; }
  bool IsHidden() const { return hidden_; }
  void SetTouched(bool touched) { touched_ = touched; }
  // Adds a key (or replaces the value of the key at exactly that time) and
  // returns its index.
  int32_t SetKeyBytes(double time, std::vector<uint8_t> value);
  void RemoveKey(int32_t index);
  void ClearKeys() { keys_.clear(); }
  // The stored form of the value at a time: interpolated or held as the kind
  // says; the static value when there are no keys.
  std::vector<uint8_t> ValueBytesAt(double time) const;
  void SetStaticBytes(std::vector<uint8_t> value) { static_ = std::move(value); }
  // Writes the value at a time into the plug-in's storage field.
  void WriteStorage(double time) const;
  // Copies keys and static value of a parameter of the same kind.
  void CopyStateFrom(const avxParameter& other);

 protected:
  avxParameter(avxParamKind kind, const char* label, const char* id, void* storage,
               uint32_t storageSize);
  // Writes a value at a time: into the key at that time (added when missing),
  // or into the static value when the parameter has no keys.
  void SetBytesAt(double time, std::vector<uint8_t> value);

  avxParamKind kind_;
  std::string label_;
  std::string id_;
  void* storage_;
  uint32_t storageSize_;
  bool hidden_ = false;
  bool touched_ = false;
  std::vector<uint8_t> static_;
  std::vector<std::unique_ptr<avxParamKey>> keys_;
};

class AVX_API avxPGroup : public avxParameter {
 public:
  static avxPGroup* New(const char* label, const char* id, unsigned char flag);
  unsigned char Flag() const { return flag_; }

 private:
  avxPGroup(const char* label, const char* id, unsigned char flag);
  unsigned char flag_;
};

class AVX_API avxPNumber : public avxParameter {
 public:
  // storage is a 32-bit integer; the three values are lower bound, upper bound
  // and step.
  static avxPNumber* New(const char* label, const char* id, void* storage, uint32_t size,
                         double lower, double upper, double step, avxPNumberType type,
                         unsigned char last);
  static avxPNumber* New(const char* label, const char* id, void* storage, uint32_t size,
                         double lower, double upper, double step, avxPNumberWidget widget,
                         avxPNumberType type, unsigned char last);
  double GetValue(double time) const;
  void SetValue(double time, double value);

  // Host side.
  double Lower() const { return lower_; }
  double Upper() const { return upper_; }
  double Step() const { return step_; }
  avxPNumberWidget Widget() const { return widget_; }
  avxPNumberType Type() const { return type_; }
  unsigned char LastFlag() const { return last_; }

 private:
  avxPNumber(const char* label, const char* id, void* storage, uint32_t size, double lower,
             double upper, double step, avxPNumberWidget widget, avxPNumberType type,
             unsigned char last);
  double lower_, upper_, step_;
  avxPNumberWidget widget_;
  avxPNumberType type_;
  unsigned char last_;
};

class AVX_API avxPList : public avxParameter {
 public:
  // items: item strings ended by a null entry.
  static avxPList* New(const char* label, const char* id, void* storage, uint32_t size,
                       const char** items, avxPListType type);
  int32_t GetValue(double time) const;
  void SetValue(double time, int32_t value);

  // Host side.
  const std::vector<std::string>& Items() const { return items_; }
  avxPListType Type() const { return type_; }

 private:
  avxPList(const char* label, const char* id, void* storage, uint32_t size, const char** items,
           avxPListType type);
  std::vector<std::string> items_;
  avxPListType type_;
};

class AVX_API avxPBoolean : public avxParameter {
 public:
  static avxPBoolean* New(const char* label, const char* id, void* storage, uint32_t size);
  unsigned char GetValue(double time) const;
  void SetValue(double time, unsigned char value);

 private:
  avxPBoolean(const char* label, const char* id, void* storage, uint32_t size);
};

class AVX_API avxPString : public avxParameter {
 public:
  static avxPString* New(const char* label, const char* id, void* storage, uint32_t size,
                         avxPStringType type);
  // Copies the value at a time, zero-terminated and cut to size.
  void GetValue(double time, char* buffer, uint32_t size) const;

  // Host side.
  void SetText(double time, const std::string& text);
  avxPStringType Type() const { return type_; }

 private:
  avxPString(const char* label, const char* id, void* storage, uint32_t size,
             avxPStringType type);
  avxPStringType type_;
};
