#include "platform/key_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

TEST(KeyStore, ValuesRoundTripWithoutCase) {
  test::TempDir tmp;
  std::string dir = tmp.file("state/larkcore");
  KeyStore keys(dir);
  EXPECT_EQ(keys.read("Main", "Path"), std::nullopt);
  EXPECT_FALSE(IsDirectory(dir)) << "a read creates nothing";

  using namespace std::string_literals;
  const std::string withNul = "line1\r\nline2\\n=x\\\n\0end\\"s;
  ASSERT_TRUE(keys.write("SysTray", "Message", withNul));
  ASSERT_TRUE(keys.write("SysTray", "a=b\nc", "v"));
  ASSERT_TRUE(keys.write("Main", "Path", "/opt/lark"));
  EXPECT_EQ(keys.read("systray", "MESSAGE"), withNul);
  EXPECT_EQ(keys.read("SysTray", "a=b\nc"), "v");
  EXPECT_EQ(keys.read("MAIN", "path"), "/opt/lark");

  // Shared with the group whatever the umask: folder 2770, files 0660.
  for (const auto& [path, mode] :
       {std::pair{dir, 02770u}, {dir + "/main.key", 0660u}, {dir + "/main.lock", 0660u}}) {
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0) << path;
    EXPECT_EQ(st.st_mode & 07777, mode) << path;
  }

  ASSERT_TRUE(keys.write("Main", "PATH", "/srv/lark"));  // replaces, keeps one value
  EXPECT_EQ(keys.read("Main", "Path"), "/srv/lark");
  EXPECT_TRUE(keys.remove("main", "path"));
  EXPECT_FALSE(keys.remove("main", "path"));
  EXPECT_EQ(keys.read("Main", "Path"), std::nullopt);

  EXPECT_TRUE(keys.createKey("Audio"));
  EXPECT_EQ(keys.read("Audio", "x"), std::nullopt);

  // Key paths stay inside the folder.
  ASSERT_TRUE(keys.write("../../escape", "n", "v"));
  ASSERT_TRUE(keys.write("Software\\Lark", "n", "w"));
  EXPECT_EQ(keys.read("../../escape", "n"), "v");
  EXPECT_EQ(keys.read("software/lark", "n"), "w");
  EXPECT_FALSE(FileExists(tmp.file("escape.key")));
  EXPECT_FALSE(keys.write("", "n", "v"));
}

TEST(KeyStore, TakeAndClearAndCappedAppend) {
  test::TempDir tmp;
  KeyStore keys(tmp.path());
  EXPECT_EQ(keys.takeAndClear("SysTray", "Msg"), std::nullopt);
  ASSERT_TRUE(keys.append("SysTray", "Msg", "one;"));
  ASSERT_TRUE(keys.append("SysTray", "msg", "two;", 8));
  EXPECT_FALSE(keys.append("SysTray", "Msg", "x", 8)) << "would pass the cap";
  EXPECT_EQ(keys.read("SysTray", "Msg"), "one;two;");
  EXPECT_EQ(keys.takeAndClear("SysTray", "MSG"), "one;two;");
  EXPECT_EQ(keys.takeAndClear("SysTray", "Msg"), std::nullopt);
  EXPECT_EQ(keys.read("SysTray", "Msg"), std::nullopt);
}

TEST(KeyStore, ReadAndEmptyCreatesTheValueAndLeavesItEmpty) {
  test::TempDir tmp;
  KeyStore keys(tmp.path());
  EXPECT_EQ(keys.readAndEmpty("Audio", "0"), std::nullopt);
  EXPECT_EQ(keys.read("Audio", "0"), "") << "created empty";
  ASSERT_TRUE(keys.append("Audio", "0", "a.wav;"));
  EXPECT_EQ(keys.readAndEmpty("audio", "0"), "a.wav;");
  EXPECT_EQ(keys.readAndEmpty("Audio", "0"), "");
}

