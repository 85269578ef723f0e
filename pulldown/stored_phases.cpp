// The two 3:2 phase codes, kept in the host's instance data as "%d,%d" with
// the terminating zero counted in the stored length.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/corvalis.h"

void Corvalis::SavePhases() {
  char text[100];
  std::snprintf(text, sizeof text, "%d,%d", inputPhase, outputPhase);
  SetInstanceData(text, static_cast<uint32_t>(std::strlen(text) + 1));
}

void Corvalis::LoadPhases() {
  uint32_t size = 0;
  const void* data = GetInstanceData(&size);
  if (data == nullptr || size == 0) return;
  // The host's block need not be terminated: read a terminated copy.
  std::string text(static_cast<const char*>(data), size);
  int input = inputPhase;
  int output = outputPhase;
  std::sscanf(text.c_str(), "%d,%d", &input, &output);
  inputPhase = input;
  outputPhase = output;
}
