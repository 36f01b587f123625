// What the simulators in tools/ share: their command-line reader, and the
// serial end of a device simulator (a pseudo-terminal linked as DIR/COMn, an
// existing tty such as a socat end, or an inherited descriptor) with raw
// mode, whole writes and the stop signals.
#pragma once
#include <errno.h>
#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

namespace lark::sim {

// Walks "--option [value]" arguments; a missing value, a bad number or a
// call of usage() ends the program with status 2 and a pointer to the
// program's source head, where its options are described.
class SimArgs {
 public:
  SimArgs(const char* program, int argc, char** argv) : program_(program), argc_(argc), argv_(argv) {}
  // Moves to the next option; false after the last.
  bool next() {
    if (++i_ >= argc_) return false;
    option_ = argv_[i_];
    return true;
  }
  const std::string& option() const { return option_; }
  std::string value() {
    if (i_ + 1 >= argc_) usage("missing value after " + option_);
    return argv_[++i_];
  }
  int number() { return number(value()); }
  // `text` as a whole decimal number.
  int number(const std::string& text) const {
    char* end = nullptr;
    long n = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') usage("not a number: " + text);
    return static_cast<int>(n);
  }
  [[noreturn]] void usage(const std::string& why) const {
    fprintf(stderr, "%s: %s\n(see the head of tools/%s.cpp for the options)\n", program_,
            why.c_str(), program_);
    exit(2);
  }

 private:
  const char* program_;
  int argc_;
  char** argv_;
  int i_ = 0;  // the option being read
  std::string option_;
};

inline void MakeRaw(int fd) {
  termios t;
  if (tcgetattr(fd, &t) != 0) return;
  cfmakeraw(&t);
  tcsetattr(fd, TCSANOW, &t);
}

// Writes all of `s`, waiting briefly while the line is full; gives up on an error.
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

// SIGTERM and SIGINT call `handler`; SIGPIPE is ignored.
inline void CatchStopSignals(void (*handler)(int)) {
  struct sigaction sa {};
  sa.sa_handler = handler;
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

struct SimLine {
  int fd = -1;         // the simulator's end, non-blocking
  int keepSlave = -1;  // held open so a pty lives while the service reopens it
  bool ownsFd = true;  // false for an inherited descriptor
  std::string where;   // for the "ready" line
};

// Opens the line named by exactly one of `ptyDir` (with `com`), `device` or
// `inheritedFd` (>= 0). Prints the failure as "<program>: ..." and returns false.
inline bool OpenSimLine(const char* program, const std::string& ptyDir, int com,
                        const std::string& device, int inheritedFd, SimLine* line) {
  if (inheritedFd >= 0) {
    line->fd = inheritedFd;
    line->ownsFd = false;
    line->where = "fd " + std::to_string(inheritedFd);
  } else if (!device.empty()) {
    line->fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line->fd < 0) {
      fprintf(stderr, "%s: open %s: %s\n", program, device.c_str(), strerror(errno));
      return false;
    }
    MakeRaw(line->fd);
    line->where = device;
  } else {
    char name[256];
    if (openpty(&line->fd, &line->keepSlave, name, nullptr, nullptr) != 0) {
      fprintf(stderr, "%s: openpty: %s\n", program, strerror(errno));
      return false;
    }
    MakeRaw(line->keepSlave);
    std::string link = ptyDir + "/COM" + std::to_string(com);
    std::string tmp = link + ".tmp" + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(name, tmp.c_str()) != 0 || rename(tmp.c_str(), link.c_str()) != 0) {
      fprintf(stderr, "%s: link %s -> %s: %s\n", program, link.c_str(), name, strerror(errno));
      return false;
    }
    line->where = link;
  }
  int flags = fcntl(line->fd, F_GETFL);
  fcntl(line->fd, F_SETFL, flags | O_NONBLOCK);
  return true;
}

inline void CloseSimLine(SimLine& line) {
  if (line.keepSlave >= 0) close(line.keepSlave);
  if (line.ownsFd && line.fd >= 0) close(line.fd);
  line = SimLine{};
}

}  // namespace lark::sim