// The service appends while a tray empties its value: what each empty step
// takes, together, is everything appended.
TEST(KeyStore, AppendsBetweenReadAndEmptyAreNotLost) {
  test::TempDir tmp;
  KeyStore keys(tmp.path());
  keys.readAndEmpty("Audio", "0");
  constexpr int kEach = 300;
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    KeyStore writer(tmp.path());
    bool ok = true;
    for (int i = 0; i < kEach; ++i) ok = writer.append("Audio", "0", std::to_string(i) + ";") && ok;
    _exit(ok ? 0 : 1);
  }
  std::string taken;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) taken += keys.readAndEmpty("Audio", "0").value_or("");
  taken += keys.readAndEmpty("Audio", "0").value_or("");
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::string all;
  for (int i = 0; i < kEach; ++i) all += std::to_string(i) + ";";
  EXPECT_EQ(taken, all);
}

// Two users of the store's group: one writes a key, the other rewrites it,
// in a folder without the set-group-id bit.
TEST(KeyStore, AnotherUserOfTheGroupRewritesAKey) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run as two other users";
  test::TempDir tmp;
  ASSERT_EQ(chmod(tmp.path().c_str(), 0755), 0);
  const std::string store = tmp.file("state");
  constexpr unsigned kGroup = 47100;
  ASSERT_EQ(mkdir(store.c_str(), 0770), 0);
  ASSERT_EQ(chown(store.c_str(), 0, kGroup), 0);
  ASSERT_EQ(chmod(store.c_str(), 0770), 0);
  const std::string tool = test::BuiltProgram("tools/larkkey");
  auto runAs = [&](unsigned uid, const char* value) {
    std::string cmd = "setpriv --reuid " + std::to_string(uid) + " --regid " + std::to_string(uid) +
                      " --groups " + std::to_string(kGroup) + " " + tool + " " + store +
                      " set SysTray command " + value;
    return system(cmd.c_str());
  };
  ASSERT_EQ(runAs(47101, "0"), 0);
  ASSERT_EQ(runAs(47102, "1"), 0);
  EXPECT_EQ(KeyStore(store).read("SysTray", "command"), "1");
  struct stat st;
  ASSERT_EQ(stat((store + "/systray.key").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 47102u);
  EXPECT_EQ(st.st_gid, kGroup);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
}

// Writers in separate processes append at once; the lock makes each
// read-modify-write whole, so none is lost.
TEST(KeyStore, ConcurrentAppendsFromProcessesAreAllKept) {
  test::TempDir tmp;
  constexpr int kWriters = 6;
  constexpr int kEach = 25;
  std::vector<pid_t> pids;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      KeyStore keys(tmp.path());
      bool ok = true;
      for (int i = 0; i < kEach; ++i) {
        ok = keys.append("Queue", "Items", std::to_string(w) + "." + std::to_string(i) + ";") && ok;
      }
      _exit(ok ? 0 : 1);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto all = KeyStore(tmp.path()).takeAndClear("Queue", "Items");
  ASSERT_TRUE(all);
  std::set<std::string> seen;
  size_t start = 0;
  for (size_t semi; (semi = all->find(';', start)) != std::string::npos; start = semi + 1) {
    seen.insert(all->substr(start, semi - start));
  }
  EXPECT_EQ(seen.size(), static_cast<size_t>(kWriters * kEach));
}

TEST(KeyStore, DefaultDirFollowsEnvironment) {
  const char* saved = getenv("LARK_STATE_DIR");
  std::string keep = saved ? saved : "";
  setenv("LARK_STATE_DIR", "/tmp/lark-state-x", 1);
  EXPECT_EQ(KeyStore::DefaultDir(), "/tmp/lark-state-x");
  unsetenv("LARK_STATE_DIR");
  if (geteuid() == 0) {
    EXPECT_EQ(KeyStore::DefaultDir(), "/var/lib/larkcore");
  } else {
    const char* xdg = getenv("XDG_STATE_HOME");
    std::string keepXdg = xdg ? xdg : "";
    setenv("XDG_STATE_HOME", "/tmp/xdg", 1);
    EXPECT_EQ(KeyStore::DefaultDir(), "/tmp/xdg/larkcore");
    if (xdg) {
      setenv("XDG_STATE_HOME", keepXdg.c_str(), 1);
    } else {
      unsetenv("XDG_STATE_HOME");
    }
  }
  if (saved) setenv("LARK_STATE_DIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace lark
