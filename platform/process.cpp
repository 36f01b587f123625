#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string_view>
#include <thread>

extern char** environ;

namespace lark {

pid_t Spawn(const std::vector<std::string>& argv) { return SpawnWithEnvironment(argv, {}); }

namespace {

// Our environment with "NAME=value" entries added or replacing ours; the
// pointers live as long as `environment` and environ.
std::vector<char*> MergedEnvironment(const std::vector<std::string>& environment) {
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
  return env;
}

std::vector<char*> ArgvOf(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  return args;
}

// posix_spawnp with the signal state a child needs: the service blocks
// SIGTERM/SIGINT for its signalfd and ignores SIGPIPE; a child must not
// inherit either, or it could not be stopped normally. The error number, or 0.
int SpawnChild(pid_t* pid, const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const posix_spawn_file_actions_t* actions, bool newSession = false) {
  std::vector<char*> env = MergedEnvironment(environment);
  std::vector<char*> args = ArgvOf(argv);
  posix_spawnattr_t attr;
  if (int rc = posix_spawnattr_init(&attr); rc != 0) return rc;
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  sigaddset(&defaults, SIGXFSZ);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF |
                                      static_cast<short>(newSession ? POSIX_SPAWN_SETSID : 0));
  const int rc = posix_spawnp(pid, args[0], actions, &attr, args.data(), env.data());
  posix_spawnattr_destroy(&attr);
  return rc;
}

}  // namespace

pid_t SpawnWithEnvironment(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  if (argv.empty() || argv[0].empty()) return -1;
  pid_t pid = -1;
  return SpawnChild(&pid, argv, environment, nullptr) == 0 ? pid : -1;
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

bool ChildProcess::start(const Options& options) {
  terminate();
  status_.reset();
  error_.clear();
  if (options.argv.empty() || options.argv[0].empty()) {
    error_ = "no program";
    return false;
  }
  // The whole input goes into the pipe before the child runs, so writing it
  // can neither block nor meet a reader that has already gone (SIGPIPE).
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    error_ = std::string("pipe: ") + strerror(errno);
    return false;
  }
  const int capacity = fcntl(fds[1], F_GETPIPE_SZ);
  bool written = capacity > 0 && options.input.size() <= static_cast<size_t>(capacity) &&
                 fcntl(fds[1], F_SETFL, O_NONBLOCK) == 0;
  for (size_t done = 0; written && done < options.input.size();) {
    const ssize_t n = write(fds[1], options.input.data() + done, options.input.size() - done);
    if (n < 0 && errno == EINTR) continue;
    written = n > 0;
    if (written) done += static_cast<size_t>(n);
  }
  close(fds[1]);
  if (!written) {
    close(fds[0]);
    error_ = "the input does not fit the pipe";
    return false;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
  posix_spawn_file_actions_addopen(&actions, 1, options.outputPath.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // The bound must hold from the program's first write, so it is set inside
  // the child before the program runs: prlimit(1) sets it on itself and execs
  // the program under the same pid. (Set from outside after the spawn, a fast
  // writer could pass it first.)
  std::vector<std::string> argv = options.argv;
  if (options.maxFileBytes > 0)
    argv.insert(argv.begin(), {"prlimit", "--fsize=" + std::to_string(options.maxFileBytes), "--"});
  pid_t pid = -1;
  const int rc = SpawnChild(&pid, argv, options.environment, &actions, /*newSession=*/true);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[0]);
  if (rc != 0) {
    error_ = options.argv[0] + ": " + strerror(rc);
    return false;
  }
  pid_ = pid;
  pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
  return true;
}

bool ChildProcess::Reap(int options) {
  if (pid_ <= 0) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, options);
  } while (r < 0 && errno == EINTR);
  if (r == 0) return false;
  if (r == pid_) status_ = status;
  // Ended, or not ours to wait for (ECHILD): either way never signalled again.
  pid_ = -1;
  if (pidFd_ >= 0) close(pidFd_);
  pidFd_ = -1;
  return true;
}

bool ChildProcess::running() { return !Reap(WNOHANG); }

void ChildProcess::terminate(int graceMs) {
  if (pid_ <= 0 || Reap(WNOHANG)) return;
  kill(pid_, SIGTERM);
  if (pidFd_ >= 0) {
    pollfd p{pidFd_, POLLIN, 0};
    while (poll(&p, 1, graceMs) < 0 && errno == EINTR) {
    }
  }
  if (Reap(WNOHANG)) return;
  kill(pid_, SIGKILL);
  Reap(0);
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
