// The service's side of the status exchange with a console on this machine,
// stepped by timer 1035 on the loop: it owns the server object, follows the
// console's object, answers each posted request with the device-data forms
// and detaches from a console that stalls for 3.5 s.
//
// The console's object is read through its descriptor with bounded reads,
// never mapped, so a console that shrinks or drops it cannot fault the
// service: a short read detaches.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "common/status_frame.h"
#include "platform/clock.h"
#include "platform/shared_memory.h"

namespace lark {

class DeviceTree;

enum StatusServerState : uint8_t {
  kStatusCreate = 0,         // create the own object
  kStatusOwnMade = 1,        // own object made
  kStatusOwnMapped = 2,      // own view mapped and locked
  kStatusClientOpened = 3,   // console object opened
  kStatusClientReadable = 4, // console object read
  kStatusAttached = 5,
  kStatusUnusable = 255,     // given up for the life of the service
};

// What AnswerStatusRequest did.
enum StatusAnswerResult : int {
  kStatusRefused = 1,          // bad length, CRC, sub or fields: no answer
  kStatusViewFault = 2,        // the console's object could not be read: detached
  kStatusNotDeviceData = 3,    // a command other than 1: no answer
  kStatusAnswered = 4,
};

inline constexpr size_t kStatusViewMinSize = 51200;
inline constexpr uint32_t kStatusWatchdogMs = 3500;
inline constexpr int kStatusRetryTicks = 50;  // 5 s of timer 1035 while our name is in use

// The answer to one request frame, written into `out` from the frame's byte
// 0: kStatusAnswered with its whole size in `size`, or kStatusRefused /
// kStatusNotDeviceData (nothing to send). Leaf rounds run in the shared
// memory's channels 0 (long form) and 1 (short form).
int BuildStatusAnswer(DeviceTree& tree, CBytes request, Bytes out, size_t* size);

struct StatusServerOptions {
  std::string ownName = kStatusServerObject;
  std::string clientName = kStatusClientObject;
  size_t viewSize = kSharedViewSize;
};

class StatusServer {
 public:
  // `log` writes a line for the service's log; `warn` also an event-log line.
  StatusServer(Clock& clock, DeviceTree& tree, std::function<void(std::string_view)> log,
               StatusServerOptions options = {},
               std::function<void(std::string_view)> warn = nullptr);
  ~StatusServer() { CloseStatusSharedMemory(); }
  StatusServer(const StatusServer&) = delete;
  StatusServer& operator=(const StatusServer&) = delete;

  // Start of the service: drops both objects, clears every state word.
  void ResetStatusSharedMemory();
  // One attach step; each stage falls through to the next when it succeeds.
  void OpenStatusSharedMemory();
  // Detach: the console's object, then the own one (removed); state 0.
  void CloseStatusSharedMemory();
  // Answers the posted request into the own view (state 4 on success).
  int AnswerStatusRequest();
  // Timer 1035: the retry countdown, attaching, the handshake, the watchdog.
  void step();

  uint8_t state() const { return state_; }
  int countdown() const { return countdown_; }

 private:
  void detach() { CloseStatusSharedMemory(); }

  Clock& clock_;
  DeviceTree& tree_;
  std::function<void(std::string_view)> log_;
  StatusServerOptions options_;
  std::function<void(std::string_view)> warn_;
  SharedMemory own_;
  SharedMemory client_;
  uint8_t state_ = kStatusCreate;
  int countdown_ = 0;
  uint32_t progressTick_ = 0;
  bool lockRefusalLogged_ = false;
  bool nameRefusalLogged_ = false;  // once per start: consoles here then use the network
  std::array<uint8_t, kStatusRequestMaxSize> request_{};
};

}  // namespace lark
