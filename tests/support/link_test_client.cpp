#include "tests/support/link_test_client.h"

#include <algorithm>
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace lark::test {

namespace {

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  return a;
}

bool WaitReadable(int fd, int timeoutMs) {
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, timeoutMs);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

}  // namespace

std::vector<uint8_t> LinkFrameOf(uint8_t kind, uint8_t command, const std::vector<uint8_t>& data) {
  // Sized once and copied: g++ 12 at -O2 reports a false -Warray-bounds on
  // a vector::insert after an initializer list here.
  std::vector<uint8_t> f(5 + data.size());
  const size_t len = f.size() - 4;
  f[0] = 1;
  f[1] = kind;
  f[2] = static_cast<uint8_t>(len >> 8);
  f[3] = static_cast<uint8_t>(len);
  f[4] = command;
  std::copy(data.begin(), data.end(), f.begin() + 5);
  return f;
}

std::vector<uint8_t> LinkRequestFrame(uint8_t command, std::vector<uint8_t> data) {
  return LinkFrameOf(1, command, data);
}

namespace {

void PutText(std::vector<uint8_t>& v, const std::string& s, size_t size) {
  const size_t at = v.size();
  v.resize(at + size, 0);
  std::copy_n(s.begin(), std::min(s.size(), size), v.begin() + static_cast<long>(at));
}

}  // namespace

std::vector<uint8_t> SessionUserRecord(const std::string& account, const std::string& password,
                                       uint8_t state) {
  std::vector<uint8_t> v{0, state};
  PutText(v, account, 33);
  PutText(v, password, 32);
  v.push_back(0);
  return v;
}

std::vector<uint8_t> AccountRecord(const std::string& account, const std::string& password,
                                   uint32_t level) {
  std::vector<uint8_t> v;
  PutText(v, account, 33);
  PutText(v, account, 33);
  PutText(v, password, 34);
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(level >> (8 * i)));
  PutText(v, account, 256);
  return v;
}

LinkTestClient::LinkTestClient(uint16_t port) {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) return;
  int one = 1;
  setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  sockaddr_in a = Loopback(port);
  if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) close();
}

std::unique_ptr<LinkTestClient> LinkTestClient::Adopt(int fd) {
  std::unique_ptr<LinkTestClient> c(new LinkTestClient());
  c->fd_ = fd;
  return c;
}

LinkTestClient::~LinkTestClient() { close(); }

void LinkTestClient::close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

uint16_t LinkTestClient::localPort() const {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
  return ntohs(a.sin_port);
}

bool LinkTestClient::send(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

bool LinkTestClient::readExact(uint8_t* out, size_t n, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  size_t done = 0;
  while (done < n) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (left <= 0 || !WaitReadable(fd_, static_cast<int>(left))) return false;
    ssize_t got = recv(fd_, out + done, n - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

std::optional<std::vector<uint8_t>> LinkTestClient::readFrame(int timeoutMs) {
  if (fd_ < 0) return std::nullopt;
  std::vector<uint8_t> f(4);
  if (!readExact(f.data(), 4, timeoutMs)) return std::nullopt;
  const size_t len = (static_cast<size_t>(f[2]) << 8) | f[3];
  f.resize(4 + len);
  if (len > 0 && !readExact(f.data() + 4, len, timeoutMs)) return std::nullopt;
  return f;
}

bool LinkTestClient::waitClosed(int timeoutMs) {
  if (fd_ < 0 || !WaitReadable(fd_, timeoutMs)) return false;
  uint8_t b;
  ssize_t n = recv(fd_, &b, 1, 0);
  return n == 0 || (n < 0 && errno == ECONNRESET);
}

bool LinkTestClient::quietFor(int ms) { return fd_ >= 0 && !WaitReadable(fd_, ms); }

std::optional<std::vector<uint8_t>> LinkTestClient::request(uint8_t command,
                                                            std::vector<uint8_t> data) {
  if (!send(LinkRequestFrame(command, std::move(data)))) return std::nullopt;
  return readFrame();
}

CallBackListener::CallBackListener() {
  fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = Loopback(0);
  if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 5) != 0) {
    return;
  }
  socklen_t len = sizeof a;
  getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
}

CallBackListener::~CallBackListener() {
  if (fd_ >= 0) ::close(fd_);
}

std::unique_ptr<LinkTestClient> CallBackListener::accept(int timeoutMs) {
  if (fd_ < 0 || !WaitReadable(fd_, timeoutMs)) return nullptr;
  int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return nullptr;
  return LinkTestClient::Adopt(fd);
}

std::optional<std::vector<uint8_t>> UdpExchange(uint16_t port, const std::vector<uint8_t>& request,
                                                int timeoutMs) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::nullopt;
  sockaddr_in a = Loopback(port);
  std::optional<std::vector<uint8_t>> answer;
  if (sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
          static_cast<ssize_t>(request.size()) &&
      WaitReadable(fd, timeoutMs)) {
    std::vector<uint8_t> buf(2048);
    ssize_t n = recv(fd, buf.data(), buf.size(), 0);
    if (n >= 0) {
      buf.resize(static_cast<size_t>(n));
      answer = std::move(buf);
    }
  }
  ::close(fd);
  return answer;
}

int RunProgram(const std::vector<std::string>& argv, std::string& out, bool withStderr) {
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  if (withStderr) posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  if (rc != 0) {
    ::close(pipeFds[0]);
    return -1;
  }
  out.clear();
  char buf[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buf, sizeof buf)) != 0) {
    if (n < 0) {
      if (errno == EINTR) continue;
      break;
    }
    out.append(buf, static_cast<size_t>(n));
  }
  ::close(pipeFds[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

LinkServerHarness::LinkServerHarness(LinkServerOptions options) {
  server = std::make_unique<LinkServer>(loop, clock, log, queues, services, options);
  server->setSystemTexts([](int n) {
    return n == kTextConsoleConnected      ? std::string("Console %s connected")
           : n == kTextConsoleDisconnected ? std::string("Console %s disconnected")
                                           : std::string();
  });
  started = server->start() && server->listening();
  thread_ = std::thread([this] { loop.run(); });
}

LinkServerHarness::~LinkServerHarness() {
  run([this] { server.reset(); });
  loop.quit();
  thread_.join();
}

void LinkServerHarness::run(const std::function<void()>& f) {
  std::promise<void> done;
  loop.post([&] {
    f();
    done.set_value();
  });
  done.get_future().wait();
}

void LinkServerHarness::advanceAndTick(uint32_t ms) {
  clock.advance(ms);
  run([this] { server->tick(); });
}

bool LinkServerHarness::waitFor(const std::function<bool()>& cond, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (get<bool>(cond)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

}  // namespace lark::test
