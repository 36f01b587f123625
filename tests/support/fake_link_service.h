// A scripted stand-in for the service on the console link's port: it
// accepts one console at a time on its own thread, reads whole request
// frames and sends what the script returns for each (nothing: silence).
// The default script answers a session: hello, map list, the two
// downloads, the call-back, the user and version polls, the table pages and
// the device-data polls. A flood block, when set, goes out without end.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lark::test {

class FakeLinkService {
 public:
  using Script = std::function<std::vector<uint8_t>(const std::vector<uint8_t>& request)>;

  // Listens on `address`:`port`; started() says whether it could.
  FakeLinkService(const std::string& address = "127.0.0.1", uint16_t port = 8900);
  ~FakeLinkService();
  bool started() const { return listener_ >= 0; }

  // The session's answer to a request (also the fallback of custom scripts).
  static std::vector<uint8_t> SessionAnswer(const std::vector<uint8_t>& request);
  void setScript(Script script);
  // Every request received so far.
  std::vector<std::vector<uint8_t>> requests() const;
  int connections() const { return connections_.load(); }
  // Closes the console's connection (the service going away).
  void dropConsole();
  // Sends `block` again and again to every console connection, as fast as
  // it is taken, besides the script's answers (empty: no flood).
  void setFlood(std::vector<uint8_t> block);

 private:
  void run();
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::atomic<int> console_{-1};
  std::atomic<int> connections_{0};
  mutable std::mutex mu_;
  Script script_;
  std::vector<std::vector<uint8_t>> requests_;
  std::shared_ptr<const std::vector<uint8_t>> flood_;  // guarded by mu_; null: no flood
  std::thread thread_;
};

}  // namespace lark::test
