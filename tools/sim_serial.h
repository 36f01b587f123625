// What the serial UPS simulators share beyond their line (tools/sim_line.h):
// the scripted faults by request number and the replies with those faults
// applied to the line.
#pragma once

#include <stdlib.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

#include "tools/sim_line.h"

namespace lark::sim {

enum class FaultKind { kSilence, kBadSum, kWrongAddr, kSplit, kGarbage, kShort };
struct Fault {
  FaultKind kind;
  long first;  // 1-based request number
  long count;  // 0 = for ever
  bool hits(long n) const { return n >= first && (count == 0 || n < first + count); }
};

// "KIND:FIRST[:COUNT]" with KIND one of `kinds`.
inline bool ParseFault(const std::string& text, const std::map<std::string, FaultKind>& kinds,
                       Fault* out) {
  size_t c1 = text.find(':');
  if (c1 == std::string::npos) return false;
  auto it = kinds.find(text.substr(0, c1));
  if (it == kinds.end()) return false;
  char* end = nullptr;
  long first = strtol(text.c_str() + c1 + 1, &end, 10);
  long count = 1;
  if (*end == ':') count = strtol(end + 1, &end, 10);
  if (*end != '\0' || first < 1 || count < 0) return false;
  *out = {it->second, first, count};
  return true;
}

inline void WriteReply(int fd, const std::string& reply, bool split) {
  if (!split) return WriteAll(fd, reply);
  size_t half = reply.size() / 2;
  WriteAll(fd, reply.substr(0, half));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  WriteAll(fd, reply.substr(half));
}

}  // namespace lark::sim
