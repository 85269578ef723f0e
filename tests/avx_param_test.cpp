// Keyed parameters as the host keeps them.
#include <gtest/gtest.h>

#include <cstring>

#include "avx/avx.h"

namespace {

std::vector<uint8_t> Double(double v) {
  std::vector<uint8_t> b(8);
  std::memcpy(b.data(), &v, 8);
  return b;
}

TEST(AvxParameters, NumbersInterpolateAndOthersHold) {
  int32_t numberStorage = 5;
  std::unique_ptr<avxPNumber> number(avxPNumber::New("N", "n", &numberStorage, 4, 0, 100, 1, 1, 0));
  EXPECT_EQ(number->GetValue(0.3), 5.0);  // no keys: the value given at creation
  number->SetKeyBytes(0.0, Double(10.0));
  number->SetKeyBytes(1.0, Double(20.0));
  number->SetKeyBytes(0.5, Double(40.0));
  ASSERT_EQ(number->GetNumKeys(), 3);
  EXPECT_EQ(number->GetKey(1)->GetTime(), 0.5);  // kept in time order
  EXPECT_DOUBLE_EQ(number->GetValue(0.25), 25.0);
  EXPECT_DOUBLE_EQ(number->GetValue(0.75), 30.0);
  EXPECT_DOUBLE_EQ(number->GetValue(-1.0), 10.0);
  EXPECT_DOUBLE_EQ(number->GetValue(2.0), 20.0);
  number->WriteStorage(0.3);
  EXPECT_EQ(numberStorage, 28);  // 10 + (40 - 10) × 0.6, truncated into the integer field
  number->SetValue(0.5, 7.0);
  EXPECT_EQ(number->GetValue(0.5), 7.0);
  EXPECT_EQ(number->GetNumKeys(), 3);

  int32_t listStorage = 2;
  const char* items[] = {"a", "b", "c", nullptr};
  std::unique_ptr<avxPList> list(avxPList::New("L", "l", &listStorage, 4, items, 1));
  list->SetValue(0.0, 0);  // no keys: sets the value itself
  EXPECT_EQ(list->GetValue(0.9), 0);
  list->SetKeyBytes(0.0, {1, 0, 0, 0});
  list->SetKeyBytes(0.5, {2, 0, 0, 0});
  EXPECT_EQ(list->GetValue(0.49), 1);
  EXPECT_EQ(list->GetValue(0.5), 2);
  EXPECT_EQ(list->GetKey(0)->GetValueSize(), 4u);

  bool flag = true;
  std::unique_ptr<avxPBoolean> boolean(avxPBoolean::New("B", "b", &flag, 1));
  EXPECT_EQ(boolean->GetValue(0.0), 1);
  boolean->SetKeyBytes(0.0, {1});
  boolean->SetKeyBytes(0.6, {0});
  EXPECT_EQ(boolean->GetValue(0.59), 1);
  boolean->WriteStorage(0.7);
  EXPECT_FALSE(flag);
  boolean->GetKey(0)->CopyValue(boolean->GetKey(1));
  EXPECT_EQ(boolean->GetValue(0.0), 0);

  char text[16] = "00:00:00:00";
  std::unique_ptr<avxPString> string(avxPString::New("S", "s", text, sizeof text, 0));
  char read[8];
  string->GetValue(0.0, read, sizeof read);
  EXPECT_STREQ(read, "00:00:0");  // cut to the buffer, terminated
  string->SetText(0.0, "01:00:00;00");
  string->WriteStorage(0.0);
  EXPECT_STREQ(text, "01:00:00;00");
}

}  // namespace
