#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string_view>
#include <thread>

extern char** environ;

namespace lark {

pid_t Spawn(const std::vector<std::string>& argv) { return SpawnWithEnvironment(argv, {}); }

pid_t SpawnWithEnvironment(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  if (argv.empty() || argv[0].empty()) return -1;
  std::vector<char*> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    const std::string_view name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& add : environment)
      replaced = replaced || (add.size() > name.size() && add.compare(0, name.size(), name) == 0 && add[name.size()] == '=');
    if (!replaced) env.push_back(*e);
  }
  for (const std::string& add : environment) env.push_back(const_cast<char*>(add.c_str()));
  env.push_back(nullptr);
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // The service blocks SIGTERM/SIGINT for its signalfd and ignores SIGPIPE;
  // a child must not inherit either, or it could not be stopped normally.
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return -1;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), env.data());
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

int ReapChildren() {
  int reaped = 0;
  for (;;) {
    int status = 0;
    pid_t pid = waitpid(-1, &status, WNOHANG);
    if (pid > 0) {
      ++reaped;
      continue;
    }
    if (pid < 0 && errno == EINTR) continue;
    return reaped;  // 0: children still running; -1/ECHILD: none left
  }
}

bool ReapChild(pid_t pid) {
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r < 0 && errno == EINTR) continue;
    return r != 0;
  }
}

InstanceLock::~InstanceLock() { release(); }

bool InstanceLock::acquire(const std::string& path, std::string* holder) {
  release();
  heldElsewhere_ = false;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (holder != nullptr) *holder = "cannot create " + path + ": " + strerror(errno);
    return false;
  }
  int rc;
  do {
    rc = flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    int err = errno;
    if (holder != nullptr) {
      if (err == EWOULDBLOCK) {
        heldElsewhere_ = true;
        char buf[64];
        ssize_t n = pread(fd, buf, sizeof buf - 1, 0);
        std::string text(buf, n > 0 ? static_cast<size_t>(n) : 0);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
          text.pop_back();
        *holder = text.empty() ? "another process" : "process " + text;
      } else {
        *holder = "cannot lock " + path + ": " + strerror(err);
      }
    }
    close(fd);
    return false;
  }
  // The holder's pid, for the message a second copy prints.
  std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) {
    ssize_t ignored = pwrite(fd, pid.data(), pid.size(), 0);
    (void)ignored;
  }
  fd_ = fd;
  return true;
}

void InstanceLock::release() {
  if (fd_ < 0) return;
  // The file stays: removing it would let a third process lock a new file
  // while a second still holds the old one.
  (void)!ftruncate(fd_, 0);
  close(fd_);
  fd_ = -1;
}

bool WorkerControl::requestAndWait(int req, int want, int tries, int intervalMs) {
  word.store(req);
  for (int i = 0; i < tries; ++i) {
    if (word.load() == want) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
  }
  return word.load() == want;
}

bool WorkerControl::checkpoint(int sleepMs) {
  for (;;) {
    int w = word.load();
    if (w == kStop || w == kStopped) {
      word.store(kStopped);
      return false;
    }
    if (w != kPause && w != kPaused) return true;
    // Answer only the request seen: a stop or resume written meanwhile stays.
    if (w == kPause) word.compare_exchange_strong(w, kPaused);
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
  }
}

}  // namespace lark
