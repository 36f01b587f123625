// What the serial UPS simulators share beyond their line (tools/sim_line.h):
// the scripted faults by request number and the replies with those faults
// applied to the line.
#pragma once

#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

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


// Reads requests from the line until `stop` is set, giving the buffer to
// `takeOne` (which takes one whole request off its front, false when it needs
// more) after each read. A read of nothing or EIO means no one has the other
// end open (the service is reopening it): wait a little. A request left
// half-sent for a second is noise.
template <class TakeOne>
void ServeRequests(int fd, const volatile sig_atomic_t& stop, TakeOne takeOne) {
  std::string buf;
  auto lastByte = std::chrono::steady_clock::now();
  while (!stop) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, 100);
    if (r < 0 && errno != EINTR) break;
    if (r > 0) {
      char tmp[512];
      ssize_t n = read(fd, tmp, sizeof tmp);
      if (n > 0) {
        buf.append(tmp, static_cast<size_t>(n));
        lastByte = std::chrono::steady_clock::now();
      } else if (n == 0 || errno == EIO) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    while (takeOne(buf)) {
    }
    if (!buf.empty() && std::chrono::steady_clock::now() - lastByte > std::chrono::seconds(1)) {
      buf.clear();
    }
  }
}

}  // namespace lark::sim
