// Blocking loopback clients for the console link tests: a console's main
// connection, its call-back listener, discovery, and a harness that runs a
// LinkServer on an EventLoop thread with a fake clock.
#pragma once
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "linkserver/link_server.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "tests/support/recording_event_log.h"

namespace lark::test {

// Generous limit for every blocking wait, so a fault fails the test instead of hanging it.
inline constexpr int kLinkWaitMs = 5000;

// A whole link frame: marker 1, kind, 16-bit length, command, data.
std::vector<uint8_t> LinkFrameOf(uint8_t kind, uint8_t command, const std::vector<uint8_t>& data);
std::vector<uint8_t> LinkRequestFrame(uint8_t command, std::vector<uint8_t> data = {});

// Records of the user database command 12: a SessionUserRecord (enabled,
// link state, account[33], password[32], level) and an AccountRecord
// (account[33], real name[33], password[34], u32 level, remark[256]; the
// account's name also as real name and remark).
std::vector<uint8_t> SessionUserRecord(const std::string& account, const std::string& password,
                                       uint8_t state = 0);
std::vector<uint8_t> AccountRecord(const std::string& account, const std::string& password,
                                   uint32_t level);

class LinkTestClient {
 public:
  // Connects to 127.0.0.1:`port`; connected() tells whether it worked.
  explicit LinkTestClient(uint16_t port);
  // Takes over a connected socket (an accepted call-back connection).
  static std::unique_ptr<LinkTestClient> Adopt(int fd);
  ~LinkTestClient();
  LinkTestClient(const LinkTestClient&) = delete;
  LinkTestClient& operator=(const LinkTestClient&) = delete;

  bool connected() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  uint16_t localPort() const;
  bool send(const std::vector<uint8_t>& bytes);
  // One whole frame (header, then length bytes), or nullopt on time-out or close.
  std::optional<std::vector<uint8_t>> readFrame(int timeoutMs = kLinkWaitMs);
  // True when the peer closed (recv 0 or reset) within the wait; false on data or time-out.
  bool waitClosed(int timeoutMs = kLinkWaitMs);
  // True when nothing arrives within `ms` (the connection stays open).
  bool quietFor(int ms);
  // Sends a request and reads its reply.
  std::optional<std::vector<uint8_t>> request(uint8_t command, std::vector<uint8_t> data = {});
  void close();

 private:
  LinkTestClient() = default;
  bool readExact(uint8_t* out, size_t n, int timeoutMs);
  int fd_ = -1;
};

// A console's call-back listener: accepts the service's connection.
class CallBackListener {
 public:
  CallBackListener();  // any free loopback port
  ~CallBackListener();
  uint16_t port() const { return port_; }
  // Accepts the service's connection (waits up to the limit).
  std::unique_ptr<LinkTestClient> accept(int timeoutMs = kLinkWaitMs);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// Runs a program with `argv` (no shell), returns its exit status and puts
// its standard output (and its error output, when asked) in `out`; -1 when
// it could not be started.
int RunProgram(const std::vector<std::string>& argv, std::string& out, bool withStderr = false);

// Sends `request` to 127.0.0.1:`port` over UDP and returns the answer bytes.
std::optional<std::vector<uint8_t>> UdpExchange(uint16_t port, const std::vector<uint8_t>& request,
                                                int timeoutMs = kLinkWaitMs);

// A LinkServer on its own loop thread, with a fake clock and recording log.
class LinkServerHarness {
 public:
  explicit LinkServerHarness(LinkServerOptions options = {});
  ~LinkServerHarness();

  // Runs `f` on the loop thread and waits for it.
  void run(const std::function<void()>& f);
  template <class T>
  T get(const std::function<T()>& f) {
    T value{};
    run([&] { value = f(); });
    return value;
  }
  // Advances the fake clock, then runs one one-second pass.
  void advanceAndTick(uint32_t ms);
  // Waits until `cond` (evaluated on the loop thread) holds; false after the limit.
  bool waitFor(const std::function<bool()>& cond, int timeoutMs = kLinkWaitMs);

  FakeClock clock{100000};
  RecordingEventLog log;
  CommandQueues queues;
  ControlLock lock{clock, queues};
  LinkServices services{lock};
  EventLoop loop;
  std::unique_ptr<LinkServer> server;
  bool started = false;

 private:
  std::thread thread_;
};

}  // namespace lark::test
