// Host names of SNMP nodes are looked up here, on a thread of their own, so
// a slow or dead name server stalls neither the loop nor the poll thread.
// Dotted addresses never come here: the table parses them in place.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lark {

struct SnmpResolved {
  int32_t nodeId = 0;
  std::string host;      // the text that was looked up
  uint32_t address = 0;  // in_addr.s_addr; 0 when the name did not resolve
};

// The first IPv4 address of `host` (getaddrinfo), 0 when there is none.
uint32_t LookUpIpv4(const std::string& host);

class SnmpResolver {
 public:
  using LookUp = std::function<uint32_t(const std::string& host)>;
  explicit SnmpResolver(LookUp lookUp = LookUpIpv4);
  ~SnmpResolver();
  SnmpResolver(const SnmpResolver&) = delete;
  SnmpResolver& operator=(const SnmpResolver&) = delete;

  // Asks for `host` on behalf of the node; a request the node already has
  // waiting is replaced.
  void request(int32_t nodeId, const std::string& host);
  // The answers that arrived since the last call.
  std::vector<SnmpResolved> takeResults();
  // Ends the thread once the look-up under way (if any) returns.
  void stop();

 private:
  void run();

  LookUp lookUp_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::deque<SnmpResolved> queue_;
  std::vector<SnmpResolved> results_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace lark
