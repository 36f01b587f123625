// larkshm: acts as a console on this machine for one status request through
// the shared memory: creates the console's object, waits for the service to
// attach, posts the request and prints the answer.
//
//   larkshm SUB NODE [COUNT] [--timeout MS]
//       SUB 0..4 (any byte is sent as it stands), NODE the node id, COUNT
//       the leaf count of subs 3 and 4 (default 1)
//
// Prints the answer frame in hex, 32 bytes a line, then "crc ok" or
// "crc bad". Exit status: 0 with an answer whose CRC checks, 1 without one,
// 2 on a usage error.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/status_client.h"

namespace {

using namespace lark;

int Usage() {
  std::fprintf(stderr, "usage: larkshm SUB NODE [COUNT] [--timeout MS]\n");
  return 2;
}

bool Number(const char* text, long max, long* out) {
  char* end = nullptr;
  long v = std::strtol(text, &end, 0);
  if (end == text || *end != '\0' || v < 0 || v > max) return false;
  *out = v;
  return true;
}

// Calls `ready` every 10 ms until it is true or the time is up.
template <class F>
bool WaitFor(F ready, long timeoutMs) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!ready()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> values;
  long timeoutMs = 5000;
  for (int i = 1; i < argc; ++i) {
    long v = 0;
    if (std::strcmp(argv[i], "--timeout") == 0) {
      if (++i >= argc || !Number(argv[i], 600000, &timeoutMs)) return Usage();
    } else if (Number(argv[i], 0xFFFF, &v)) {
      values.push_back(v);
    } else {
      return Usage();
    }
  }
  if (values.size() < 2 || values.size() > 3 || values[0] > 0xFF) return Usage();
  const long count = values.size() == 3 ? values[2] : 1;
  const uint8_t data[4] = {static_cast<uint8_t>(values[1] >> 8), static_cast<uint8_t>(values[1]),
                           static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)};
  uint8_t frame[16];
  const size_t size =
      BuildStatusRequest(frame, kStatusCommandDeviceData, static_cast<uint8_t>(values[0]),
                         CBytes(data, values[0] == 3 || values[0] == 4 ? 4 : 2));

  StatusClient console;
  switch (console.create()) {
    case SharedMemory::Created::kCreated:
      break;
    case SharedMemory::Created::kInUse:
      std::fprintf(stderr, "larkshm: another console holds %s\n", kStatusClientObject);
      return 1;
    case SharedMemory::Created::kFailed:
      std::fprintf(stderr, "larkshm: cannot create %s: %s\n", kStatusClientObject,
                   std::strerror(errno));
      return 1;
  }
  // The service attaches within a tick or two of our header.
  if (!WaitFor([&] { return console.attach() && console.serverState() == kStatusViewIdle; },
               timeoutMs)) {
    std::fprintf(stderr, "larkshm: no service attached to %s\n", kStatusClientObject);
    return 1;
  }
  console.post(CBytes(frame, size));
  std::vector<uint8_t> answer;
  if (!WaitFor(
          [&] {
            // A service that went away meanwhile: follow its successor.
            if (!console.serverAlive()) console.attach();
            auto a = console.answer();
            if (a) answer = std::move(*a);
            return a.has_value();
          },
          timeoutMs)) {
    std::fprintf(stderr, "larkshm: no answer\n");
    return 1;
  }
  console.setOwnState(kStatusViewAnswerTaken);
  for (size_t i = 0; i < answer.size(); ++i) {
    std::printf("%02x%c", answer[i], (i % 32 == 31 || i + 1 == answer.size()) ? '\n' : ' ');
  }
  const bool ok = StatusFrameCrcOk(answer);
  std::printf("crc %s\n", ok ? "ok" : "bad");
  return ok ? 0 : 1;
}
