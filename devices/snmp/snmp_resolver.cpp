#include "devices/snmp/snmp_resolver.h"

#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <utility>

namespace lark {

uint32_t LookUpIpv4(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* res = nullptr;
  if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res) return 0;
  uint32_t addr = reinterpret_cast<const sockaddr_in*>(res->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(res);
  return addr;
}

SnmpResolver::SnmpResolver(LookUp lookUp) : lookUp_(std::move(lookUp)) {
  thread_ = std::thread([this] { run(); });
}

SnmpResolver::~SnmpResolver() { stop(); }

void SnmpResolver::request(int32_t nodeId, const std::string& host) {
  std::lock_guard<std::mutex> lock(mu_);
  auto same = std::find_if(queue_.begin(), queue_.end(),
                           [nodeId](const SnmpResolved& r) { return r.nodeId == nodeId; });
  if (same != queue_.end()) {
    same->host = host;
  } else {
    queue_.push_back(SnmpResolved{nodeId, host, 0});
  }
  cv_.notify_one();
}

std::vector<SnmpResolved> SnmpResolver::takeResults() {
  std::lock_guard<std::mutex> lock(mu_);
  return std::exchange(results_, {});
}

void SnmpResolver::stop() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopping_ = true;
  }
  cv_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void SnmpResolver::run() {
  std::unique_lock<std::mutex> lock(mu_);
  for (;;) {
    cv_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
    if (stopping_) return;
    SnmpResolved job = std::move(queue_.front());
    queue_.pop_front();
    lock.unlock();
    job.address = lookUp_(job.host);
    lock.lock();
    results_.push_back(std::move(job));
  }
}

}  // namespace lark
