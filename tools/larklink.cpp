// larklink: a small headless console-link client for tests and for people
// checking a running service.
//
//   larklink discover [ADDRESS] [--port N] [--wait MS]
//       sends the discovery request (default: broadcast to port 9000) and
//       prints every answering address with its answer in hex
//   larklink send HOST[:PORT] HEX...
//       sends the bytes as they stand and prints the reply frame in hex
//   larklink request HOST[:PORT] COMMAND [HEX...]
//       frames a request (command byte, then the data) and prints the reply
//   larklink hello HOST[:PORT] | version HOST[:PORT]
//
// Exit status: 0 with a reply, 1 without one, 2 on a usage error.
#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

int gTimeoutMs = 5000;

int Usage() {
  std::fprintf(stderr,
               "usage: larklink discover [ADDRESS] [--port N] [--wait MS]\n"
               "       larklink send HOST[:PORT] HEX...\n"
               "       larklink request HOST[:PORT] COMMAND [HEX...]\n"
               "       larklink hello HOST[:PORT]\n"
               "       larklink version HOST[:PORT]\n"
               "options: --timeout MS (default 5000)\n");
  return 2;
}

std::string Hex(const Bytes& b) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02x" : "%02x", b[i]);
    s += buf;
  }
  return s;
}

// Hex bytes from arguments like "01 02", "0102" or "01:02".
std::optional<Bytes> ParseHex(const std::vector<std::string>& args) {
  Bytes out;
  std::string digits;
  for (const std::string& a : args) {
    for (char c : a) {
      if (std::isxdigit(static_cast<unsigned char>(c))) {
        digits += c;
      } else if (c != ' ' && c != ':' && c != ',') {
        return std::nullopt;
      }
    }
    if (digits.size() % 2 != 0) return std::nullopt;  // each argument holds whole bytes
  }
  for (size_t i = 0; i < digits.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  }
  return out;
}

bool ParseNumber(const std::string& s, unsigned long max, unsigned long& out) {
  char* end = nullptr;
  errno = 0;
  unsigned long v = std::strtoul(s.c_str(), &end, 0);
  if (s.empty() || *end != '\0' || errno != 0 || v > max) return false;
  out = v;
  return true;
}

// HOST[:PORT] resolved to an IPv4 address (names resolved once, at start).
std::optional<sockaddr_in> ParseTarget(const std::string& text, uint16_t defaultPort) {
  std::string host = text;
  unsigned long port = defaultPort;
  size_t colon = text.rfind(':');
  if (colon != std::string::npos) {
    host = text.substr(0, colon);
    if (!ParseNumber(text.substr(colon + 1), 65535, port)) return std::nullopt;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* res = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || res == nullptr) return std::nullopt;
  sockaddr_in a = *reinterpret_cast<sockaddr_in*>(res->ai_addr);
  freeaddrinfo(res);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

bool WaitReadable(int fd, int ms) {
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = poll(&p, 1, ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

bool ReadExact(int fd, uint8_t* out, size_t n, std::chrono::steady_clock::time_point deadline) {
  size_t done = 0;
  while (done < n) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0 || !WaitReadable(fd, static_cast<int>(left))) return false;
    ssize_t got = recv(fd, out + done, n - done, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

int Exchange(const sockaddr_in& to, const Bytes& frame) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::perror("socket");
    return 1;
  }
  int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  timeval tv{gTimeoutMs / 1000, (gTimeoutMs % 1000) * 1000};
  setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
  if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    std::fprintf(stderr, "connect %s:%u: %s\n", inet_ntoa(to.sin_addr), ntohs(to.sin_port),
                 std::strerror(errno));
    close(fd);
    return 1;
  }
  if (send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(frame.size())) {
    std::perror("send");
    close(fd);
    return 1;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(gTimeoutMs);
  Bytes reply(4);
  bool ok = ReadExact(fd, reply.data(), 4, deadline);
  if (ok) {
    size_t len = (static_cast<size_t>(reply[2]) << 8) | reply[3];
    reply.resize(4 + len);
    ok = len == 0 || ReadExact(fd, reply.data() + 4, len, deadline);
  }
  close(fd);
  if (!ok) {
    std::fprintf(stderr, "no reply\n");
    return 1;
  }
  std::printf("%s\n", Hex(reply).c_str());
  return 0;
}

Bytes RequestFrame(uint8_t command, const Bytes& data) {
  Bytes f = {1, 1, 0, 0, command};
  f.insert(f.end(), data.begin(), data.end());
  f[2] = static_cast<uint8_t>((f.size() - 4) >> 8);
  f[3] = static_cast<uint8_t>(f.size() - 4);
  return f;
}

int Discover(const std::vector<std::string>& args) {
  std::string target = "255.255.255.255";
  unsigned long port = 9000, waitMs = 1000;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--port" && i + 1 < args.size()) {
      if (!ParseNumber(args[++i], 65535, port)) return Usage();
    } else if (args[i] == "--wait" && i + 1 < args.size()) {
      if (!ParseNumber(args[++i], 600000, waitMs)) return Usage();
    } else if (args[i].rfind("--", 0) == 0) {
      return Usage();
    } else {
      target = args[i];
    }
  }
  auto to = ParseTarget(target, static_cast<uint16_t>(port));
  if (!to) return Usage();
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::perror("socket");
    return 1;
  }
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  const uint8_t request[5] = {1, 1, 0, 1, 1};
  if (sendto(fd, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&*to), sizeof *to) < 0) {
    std::perror("sendto");
    close(fd);
    return 1;
  }
  int answers = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  while (true) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0 || !WaitReadable(fd, static_cast<int>(left))) break;
    uint8_t buf[2048];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) continue;
    std::printf("%s %s\n", inet_ntoa(from.sin_addr), Hex(Bytes(buf, buf + n)).c_str());
    ++answers;
  }
  close(fd);
  return answers > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--timeout" && i + 1 < argc) {
      unsigned long ms;
      if (!ParseNumber(argv[++i], 600000, ms)) return Usage();
      gTimeoutMs = static_cast<int>(ms);
    } else {
      args.push_back(a);
    }
  }
  if (args.empty()) return Usage();
  const std::string verb = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "discover") return Discover(rest);
  if (rest.empty()) return Usage();
  auto to = ParseTarget(rest[0], 8900);
  if (!to) return Usage();
  std::vector<std::string> tail(rest.begin() + 1, rest.end());
  if (verb == "hello" && tail.empty()) return Exchange(*to, RequestFrame(1, {}));
  if (verb == "version" && tail.empty()) return Exchange(*to, RequestFrame(33, {9, 7}));
  if (verb == "send") {
    auto bytes = ParseHex(tail);
    if (!bytes || bytes->empty()) return Usage();
    return Exchange(*to, *bytes);
  }
  if (verb == "request" && !tail.empty()) {
    unsigned long command;
    if (!ParseNumber(tail[0], 255, command)) return Usage();
    auto data = ParseHex(std::vector<std::string>(tail.begin() + 1, tail.end()));
    if (!data || data->size() > 0xFFFF - 1) return Usage();
    return Exchange(*to, RequestFrame(static_cast<uint8_t>(command), *data));
  }
  return Usage();
}
