#include "platform/process.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

// Waits (bounded, generously) until `pid` has ended; its wait status.
int WaitFor(pid_t pid) {
  int status = -1;
  if (test::Eventually([&] { return waitpid(pid, &status, WNOHANG) == pid; }, 30000)) return status;
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

TEST(Spawn, ArgumentsReachTheProgramUntouched) {
  test::TempDir tmp;
  // Shell syntax in an argument is just bytes of a file name.
  std::string odd = tmp.file("a b; $(touch x) `y` 'q' \"z\" *");
  pid_t pid = Spawn({"touch", odd});
  ASSERT_GT(pid, 0);
  int status = WaitFor(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_TRUE(FileExists(odd));
  EXPECT_FALSE(FileExists("x"));

  EXPECT_EQ(Spawn({}), -1);
  EXPECT_EQ(Spawn({""}), -1);
  EXPECT_EQ(Spawn({"/nonexistent/program"}), -1);
  EXPECT_EQ(Spawn({"no-such-program-on-path-xyz"}), -1);
}

TEST(Spawn, AddedEnvironmentReplacesOursAndStaysOffTheCommandLine) {
  test::TempDir tmp;
  setenv("LARK_TEST_KEEP", "kept", 1);
  setenv("LARK_DB_PASSWORD", "old", 1);
  const std::string out = tmp.file("env");
  pid_t pid = SpawnWithEnvironment({"sh", "-c", "env > \"$0\"", out}, {"LARK_DB_PASSWORD=s3cret"});
  ASSERT_GT(pid, 0);
  int status = WaitFor(pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  const std::string env = ReadFile(out).value_or("");
  EXPECT_NE(env.find("LARK_DB_PASSWORD=s3cret\n"), std::string::npos);
  EXPECT_EQ(env.find("LARK_DB_PASSWORD=old"), std::string::npos);
  EXPECT_NE(env.find("LARK_TEST_KEEP=kept\n"), std::string::npos);
  unsetenv("LARK_TEST_KEEP");
  unsetenv("LARK_DB_PASSWORD");
}

TEST(Spawn, ChildDoesNotInheritBlockedStopSignals) {
  // The service blocks SIGTERM for its signalfd; a spawned child must still die of it.
  sigset_t block, old;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &block, &old), 0);
  pid_t pid = Spawn({"sleep", "30"});
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  ASSERT_GT(pid, 0);
  ASSERT_EQ(kill(pid, SIGTERM), 0);
  int status = WaitFor(pid);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

TEST(Spawn, ReapChildrenCollectsFinishedOnes) {
  while (ReapChildren() > 0) {
  }
  for (int i = 0; i < 3; ++i) ASSERT_GT(Spawn({"true"}), 0);
  int reaped = 0;
  EXPECT_TRUE(test::Eventually([&] { return (reaped += ReapChildren()) >= 3; }, 30000));
  EXPECT_EQ(reaped, 3);
  EXPECT_EQ(ReapChildren(), 0);
}

// Runs `options` to its end (bounded as a guard); the output file's text.
std::string RunToEnd(ChildProcess& child, const ChildProcess::Options& options) {
  EXPECT_TRUE(child.start(options)) << child.error();
  EXPECT_TRUE(test::Eventually([&] { return !child.running(); }, 30000));
  return ReadFile(options.outputPath).value_or("");
}

TEST(ChildProcess, ArgvInputAndEnvironmentReachTheProgramAndItsOutputTheFile) {
  test::TempDir tmp;
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  ChildProcess child;
  ChildProcess::Options o;
  // Shell syntax in an argument is just bytes; the script on stdin is read to its end.
  o.argv = {"sh", "-c", "printf '[%s]' \"$0\"; echo \" LC_ALL=$LC_ALL\"; cat; echo err >&2",
            "a \"b\" $(touch x) !y"};
  o.environment = {"LC_ALL=C"};
  o.input = "open 127.0.0.2\nbye\n";
  o.outputPath = tmp.file("out.log");
  WriteFileAtomic(o.outputPath, "an earlier run's output\n");
  EXPECT_EQ(RunToEnd(child, o), "[a \"b\" $(touch x) !y] LC_ALL=C\nopen 127.0.0.2\nbye\nerr\n");
  ASSERT_TRUE(child.status());
  EXPECT_TRUE(WIFEXITED(*child.status()) && WEXITSTATUS(*child.status()) == 0);
  EXPECT_FALSE(FileExists("x"));
  unsetenv("LC_ALL");

  // Refused before anything runs: no program, input beyond the pipe, a
  // missing program, an output path that is a link (the file behind stays).
  ChildProcess::Options bad = o;
  bad.argv = {};
  EXPECT_FALSE(child.start(bad));
  bad = o;
  bad.input.assign(16 << 20, 'x');
  EXPECT_FALSE(child.start(bad));
  bad = o;
  bad.argv = {"no-such-program-on-path-xyz"};
  EXPECT_FALSE(child.start(bad));
  EXPECT_NE(child.error().find("no-such-program-on-path-xyz"), std::string::npos);
  bad = o;
  WriteFileAtomic(tmp.file("kept"), "kept");
  ASSERT_EQ(symlink(tmp.file("kept").c_str(), tmp.file("link").c_str()), 0);
  bad.outputPath = tmp.file("link");
  EXPECT_FALSE(child.start(bad));
  EXPECT_EQ(ReadFile(tmp.file("kept")), "kept");
  EXPECT_FALSE(child.running());
}

TEST(ChildProcess, OnlyTheThreeStandardDescriptorsAreInherited) {
  test::TempDir tmp;
  // Descriptors of ours without close-on-exec, as a library might leave them.
  const int leaked = open("/dev/null", O_RDONLY);
  ASSERT_GE(leaked, 0);
  ASSERT_EQ(dup2(leaked, 60), 60);
  ChildProcess child;
  ChildProcess::Options o;
  o.argv = {"sh", "-c", "readlink /proc/self/fd/0 | cut -c1-5; ls /proc/self/fd"};
  o.environment = {"LC_ALL=C"};
  o.outputPath = tmp.file("fds");
  const std::string fds = RunToEnd(child, o);
  close(leaked);
  close(60);
  // ls lists its own: the three, and the folder it reads as 3.
  EXPECT_EQ(fds, "pipe:\n0\n1\n2\n3\n");
}

TEST(ChildProcess, TerminateEndsAndReapsEvenAChildThatIgnoresSigterm) {
  test::TempDir tmp;
  struct Case {
    const char* name;
    const char* script;
    int signal;   // what ends it
    int graceMs;  // a guard where SIGTERM ends it, the wait before SIGKILL where not
  };
  const Case cases[] = {
      {"stops on SIGTERM", "echo ready; exec tail -f /dev/null", SIGTERM, 30000},
      {"ignores SIGTERM", "trap '' TERM; echo ready; exec tail -f /dev/null", SIGKILL, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChildProcess child;
    ChildProcess::Options o{{"sh", "-c", c.script}, {}, "", tmp.file("out")};
    ASSERT_TRUE(child.start(o)) << child.error();
    ASSERT_TRUE(
        test::Eventually([&] { return ReadFile(o.outputPath).value_or("") == "ready\n"; }, 30000));
    const pid_t pid = child.pid();
    child.terminate(c.graceMs);
    EXPECT_FALSE(child.running());
    ASSERT_TRUE(child.status());
    EXPECT_TRUE(WIFSIGNALED(*child.status()) && WTERMSIG(*child.status()) == c.signal)
        << *child.status();
    // Reaped: nothing of it is left to wait for, and a second terminate signals nobody.
    EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);
    child.terminate();
  }
  // Never started, or ended and reaped: terminate signals nothing (kill(0)
  // would reach this test's whole process group).
  ChildProcess idle;
  idle.terminate();
  EXPECT_EQ(idle.pid(), -1);
  ChildProcess ended;
  RunToEnd(ended, {{"true"}, {}, "", tmp.file("out")});
  ended.terminate();
  EXPECT_TRUE(WIFEXITED(*ended.status()));
}

TEST(ChildProcess, RunsWithoutOurTerminalSoAPromptReadsThePipe) {
  // We (a forked helper) hold a pty as our controlling terminal, as a console
  // started from a terminal does; the child tries to turn its echo off and
  // reads its answer.
  test::TempDir tmp;
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  const std::string out = tmp.file("out");
  const pid_t helper = fork();
  ASSERT_GE(helper, 0);
  if (helper == 0) {
    if (setsid() < 0 || open(slave.c_str(), O_RDWR) < 0) _exit(2);  // the pty becomes ours
    ChildProcess child;
    ChildProcess::Options o{{"sh", "-c", "stty -echo 2>/dev/null </dev/tty; read a; echo \"[$a]\""},
                            {},
                            "secret\n",
                            out};
    if (!child.start(o)) _exit(3);
    while (child.running()) poll(nullptr, 0, 10);  // the helper has no test clock
    _exit(0);
  }
  const int status = WaitFor(helper);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(ReadFile(out), "[secret]\n");
  termios t{};
  ASSERT_EQ(tcgetattr(master, &t), 0);
  EXPECT_NE(t.c_lflag & ECHO, 0u) << "the terminal's echo was left alone";
  close(master);
}

TEST(ChildProcess, AWritePastTheFileBoundEndsTheChild) {
  test::TempDir tmp;
  ChildProcess child;
  ChildProcess::Options o{{"head", "-c", "3000000", "/dev/zero"}, {}, "", tmp.file("out")};
  o.maxFileBytes = 1 << 20;
  RunToEnd(child, o);
  ASSERT_TRUE(child.status());
  EXPECT_TRUE(WIFSIGNALED(*child.status()) && WTERMSIG(*child.status()) == SIGXFSZ)
      << *child.status();
  EXPECT_EQ(ReadFile(o.outputPath).value_or("").size(), o.maxFileBytes);
}

TEST(InstanceLock, SecondHolderRefusedAndToldWho) {
  test::TempDir tmp;
  std::string path = tmp.file("Larkcore.lock");
  std::string holder;
  {
    InstanceLock first;
    ASSERT_TRUE(first.acquire(path, &holder));
    InstanceLock second;
    EXPECT_FALSE(second.acquire(path, &holder));
    EXPECT_EQ(holder, "process " + std::to_string(getpid()));
    EXPECT_TRUE(second.heldElsewhere());
  }
  InstanceLock again;
  EXPECT_TRUE(again.acquire(path, &holder)) << "released by the destructor";
  again.release();

  // A holder that dies without releasing leaves nothing held.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock* leaked = new InstanceLock;
    _exit(leaked->acquire(path, nullptr) ? 0 : 1);
  }
  int status = WaitFor(child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  InstanceLock after;
  EXPECT_TRUE(after.acquire(path, &holder));

  InstanceLock bad;
  EXPECT_FALSE(bad.acquire(tmp.file("no/such/dir/x.lock"), &holder));
  EXPECT_NE(holder.find("cannot create"), std::string::npos);
  EXPECT_FALSE(bad.heldElsewhere());
}

TEST(WorkerControl, PauseResumeStopHandshake) {
  WorkerControl control;
  std::atomic<int> rounds{0};
  std::thread worker([&] {
    while (control.checkpoint(1)) rounds.fetch_add(1);
  });

  ASSERT_TRUE(control.requestAndWait(WorkerControl::kPause, WorkerControl::kPaused, 5000, 1));
  // Paused: the worker sits in checkpoint() and does no rounds. (Time for a
  // stray round: a bound a slow machine can only make pass more easily.)
  int frozen = rounds.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(rounds.load(), frozen);
  EXPECT_EQ(control.word.load(), WorkerControl::kPaused);

  control.resume();
  EXPECT_TRUE(test::Eventually([&] { return rounds.load() > frozen; }, 10000));

  ASSERT_TRUE(control.requestAndWait(WorkerControl::kStop, WorkerControl::kStopped, 5000, 1));
  worker.join();

  // A stop while paused ends the worker too.
  WorkerControl paused;
  paused.word.store(WorkerControl::kPause);
  std::thread second([&] { EXPECT_FALSE(paused.checkpoint(1)); });
  ASSERT_TRUE(paused.requestAndWait(WorkerControl::kPause, WorkerControl::kPaused, 5000, 1));
  ASSERT_TRUE(paused.requestAndWait(WorkerControl::kStop, WorkerControl::kStopped, 5000, 1));
  second.join();

  // Nobody answering: the requester gives up after its tries.
  WorkerControl idle;
  EXPECT_FALSE(idle.requestAndWait(WorkerControl::kPause, WorkerControl::kPaused, 3, 1));
}

}  // namespace
}  // namespace lark
