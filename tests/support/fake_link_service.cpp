#include "tests/support/fake_link_service.h"

#include <arpa/inet.h>
#include <errno.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "linkserver/link_frame.h"
#include "tests/support/link_test_client.h"

namespace lark::test {

namespace {
std::vector<uint8_t> ReplyOf(uint8_t command, std::vector<uint8_t> data) {
  return LinkFrameOf(kLinkKindReply, command, data);
}
}  // namespace

FakeLinkService::FakeLinkService(const std::string& address, uint16_t port) : script_(SessionAnswer) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  inet_pton(AF_INET, address.c_str(), &a.sin_addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, 4) != 0 || pipe(wake_) != 0) {
    close(fd);
    return;
  }
  listener_ = fd;
  thread_ = std::thread([this] { run(); });
}

FakeLinkService::~FakeLinkService() {
  if (listener_ < 0) return;
  (void)!write(wake_[1], "x", 1);
  thread_.join();
  close(listener_);
  close(wake_[0]);
  close(wake_[1]);
}

void FakeLinkService::setScript(Script script) {
  std::lock_guard<std::mutex> lock(mu_);
  script_ = std::move(script);
}

std::vector<std::vector<uint8_t>> FakeLinkService::requests() const {
  std::lock_guard<std::mutex> lock(mu_);
  return requests_;
}

void FakeLinkService::dropConsole() {
  const int fd = console_.exchange(-1);
  if (fd >= 0) shutdown(fd, SHUT_RDWR);
}

std::vector<uint8_t> FakeLinkService::SessionAnswer(const std::vector<uint8_t>& r) {
  const uint8_t command = r.size() > 4 ? r[4] : 0;
  const uint8_t sub = r.size() > 5 ? r[5] : 0;
  switch (command) {
    case kLinkCmdHello:
      return ReplyOf(command, {1});
    case kLinkCmdGetMapList: {
      const std::string text = "Fake.UMF;Fake.UMF;Fake.UMF;";
      std::vector<uint8_t> d = {3};
      d.insert(d.end(), text.begin(), text.end());
      return ReplyOf(command, d);
    }
    case kLinkCmdDownloadSettings:
      return ReplyOf(command, {7, 0, '[', 'M', 'a', 'i', 'n', ']', '\r', '\n'});
    case kLinkCmdDownloadFile: {
      const std::string map = "[Main]\r\nID=0\r\n";
      std::vector<uint8_t> d = {9, 0};
      d.insert(d.end(), map.begin(), map.end());
      return ReplyOf(command, d);
    }
    case kLinkCmdCallBack:
      return ReplyOf(command, {13});
    case kLinkCmdUserDatabase: {
      std::vector<uint8_t> d = {23, 2};
      d.resize(2 + 68, 0);
      return ReplyOf(command, d);
    }
    case kLinkCmdVersion:
      return ReplyOf(command, {65, 9, 7});
    case kLinkCmdEventTables:
      return ReplyOf(command, {42, sub});
    case kLinkCmdGetDeviceData:
      return ReplyOf(command, {12});
    default:
      return ReplyOf(command, {LinkFailureCode(command)});
  }
}

void FakeLinkService::setFlood(std::vector<uint8_t> block) {
  std::lock_guard<std::mutex> lock(mu_);
  flood_ = block.empty() ? nullptr : std::make_shared<const std::vector<uint8_t>>(std::move(block));
}

void FakeLinkService::run() {
  std::vector<uint8_t> buf;
  size_t floodAt = 0;  // of the flood block sent so far
  for (;;) {
    const int console = console_.load();
    std::shared_ptr<const std::vector<uint8_t>> flood;
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (console >= 0) flood = flood_;
    }
    const short watch = POLLIN | (flood ? POLLOUT : 0);
    pollfd p[2] = {{wake_[0], POLLIN, 0}, {console >= 0 ? console : listener_, watch, 0}};
    if (poll(p, 2, -1) < 0) continue;
    if (p[0].revents) {
      if (console >= 0) close(console);
      return;
    }
    if (console < 0) {
      const int fd = accept(listener_, nullptr, nullptr);
      if (fd >= 0) {
        buf.clear();
        floodAt = 0;
        console_ = fd;
        ++connections_;
      }
      continue;
    }
    if ((p[1].revents & POLLOUT) && flood) {
      floodAt %= flood->size();  // the stream stays in step across short sends
      const ssize_t n = send(console, flood->data() + floodAt, flood->size() - floodAt,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) floodAt += static_cast<size_t>(n);
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        close(console);
        console_ = -1;
        continue;
      }
    }
    if (!(p[1].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    uint8_t in[4096];
    const ssize_t n = recv(console, in, sizeof in, 0);
    if (n <= 0) {
      close(console);
      console_ = -1;
      continue;
    }
    buf.insert(buf.end(), in, in + n);
    while (buf.size() >= 4) {
      const size_t size = (size_t(buf[2]) << 8 | buf[3]) + 4;
      if (buf.size() < size) break;
      std::vector<uint8_t> request(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(size));
      buf.erase(buf.begin(), buf.begin() + static_cast<ptrdiff_t>(size));
      Script script;
      {
        std::lock_guard<std::mutex> lock(mu_);
        requests_.push_back(request);
        script = script_;
      }
      const std::vector<uint8_t> out = script(request);
      if (!out.empty()) (void)!send(console, out.data(), out.size(), MSG_NOSIGNAL);
    }
  }
}

}  // namespace lark::test
