// What the serial device simulators share: their line (a new pseudo-terminal
// linked as DIR/COMn, an existing tty, or an inherited descriptor), whole
// writes, the scripted faults by request number, and the replies with those
// faults applied to the line.
#pragma once
#include <errno.h>
#include <fcntl.h>
#include <pty.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <thread>

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

inline void MakeRaw(int fd) {
  termios t;
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

inline void WriteAll(int fd, const std::string& s) {
  size_t done = 0;
  for (int tries = 0; done < s.size() && tries < 100; ++tries) {
    ssize_t n = write(fd, s.data() + done, s.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      return;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

// Writes a reply, in two halves 60 ms apart when `split`.
inline void WriteReply(int fd, const std::string& reply, bool split) {
  if (!split) return WriteAll(fd, reply);
  size_t half = reply.size() / 2;
  WriteAll(fd, reply.substr(0, half));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  WriteAll(fd, reply.substr(half));
}

struct Line {
  int fd = -1;
  int keepSlave = -1;  // held open so the line lives while the service reopens it
  bool owned = false;  // fd is ours to close
  std::string where;
};

// Opens the line of exactly one of `ptyDir` (with `com`), `device`, `fd`;
// nonblocking, with requests left from before a restart read away. Prints
// the reason on stderr under `prog` and returns false when it cannot.
inline bool OpenLine(const char* prog, const std::string& ptyDir, int com,
                     const std::string& device, int fd, Line* out) {
  if (fd >= 0) {
    out->fd = fd;
    out->where = "fd " + std::to_string(fd);
  } else if (!device.empty()) {
    out->fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (out->fd < 0) {
      fprintf(stderr, "%s: open %s: %s\n", prog, device.c_str(), strerror(errno));
      return false;
    }
    out->owned = true;
    MakeRaw(out->fd);
    out->where = device;
  } else {
    char name[256];
    if (openpty(&out->fd, &out->keepSlave, name, nullptr, nullptr) != 0) {
      fprintf(stderr, "%s: openpty: %s\n", prog, strerror(errno));
      return false;
    }
    out->owned = true;
    MakeRaw(out->keepSlave);
    std::string link = ptyDir + "/COM" + std::to_string(com);
    std::string tmp = link + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(name, tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
      fprintf(stderr, "%s: link %s -> %s: %s\n", prog, link.c_str(), name, strerror(errno));
      return false;
    }
    out->where = link;
  }
  int flags = fcntl(out->fd, F_GETFL);
  fcntl(out->fd, F_SETFL, flags | O_NONBLOCK);
  char stale[256];
  while (read(out->fd, stale, sizeof stale) > 0) {
  }
  return true;
}

inline void CloseLine(Line& line) {
  if (line.keepSlave >= 0) close(line.keepSlave);
  if (line.owned) close(line.fd);
}

}  // namespace lark::sim
