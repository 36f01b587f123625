// Starting outside programs with an argv (never a shell), watching and
// reaping them, the single-instance lock, and the worker pause/stop handshake.
#pragma once
#include <sys/types.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

namespace lark {

// posix_spawn of argv[0] (a path, or a name looked up on PATH); -1 on failure.
pid_t Spawn(const std::vector<std::string>& argv);
// The same with "NAME=value" entries added to (or replacing those of) our
// environment: secrets the child needs stay out of its visible command line.
pid_t SpawnWithEnvironment(const std::vector<std::string>& argv, const std::vector<std::string>& environment);
// Reaps every finished child without waiting; returns how many.
int ReapChildren();
// Reaps the one child when it has ended (or is not ours); false while it runs.
bool ReapChild(pid_t pid);

// One outside program the caller watches and may stop: argv spawned on PATH
// (never a shell), standard input a pipe holding `input` and then its end,
// standard output and errors to a file made anew, no other descriptor of
// ours. It runs in a session of its own, without a controlling terminal, so
// nothing it asks for (a password) can reach the terminal we were started
// from: such a prompt reads the pipe instead. Only its own pid is ever waited
// for or signalled, and only while it is ours: a pid of 0 or one already
// reaped is never signalled.
class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> argv;
    std::vector<std::string> environment;  // "NAME=value" added to ours
    std::string input;                     // the whole standard input
    std::string outputPath;                // standard output and errors; never through a link
    // Largest file the child may write (RLIMIT_FSIZE; 0: no bound): a write
    // past it ends the child (SIGXFSZ), so a peer that sends without end
    // cannot fill the disk between two looks of ours.
    uint64_t maxFileBytes = 0;
  };

  ChildProcess() = default;
  ~ChildProcess() { terminate(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Stops a child still running first. False (error() says why) when the
  // input does not fit the pipe or the program cannot be started.
  bool start(const Options& options);
  // Reaps the child once it has ended; true while it runs.
  bool running();
  // SIGTERM, up to `graceMs` for it to end, then SIGKILL; reaped either way.
  void terminate(int graceMs = 500);
  pid_t pid() const { return pid_; }
  // The wait status once reaped.
  std::optional<int> status() const { return status_; }
  const std::string& error() const { return error_; }

 private:
  bool Reap(int options);
  pid_t pid_ = -1;
  int pidFd_ = -1;  // wakes a poll when the child ends
  std::optional<int> status_;
  std::string error_;
};

// flock on a lock file, released by the kernel when the process dies.
class InstanceLock {
 public:
  InstanceLock() = default;
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;
  // Takes the lock; on failure `holder` names the running one (its pid text)
  // or says what failed.
  bool acquire(const std::string& path, std::string* holder);
  // After a failed acquire: whether another process holds the lock (rather
  // than the file being impossible to create or lock).
  bool heldElsewhere() const { return heldElsewhere_; }
  void release();

 private:
  int fd_ = -1;
  bool heldElsewhere_ = false;
};

// The control word of a worker, shared by the requester and the worker: the
// requester writes 1 (pause) or 3 (stop), the worker answers in the same word
// with 2 (paused) or 4 (stopped); 0 runs. One word, so an answer to an earlier
// request is overwritten by the next request and can never pass for its answer.
struct WorkerControl {
  enum : int { kRun = 0, kPause = 1, kPaused = 2, kStop = 3, kStopped = 4 };
  std::atomic<int> word{kRun};

  // Writes `req` and checks every `intervalMs` up to `tries` times for
  // `want`; true when seen.
  bool requestAndWait(int req, int want, int tries, int intervalMs);
  void resume() { word.store(kRun); }
  // Called by the worker at its safe points: answers pause and stop. Returns
  // false when the worker must end (word set to stopped).
  bool checkpoint(int sleepMs = 10);
};

}  // namespace lark
