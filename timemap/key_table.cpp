// The key table: one record per key time, kept in step with the host's keys,
// with the play-order numbers kept a clean sequence 1 … k.
#include <algorithm>
#include <utility>

#include "host/corvalis.h"
#include "timemap/numeric.h"
#include "timemap/timeline_state.h"

namespace {

const avxPNumber* NumberParameter(const avxInstance_v1& instance, const char* id) {
  return dynamic_cast<const avxPNumber*>(instance.FindParameter(id));
}

}  // namespace

void Corvalis::GetKeyTimes(avxParameter* parameter, std::vector<double>& times) {
  times.clear();
  if (parameter == nullptr) return;
  const int32_t count = parameter->GetNumKeys();
  for (int32_t i = 0; i < count; ++i) {
    const avxParamKey* key = parameter->GetKey(i);
    if (key == nullptr) continue;
    const double time = key->GetTime();
    // Only neighbours are merged: the host reports keys in time order.
    if (!times.empty() && times.back() == time) continue;
    times.push_back(time);
  }
}

void Corvalis::RebuildKeyTable() {
  std::vector<double> times;
  GetKeyTimes(FindParameter("order"), times);
  keyTable.clear();
  for (size_t i = 0; i < times.size(); ++i) {
    // Provisional orders: every key a waypoint but the last. The curve values
    // stay zero until a refresh with matching key counts fills them; only the
    // time and order take part in building the timeline.
    const bool lastKey = i + 1 == times.size();
    keyTable.push_back(
        SpeedKey{times[i], 0.0, 0.0, 0.0, lastKey ? 0 : static_cast<int32_t>(i + 1)});
  }
  RefreshKeyTable();
}

void Corvalis::RefreshKeyTable() {
  std::vector<double> times;
  GetKeyTimes(FindParameter("speed"), times);
  if (!times.empty() && times.size() == keyTable.size()) {
    const avxPNumber* speedParameter = NumberParameter(*this, "speed");
    const avxPNumber* strobeParameter = NumberParameter(*this, "strobe");
    const avxPNumber* holdParameter = NumberParameter(*this, "hold");
    const avxPNumber* orderParameter = NumberParameter(*this, "order");
    for (size_t i = 0; i < keyTable.size(); ++i) {
      SpeedKey& record = keyTable[i];
      const double time = times[i];
      record.time = time;
      if (speedParameter != nullptr) record.speed = speedParameter->GetValue(time);
      if (strobeParameter != nullptr) record.strobe = strobeParameter->GetValue(time);
      if (holdParameter != nullptr) record.hold = holdParameter->GetValue(time);
      if (orderParameter != nullptr) record.order = TruncToInt32(orderParameter->GetValue(time));
    }
  }

  // A repeated number stays with its earliest record; later repeats leave
  // the play sequence.
  for (size_t j = 1; j < keyTable.size(); ++j) {
    if (keyTable[j].order <= 0) continue;
    for (size_t k = 0; k < j; ++k) {
      if (keyTable[k].order == keyTable[j].order) {
        keyTable[j].order = 0;
        break;
      }
    }
  }

  // Close the gaps. Lowering every number from the gap upwards by the whole
  // gap at once is the same as lowering them by one until it closes.
  for (int32_t gap = FindOrderGap(); gap != kNone; gap = FindOrderGap()) {
    const int32_t gapOrder = keyTable[gap].order;
    int32_t below = 0;
    for (const SpeedKey& record : keyTable) {
      if (record.order > 0 && record.order < gapOrder) ++below;
    }
    const int32_t lowerBy = std::max(gapOrder - (below + 1), 1);
    for (SpeedKey& record : keyTable) {
      if (record.order >= gapOrder) record.order -= lowerBy;
    }
  }
}

int32_t Corvalis::FindOrderGap() const {
  std::vector<std::pair<int32_t, int32_t>> ordered;
  for (size_t i = 0; i < keyTable.size(); ++i) {
    if (keyTable[i].order > 0) ordered.emplace_back(keyTable[i].order, static_cast<int32_t>(i));
  }
  std::sort(ordered.begin(), ordered.end());
  for (size_t c = 0; c < ordered.size(); ++c) {
    if (static_cast<int64_t>(ordered[c].first) != static_cast<int64_t>(c) + 1) {
      return ordered[c].second;
    }
  }
  return kNone;
}

bool Corvalis::SyncOrderKeys() {
  std::vector<SpeedKey>& table = GetKeyTable();
  avxParameter* parameter = FindParameter("order");
  auto* orderParameter = dynamic_cast<avxPNumber*>(parameter);
  if (orderParameter == nullptr) return false;
  std::vector<double> times;
  GetKeyTimes(parameter, times);
  int32_t rewritten = 0;
  const size_t count = std::min(table.size(), times.size());
  for (size_t i = 0; i < count; ++i) {
    if (table[i].order != TruncToInt32(orderParameter->GetValue(times[i]))) {
      orderParameter->SetValue(times[i], static_cast<double>(table[i].order));
      ++rewritten;
    }
  }
  return rewritten > 0;
}

std::vector<SpeedKey>& Corvalis::GetKeyTable() {
  const avxParameter* orderParameter = FindParameter("order");
  const int32_t keyCount = orderParameter != nullptr ? orderParameter->GetNumKeys() : 0;
  if (static_cast<size_t>(keyCount) != keyTable.size()) RebuildKeyTable();
  return keyTable;
}

int32_t Corvalis::MaxOrder() const {
  int32_t top = 0;
  for (const SpeedKey& record : keyTable) top = std::max(top, record.order);
  return top;
}

int32_t Corvalis::FindKeyByOrder(int32_t playOrder) const {
  for (size_t i = 0; i < keyTable.size(); ++i) {
    if (keyTable[i].order == playOrder) return static_cast<int32_t>(i);
  }
  return kNone;
}
