// End-to-end runs of the built Larkcore against a hostile setting: a
// read-only install folder, temp files left by a killed save, a connection
// flood, consoles that change what is not theirs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/password.h"
#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/map_file.h"
#include "devices/gprs/gprs_frame.h"
#include "devices/gprs/gprs_link.h"
#include "devices/gprs/gprs_samples.h"
#include "linkserver/link_frame.h"
#include "linkserver/status_server.h"
#include "platform/paths.h"
#include "platform/shared_memory.h"
#include "tests/support/child_process.h"
#include "tests/support/link_test_client.h"
#include "tests/support/mountns.h"
#include "tests/support/netns.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/service_process.h"
#include "tests/support/shmns.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using test::ServiceProcess;
using test::TempDir;
using V = std::vector<uint8_t>;

V Cat(V a, const V& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

using test::Eventually;

// Whether the process blocks SIGTERM (its SigBlk mask in /proc).
bool StopSignalsBlocked(pid_t pid) {
  const std::string status = ReadFile("/proc/" + std::to_string(pid) + "/status").value_or("");
  const size_t at = status.find("SigBlk:");
  if (at == std::string::npos) return false;
  const unsigned long long mask = std::strtoull(status.c_str() + at + 7, nullptr, 16);
  return (mask >> (SIGTERM - 1)) & 1;
}

class LarkcoreHardening : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
    if (!test::EnterPrivateMounts()) GTEST_SKIP() << "no private mount namespace here";
    ASSERT_TRUE(MakeDirs(install));
    std::filesystem::copy(test::SourcePath("data/English"), install + "/English",
                          std::filesystem::copy_options::recursive);
  }
  TempDir dir;
  const std::string install = dir.file("install");
  // The backup folders of a fresh install.
  const std::array<std::string, 3> backupDirs = {
      install + "/Backup/upslog/", install + "/Backup/oplog/", install + "/Backup/histval/"};
};

TEST_F(LarkcoreHardening, ReadOnlyInstallFolderSaysWhatFailed) {
  ASSERT_TRUE(test::MakeReadOnly(install));
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  const int code = service.waitExit(30000);
  EXPECT_NE(code, 0);
  EXPECT_NE(code, -1) << "kept running";
  EXPECT_NE(
      service.output().find("cannot create " + install + "/Larkcore.lock: Read-only file system"),
      std::string::npos)
      << service.output();
  EXPECT_EQ(service.output().find("already runs"), std::string::npos) << service.output();
  test::Unmount(install);
}

TEST_F(LarkcoreHardening, TempFilesOfAKilledSaveAreRemovedAtStart) {
  ASSERT_TRUE(MakeDirs(install + "/Untitled"));
  const std::string ours[] = {install + "/.Demo.UMF.tmp-a1B2c3",
                              install + "/.manager.ini.tmp-XyZ789",
                              install + "/Untitled/.Tree_Map.dat.tmp-000000"};
  const std::string theirs[] = {install + "/notes.tmp-a1B2c3", install + "/Untitled/Tmp.txt"};
  for (const std::string& f : ours) ASSERT_TRUE(WriteFileAtomic(f, std::string(1000, 'x')));
  for (const std::string& f : theirs) ASSERT_TRUE(WriteFileAtomic(f, "keep"));
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  for (const std::string& f : ours) EXPECT_FALSE(FileExists(f)) << f;
  for (const std::string& f : theirs) EXPECT_TRUE(FileExists(f)) << f;
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

TEST_F(LarkcoreHardening, StopDuringTheLoadOfTheLargestMapEndsTheLoadAndExitsCleanly) {
  {
    // 32765 nodes: every id a map can give besides the root's.
    test::RecordingEventLog log;
    DeviceTree tree;
    DeviceNode* group = nullptr;
    while (tree.nextNodeId() <= kMaxNodeId) {
      if (group == nullptr || group->childCount() >= 250) {
        tree.setCurrentParent(tree.root());
        group = Tree_CreateNode(tree, kNodeGroup, "");
        ASSERT_NE(group, nullptr);
        tree.setCurrentParent(*group);
      } else {
        ASSERT_NE(Tree_CreateNode(tree, kNodeSnmp, "10.0.0.1"), nullptr);
      }
    }
    MapStore maps(install, tree, log);
    maps.setCurrentMapName("Large");
    ASSERT_TRUE(maps.SaveMapFile());
    ASSERT_TRUE(WriteFileAtomic(install + "/manager.ini", "[Main]\r\nLoad File=Large.UMF\r\n"));
  }
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  // The stop comes as soon as the service takes it as a request (the signal
  // blocked for the loop), which is just before the map is read.
  ASSERT_TRUE(Eventually([&] { return StopSignalsBlocked(service.pid()); }, 30000));
  kill(service.pid(), SIGTERM);
  EXPECT_EQ(service.waitExit(120000), 0) << service.output();  // a guard: freeing the map is slow under load
  EXPECT_NE(service.output().find("stop requested: the map is not read further"), std::string::npos)
      << service.output();
}

// 11/1: one event line from a console.
std::vector<uint8_t> EventRecord(int32_t number, const std::string& text) {
  std::vector<uint8_t> d(1 + 268, 0);
  d[0] = 1;
  putU32(Bytes(d), 1, static_cast<uint32_t>(number));
  putU32(Bytes(d), 5, kLevelSerious);
  putU32(Bytes(d), 9, 3);
  std::copy(text.begin(), text.end(), d.begin() + 13);
  return d;
}

TEST_F(LarkcoreHardening, AConnectionFloodKeepsTheRealEventsInTheLog) {
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  std::unique_ptr<test::LinkTestClient> console;
  ASSERT_TRUE(Eventually([&] { return (console = std::make_unique<test::LinkTestClient>(8900))->connected(); },
                         10000));
  ASSERT_TRUE(console->request(kLinkCmdHello));
  for (int i = 1; i <= 5; ++i) {
    auto reply =
        console->request(kLinkCmdEventLog, EventRecord(i, "real event " + std::to_string(i)));
    ASSERT_TRUE(reply);
    ASSERT_EQ((*reply)[5], 21);
  }
  // One at a time, each answered, so every connection is really taken in
  // (the listener's backlog would otherwise drop some and slow the rest).
  for (int i = 0; i < 6000; ++i) {
    test::LinkTestClient flood(8900);
    ASSERT_TRUE(flood.request(kLinkCmdHello)) << i;
  }
  ASSERT_TRUE(console->request(kLinkCmdHello)) << "the service still answers";
  console->close();
  EXPECT_EQ(service.stop(SIGTERM), 0);
  const std::string log = ReadFile(install + "/Untitled/Event.log").value_or("");
  for (int i = 1; i <= 5; ++i) {
    EXPECT_NE(log.find("\tSerious\t3\treal event " + std::to_string(i) + "\r\n"), std::string::npos)
        << i;
  }
  EXPECT_LT(std::count(log.begin(), log.end(), '\n'), 100);
}

// A console with its Hello said, once the service's listener takes it.
std::unique_ptr<test::LinkTestClient> OpenConsole() {
  std::unique_ptr<test::LinkTestClient> console;
  Eventually(
      [&] {
        console = std::make_unique<test::LinkTestClient>(8900);
        return console->connected() && console->request(kLinkCmdHello);
      },
      30000);
  return console;
}

uint8_t ReplyCode(test::LinkTestClient& console, uint8_t command, const V& data) {
  auto reply = console.request(command, data);
  return reply && reply->size() > 5 ? (*reply)[5] : 0;
}

// A DatabaseSettingsRecord: enabled or not, with this source and the
// backup folders of the event log, the operation log and the history.
V DatabaseSettings(uint8_t enabled, const std::string& source,
                   const std::array<std::string, 3>& backupDirs) {
  V v(906, 0);
  v[0] = enabled;
  std::copy(source.begin(), source.end(), v.begin() + 1);
  for (size_t i = 0; i < 3; ++i) {
    v[132 + i * 258] = 1;
    std::copy(backupDirs[i].begin(), backupDirs[i].end(), v.begin() + 134 + i * 258);
  }
  return v;
}

TEST_F(LarkcoreHardening, AccountAndDatabaseCommandsNeedTheSupervisorWhileAccountsAreInUse) {
  ASSERT_TRUE(WriteFileAtomic(install + "/manager.ini", "[Database]\r\nEnable=Yes\r\n"));
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  auto guest = OpenConsole(), op = OpenConsole(), admin = OpenConsole();
  ASSERT_TRUE(guest && op && admin);
  auto connected = [&] {
    auto r = guest->request(kLinkCmdUserDatabase, {2});
    return r && r->size() > 8 && (*r)[8] == 2;
  };
  ASSERT_TRUE(Eventually(connected, 30000));
  const std::string adminPassword = EncodePassword("kellomar");
  const V other = DatabaseSettings(1, "Other", backupDirs);
  struct Case {
    test::LinkTestClient* console;
    V request;
    uint8_t code;
    const char* what;
  };
  std::vector<Case> cases = {
      {guest.get(), {9}, 23, "a fresh database's schema (it makes the supervisor)"},
      {guest.get(), {9}, 24, "the schema again, now that a supervisor exists"},
      {admin.get(), Cat({7}, test::SessionUserRecord("admin", adminPassword)), 23, "admin logs in"},
      {admin.get(), Cat({14}, test::AccountRecord("op", "pw", 2)), 23, "admin adds an operator"},
      {op.get(), Cat({7}, test::SessionUserRecord("op", "pw")), 23, "the operator logs in"},
      {op.get(), Cat({11}, test::SessionUserRecord("op", "new")), 23, "own password"},
      {guest.get(), Cat({11}, test::SessionUserRecord("op", "x")), 24, "another's password"},
  };
  for (test::LinkTestClient* intruder : {guest.get(), op.get()}) {
    const std::vector<Case> refused = {
        {intruder, Cat({14}, test::AccountRecord("mallory", "pw", 1)), 24, "adds a supervisor"},
        {intruder, Cat({15}, test::AccountRecord("admin", "pw", 3)), 24, "changes an account"},
        {intruder, Cat({16}, test::AccountRecord("admin", "", 1)), 24, "deletes an account"},
        {intruder, Cat({11}, test::SessionUserRecord("admin", "pw")), 24, "admin's password"},
        {intruder, {10}, 24, "drops the history tables"},
        {intruder, {13, 0}, 24, "lists the accounts"},
        {intruder, Cat({3}, test::SessionUserRecord("", "")), 24, "asks for a fresh connection"},
        {intruder, Cat({1}, other), 24, "replaces the settings"},
        {intruder, Cat({4}, Cat(other, test::SessionUserRecord("", ""))), 24, "the same by 12/4"},
        {intruder, {6}, 24, "disconnects the database"},
    };
    cases.insert(cases.end(), refused.begin(), refused.end());
  }
  cases.push_back({admin.get(), {8}, 23, "admin logs out"});
  cases.push_back(
      {admin.get(), Cat({14}, test::AccountRecord("late", "pw", 3)), 24, "after the logout"});
  for (const Case& c : cases) {
    EXPECT_EQ(ReplyCode(*c.console, kLinkCmdUserDatabase, c.request), c.code)
        << (c.console == guest.get() ? "guest: "
            : c.console == op.get()  ? "operator: "
                                     : "admin: ")
        << c.what;
  }
  // Nothing of the refused requests was done.
  EXPECT_TRUE(connected());
  EXPECT_EQ(ReplyCode(*admin, kLinkCmdUserDatabase,
                      Cat({7}, test::SessionUserRecord("admin", adminPassword))),
            23);
  auto users = admin->request(kLinkCmdUserDatabase, {13, 0});
  ASSERT_TRUE(users && users->size() > 19);
  const std::string rows(users->begin() + 19, users->end());
  // The supervisor's list carries no password, so there is none to replay.
  EXPECT_NE(rows.find("admin\troot\t\t1\t"), std::string::npos) << rows;
  EXPECT_NE(rows.find("op\top\t\t2\t"), std::string::npos) << rows;
  EXPECT_EQ(rows.find("mallory"), std::string::npos) << rows;
  EXPECT_EQ(ReplyCode(*guest, kLinkCmdUserDatabase, Cat({7}, test::SessionUserRecord("admin", ""))),
            24);
  EXPECT_EQ(ReadFile(install + "/manager.ini").value_or("").find("Other"), std::string::npos);

  // Without accounts there are no levels: any console sets the database.
  ASSERT_EQ(ReplyCode(*admin, kLinkCmdUserDatabase, Cat({1}, DatabaseSettings(0, "", backupDirs))),
            23);
  EXPECT_EQ(
      ReplyCode(*guest, kLinkCmdUserDatabase, Cat({1}, DatabaseSettings(0, "Plain", backupDirs))),
      23);
  EXPECT_NE(ReadFile(install + "/manager.ini").value_or("").find("ODBC.Source=Plain\r\n"),
            std::string::npos);
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
}

// A database switched on that does not connect lets nobody log in: any
// console may then mend its settings, and apply what it stored.
TEST_F(LarkcoreHardening, DatabaseSettingsStayMendableWhileTheDatabaseIsDown) {
  ASSERT_TRUE(WriteFileAtomic(install + "/manager.ini",
                              "[Database]\r\nEnable=Yes\r\nODBC.Source=NoSuchSource\r\n"));
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  auto guest = OpenConsole();
  ASSERT_TRUE(guest);
  auto failed = [&] {
    auto r = guest->request(kLinkCmdUserDatabase, {2});
    return r && r->size() > 8 && (*r)[7] == 1 && (*r)[8] == 1;
  };
  ASSERT_TRUE(Eventually(failed, 30000));
  EXPECT_EQ(ReplyCode(*guest, kLinkCmdUserDatabase, Cat({1}, DatabaseSettings(1, "", backupDirs))), 23);
  EXPECT_EQ(ReplyCode(*guest, kLinkCmdUserDatabase, {6}), 23);
  EXPECT_NE(ReadFile(install + "/manager.ini").value_or("").find("Enable=Yes"), std::string::npos);
  EXPECT_EQ(ReadFile(install + "/manager.ini").value_or("").find("NoSuchSource"), std::string::npos);
  // Connected again, and once its schema has made the supervisor, the
  // supervisor's rule holds for a console that stored nothing.
  auto other = OpenConsole();
  ASSERT_TRUE(other);
  ASSERT_TRUE(Eventually(
      [&] {
        auto r = other->request(kLinkCmdUserDatabase, {2});
        return r && r->size() > 8 && (*r)[8] == 2;
      },
      30000));
  ASSERT_EQ(ReplyCode(*other, kLinkCmdUserDatabase, {9}), 23);
  EXPECT_EQ(ReplyCode(*other, kLinkCmdUserDatabase, Cat({3}, test::SessionUserRecord("", ""))), 24);
  EXPECT_EQ(ReplyCode(*other, kLinkCmdUserDatabase, {6}), 24);
  EXPECT_EQ(ReplyCode(*other, kLinkCmdUserDatabase, Cat({1}, DatabaseSettings(0, "", backupDirs))), 24);
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
}

TEST_F(LarkcoreHardening, BackupFoldersFromAConsoleTakeTheHistoryFoldersRule) {
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  auto console = OpenConsole();
  ASSERT_TRUE(console);
  const std::array<std::string, 3>& kept = backupDirs;
  ASSERT_EQ(ReplyCode(*console, kLinkCmdUserDatabase, Cat({1}, DatabaseSettings(0, "", kept))), 23);
  const std::string ini = ReadFile(install + "/manager.ini").value_or("");
  ASSERT_NE(ini.find("UPSLog.Directory=" + kept[0]), std::string::npos) << ini;
  ASSERT_EQ(symlink("/etc", dir.file("etc-link").c_str()), 0);
  const std::string refused[] = {"/etc/cron.d",       "/etc/cron.d/new",
                                 "/usr/local/backup", dir.file("etc-link") + "/cron.d",
                                 "backup/relative",   install + "/new/../../../etc"};
  for (const std::string& folder : refused) {
    for (size_t i = 0; i < 3; ++i) {
      std::array<std::string, 3> asked = kept;
      asked[i] = folder;
      EXPECT_EQ(ReplyCode(*console, kLinkCmdUserDatabase, Cat({1}, DatabaseSettings(0, "", asked))),
                24)
          << folder << " as folder " << i;
      EXPECT_EQ(
          ReplyCode(*console, kLinkCmdUserDatabase,
                    Cat({4}, Cat(DatabaseSettings(0, "", asked), test::SessionUserRecord("", "")))),
          24)
          << folder << " as folder " << i << " by 12/4";
    }
  }
  EXPECT_EQ(ReadFile(install + "/manager.ini").value_or(""), ini);
  EXPECT_FALSE(FileExists("/etc/cron.d/new"));
  // A folder still to be made below an allowed one is taken.
  const std::array<std::string, 3> moved = {dir.file("b/ups"), dir.file("b/op"), dir.file("b/h")};
  EXPECT_EQ(ReplyCode(*console, kLinkCmdUserDatabase, Cat({1}, DatabaseSettings(0, "", moved))),
            23);
  EXPECT_NE(ReadFile(install + "/manager.ini").value_or("").find("History.Directory=" + moved[2]),
            std::string::npos);
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
}

// 32: one chunk of a picture at `offset` (0 starts the file anew).
V PictureChunk(const std::string& name, uint32_t offset, size_t size) {
  V v(264 + size, 0x5A);
  putU32(Bytes(v), 0, offset);
  putU32(Bytes(v), 4, static_cast<uint32_t>(size));
  std::fill(v.begin() + 8, v.begin() + 264, 0);
  std::copy(name.begin(), name.end(), v.begin() + 8);
  return v;
}

TEST_F(LarkcoreHardening, PictureUploadsStopAtTheirBoundAndLeaveRoomForTheEventLog) {
  // The whole install on one small disk, as the event log shares it.
  ASSERT_TRUE(test::MountSmallDisk(install, 100u << 20));
  std::filesystem::copy(test::SourcePath("data/English"), install + "/English",
                        std::filesystem::copy_options::recursive);
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  auto console = OpenConsole();
  ASSERT_TRUE(console);
  constexpr size_t kChunk = 60000;
  constexpr uint64_t kPictureMax = 32u << 20, kReserve = 64u << 20;
  const uint8_t ok = ReplyCode(*console, kLinkCmdUploadFile, PictureChunk("a.png", 0, kChunk));
  ASSERT_EQ(ok, 63);
  // Sends chunks until one is refused; the bytes taken.
  auto upload = [&](const std::string& name, uint64_t sent) {
    while (sent < (48u << 20) &&
           ReplyCode(*console, kLinkCmdUploadFile,
                     PictureChunk(name, static_cast<uint32_t>(sent), kChunk)) == ok)
      sent += kChunk;
    return sent;
  };
  // The first picture stops at its bound; its empty last piece makes it whole.
  const uint64_t taken = upload("a.png", kChunk);
  EXPECT_EQ(taken, kPictureMax / kChunk * kChunk);
  EXPECT_EQ(ReplyCode(*console, kLinkCmdUploadFile,
                      PictureChunk("a.png", static_cast<uint32_t>(taken), 0)),
            ok);
  EXPECT_EQ(std::filesystem::file_size(install + "/Images/a.png"), taken);
  // The second one stops where the disk keeps its reserve.
  const uint64_t sent = upload("b.png", 0);
  EXPECT_GT(sent, 0u);
  EXPECT_LT(sent, kPictureMax);
  EXPECT_EQ(std::filesystem::file_size(install + "/Images/b.png.part"), sent);
  const uint64_t free = FreeSpace(install).value_or(0);
  EXPECT_GE(free, kReserve);
  EXPECT_LT(free, kReserve + 2 * kChunk);
  auto reply = console->request(kLinkCmdEventLog, EventRecord(9, "written after the uploads"));
  ASSERT_TRUE(reply);
  EXPECT_EQ((*reply)[5], 21);
  console->close();
  EXPECT_EQ(service.stop(SIGTERM), 0);
  EXPECT_NE(
      ReadFile(install + "/Untitled/Event.log").value_or("").find("written after the uploads"),
      std::string::npos);
  test::Unmount(install);
}

// Uploads cut short or sent out of place never spoil the picture that was
// there; a part file left for an hour goes; a whole upload replaces it.
TEST_F(LarkcoreHardening, ABrokenPictureUploadKeepsTheOldPicture) {
  const std::string images = install + "/Images", picture = images + "/p.png";
  const std::string part = picture + ".part", stale = images + "/q.png.part";
  const std::string old(40000, 'o');
  ASSERT_TRUE(MakeDirs(images));
  ASSERT_TRUE(WriteFileAtomic(picture, old));
  ASSERT_TRUE(WriteFileAtomic(stale, "left by an earlier run"));
  const timespec twoHoursAgo[2] = {{time(nullptr) - 7200, 0}, {time(nullptr) - 7200, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, stale.c_str(), twoHoursAgo, 0), 0);
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  constexpr uint32_t kPiece = 32768;
  struct Piece {
    uint32_t offset, size;
    uint8_t code;
  };
  const struct {
    const char* what;
    std::vector<Piece> pieces;
  } cases[] = {
      {"a later piece with no first", {{kPiece, 100, 64}}},
      {"a piece far past the end", {{0, kPiece, 63}, {10000000, kPiece, 64}}},
      {"a piece over bytes already taken", {{0, kPiece, 63}, {100, kPiece, 64}}},
      {"a piece leaving a gap", {{0, kPiece, 63}, {kPiece + 1, 100, 64}}},
      {"the console leaving after the first piece", {{0, kPiece, 63}}},
  };
  for (const auto& c : cases) {
    auto console = OpenConsole();
    ASSERT_TRUE(console);
    for (const Piece& p : c.pieces) {
      EXPECT_EQ(ReplyCode(*console, kLinkCmdUploadFile, PictureChunk("p.png", p.offset, p.size)),
                p.code)
          << c.what << " at " << p.offset;
    }
    EXPECT_EQ(ReadFile(picture), old) << c.what;
    // The session's part file goes with it.
    console->close();
    EXPECT_TRUE(Eventually([&] { return !FileExists(part); }, 30000)) << c.what;
  }
  EXPECT_FALSE(FileExists(stale));
  auto console = OpenConsole();
  ASSERT_TRUE(console);
  EXPECT_EQ(ReplyCode(*console, kLinkCmdUploadFile, PictureChunk("p.png", 0, kPiece)), 63);
  EXPECT_EQ(ReplyCode(*console, kLinkCmdUploadFile, PictureChunk("p.png", kPiece, 100)), 63);
  EXPECT_EQ(ReadFile(picture), std::string(kPiece + 100, 0x5A));
  EXPECT_FALSE(FileExists(part));
  EXPECT_EQ(service.stop(SIGTERM), 0);
}

// Callers of the GPRS port, each connected in turn (in the service's table
// or its listener's queue once this returns).
std::vector<int> ConnectGprsCallers(size_t count) {
  std::vector<int> fds(count);
  for (int& fd : fds) {
    fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kGprsDefaultPort);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  }
  return fds;
}

// Serves the letters the service sends to the callers (`answer(i)` for
// caller i; a caller the service closed becomes -1) until `done` holds; false
// when the guard passes first.
template <class Answer, class Done>
bool ServeGprsCallers(std::vector<int>& fds, Answer answer, Done done, int guardSeconds) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(guardSeconds);
  std::vector<pollfd> polled(fds.size());
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    for (size_t i = 0; i < fds.size(); ++i) polled[i] = {fds[i], POLLIN, 0};
    poll(polled.data(), polled.size(), 20);
    for (size_t i = 0; i < fds.size(); ++i) {
      if (polled[i].revents == 0) continue;
      char letters[16];
      if (recv(fds[i], letters, sizeof letters, 0) > 0) {
        answer(i);
      } else {
        close(fds[i]);
        fds[i] = -1;
      }
    }
  }
  return true;
}

void CloseAll(const std::vector<int>& fds) {
  for (int fd : fds) {
    if (fd >= 0) close(fd);
  }
}

// Every place taken by callers no GPRS node knows: ones that say nothing or
// answer with an empty frame, and ones that give names of their own making.
// The two real stations are named within a few rounds (the guard is far
// longer) while the callers go on.
TEST_F(LarkcoreHardening, UnknownGprsCallersCannotKeepTheStationsOut) {
  RaiseOpenFileLimit();
  const std::string empty = BuildGprsFrame("");
  std::vector<std::string> madeUp;
  for (int i = 0; i < kGprsStationCount; ++i)
    madeUp.push_back(BuildGprsFrame(GprsSampleReport('L', 1, "Fake" + std::to_string(i))));
  const struct {
    const char* callers;
    std::function<const std::string*(size_t)> answer;  // nullptr: silence
    bool named;
  } cases[] = {
      {"nameless", [&](size_t i) { return i % 2 == 0 ? &empty : nullptr; }, false},
      {"made-up names", [&](size_t i) { return &madeUp[i]; }, true},
  };
  // The demo map: its GPRS nodes are Station1 and Station2.
  static constexpr const char* kStations[] = {"\"Station1\" at 127.0.0.1",
                                              "\"Station2\" at 127.0.0.1"};
  std::filesystem::copy(
      test::SourcePath("data"), install,
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  int n = 0;
  for (const auto& c : cases) {
    // (A state folder, and so an output, of its own.)
    ServiceProcess service(install, dir.file("state" + std::to_string(++n)));
    ASSERT_TRUE(service.start());
    ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
    std::vector<int> callers = ConnectGprsCallers(kGprsStationCount);
    ASSERT_TRUE(service.waitForOutput("all 1000 station places are taken", 30000)) << c.callers;
    pid_t stations = test::SpawnChild({test::BuiltProgram("tools/gprs_sim"), "--stations", "2"});
    // Identified: the station's line names its node.
    auto identified = [&] {
      const std::string out = service.output();
      return std::all_of(std::begin(kStations), std::end(kStations), [&](const char* name) {
        for (size_t at = out.find(name); at != std::string::npos; at = out.find(name, at + 1)) {
          const size_t end = out.find('\n', at);
          if (out.substr(at, end - at).find(" identified: node ") != std::string::npos) return true;
        }
        return false;
      });
    };
    EXPECT_TRUE(ServeGprsCallers(
        callers,
        [&](size_t i) {
          if (const std::string* a = c.answer(i))
            send(callers[i], a->data(), a->size(), MSG_NOSIGNAL);
        },
        identified, 90))
        << c.callers << "\n"
        << service.output().substr(0, 4000);
    CloseAll(callers);
    test::StopChild(stations, SIGTERM);
    EXPECT_EQ(service.stop(SIGTERM, 30000), 0) << c.callers;
    // Made-up names are said in the event log once a minute at most.
    const std::string log = ReadFile(install + "/Demo/Event.log").value_or("");
    std::filesystem::remove(install + "/Demo/Event.log");
    size_t lines = 0;
    for (size_t at = log.find("has no GPRS node"); at != std::string::npos;
         at = log.find("has no GPRS node", at + 1))
      ++lines;
    EXPECT_EQ(lines > 0, c.named) << c.callers;
    EXPECT_LE(lines, 3u) << log;
  }
}

TEST_F(LarkcoreHardening, GprsNameRefusalsLeaveTheOperatorsLinesInTheEventLog) {
  // A small log, so that a few hundred refusals would push the lines out.
  ASSERT_TRUE(WriteFileAtomic(install + "/manager.ini", "[Main]\r\nMax Event Log=200\r\n"));
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  auto console = OpenConsole();
  ASSERT_TRUE(console);
  for (int i = 1; i <= 5; ++i) {
    ASSERT_EQ(
        ReplyCode(*console, kLinkCmdEventLog, EventRecord(i, "operator line " + std::to_string(i))),
        21);
  }
  pid_t station = test::SpawnChild({test::BuiltProgram("tools/gprs_sim"), "--stations", "1"});
  ASSERT_TRUE(service.waitForOutput("\"Station1\" at 127.0.0.1", 30000)) << service.output();
  // Callers claiming the station's name, each refused and closed.
  std::vector<int> claimers = ConnectGprsCallers(400);
  const std::string claim = BuildGprsFrame(GprsSampleReport('L', 1, "Station1"));
  EXPECT_TRUE(ServeGprsCallers(
      claimers, [&](size_t i) { send(claimers[i], claim.data(), claim.size(), MSG_NOSIGNAL); },
      [&] { return std::all_of(claimers.begin(), claimers.end(), [](int fd) { return fd < 0; }); },
      60));
  CloseAll(claimers);
  test::StopChild(station, SIGTERM);
  console->close();
  EXPECT_EQ(service.stop(SIGTERM), 0);
  const std::string log = ReadFile(install + "/Untitled/Event.log").value_or("");
  for (int i = 1; i <= 5; ++i) {
    EXPECT_NE(log.find("\toperator line " + std::to_string(i) + "\r\n"), std::string::npos) << i;
  }
  size_t refusals = 0;
  for (size_t at = log.find("refused: the name is held"); at != std::string::npos;
       at = log.find("refused: the name is held", at + 1))
    ++refusals;
  EXPECT_EQ(refusals, 20u);
}

TEST_F(LarkcoreHardening, AStatusSharedMemoryNameHeldByAnotherProgramIsSaidOnce) {
  if (!test::EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm here";
  SharedMemory other;
  ASSERT_EQ(other.create(kStatusServerObject, kStatusViewMinSize), SharedMemory::Created::kCreated);
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  const std::string said = std::string("the status shared memory ") + kStatusServerObject +
                           " is held by another program";
  ASSERT_TRUE(service.waitForOutput(said, 30000)) << service.output();
  // Once the name is free, a later retry makes the service's own object:
  // the retries before it said nothing more.
  other.close();
  SharedMemory probe;
  EXPECT_TRUE(Eventually(
      [&] { return probe.open(kStatusServerObject, kStatusViewMinSize) && probe.ownerAlive(); },
      30000));
  probe.close();
  EXPECT_EQ(service.stop(SIGTERM), 0);
  auto count = [&](const std::string& text) {
    size_t n = 0;
    for (size_t at = text.find(said); at != std::string::npos; at = text.find(said, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count(service.output()), 1u) << service.output();
  EXPECT_EQ(count(ReadFile(install + "/Untitled/Event.log").value_or("")), 1u);
}

// 22/1: the history settings with this folder (period and storage left to
// their defaults).
V HistorySettings(const std::string& folder) {
  V v(1 + 8068, 0);
  v[0] = 1;
  std::copy(folder.begin(), folder.end(), v.begin() + 1 + 372);
  return v;
}

// 11/5: the first `size` bytes of a file below the history folder.
V DataRootChunk(const std::string& name, uint32_t size) {
  V v(1 + 264, 0);
  v[0] = 5;
  putU32(Bytes(v), 1 + 4, size);
  std::copy(name.begin(), name.end(), v.begin() + 1 + 8);
  return v;
}

// A local user plants links in a shared sticky history folder, in place of
// the event log, of the map's folder or of a folder below it, each leading
// to files of another user: nothing is written there, no console reads
// them, and the refusal is said.
TEST_F(LarkcoreHardening, LinksPlantedInASharedHistoryFolderAreNotFollowed) {
  const std::string shared = dir.file("shared");
  ASSERT_TRUE(MakeDirs(shared + "/Untitled"));
  ASSERT_EQ(chmod(shared.c_str(), 0777), 0);
  // Another user's files.
  const std::string victim = dir.file("victim"), secret = "secret line\r\n";
  ASSERT_TRUE(MakeDirs(victim + "/2026"));
  for (const char* name : {"/Event.log", "/2026/12.DAT"}) {
    ASSERT_TRUE(WriteFileAtomic(victim + name, secret));
    ASSERT_EQ(chmod((victim + name).c_str(), 0600), 0);
  }
  ServiceProcess service(install, dir.file("state"));
  ASSERT_TRUE(service.start());
  ASSERT_TRUE(service.waitForOutput("running on", 30000)) << service.output();
  auto console = OpenConsole();
  ASSERT_TRUE(console);
  EXPECT_EQ(ReplyCode(*console, kLinkCmdHistoryReport, HistorySettings(shared)), 44);
  const struct {
    const char* planted;  // below the map folder's parent
    std::string target;
    const char* download;  // what a console then asks for
  } cases[] = {
      {"Untitled/Event.log", victim + "/Event.log", "Untitled\\Event.log"},
      {"Untitled", victim, "Untitled\\Event.log"},
      {"Untitled/1", victim, "Untitled\\1\\2026\\12.DAT"},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string sticky = dir.file("sticky" + std::to_string(++n));
    ASSERT_TRUE(MakeDirs(sticky + "/Untitled"));
    ASSERT_EQ(chmod(sticky.c_str(), 01777), 0);
    const std::string link = sticky + "/" + c.planted;
    std::filesystem::remove(link);
    ASSERT_EQ(symlink(c.target.c_str(), link.c_str()), 0);
    EXPECT_EQ(ReplyCode(*console, kLinkCmdHistoryReport, HistorySettings(sticky)), 43) << link;
    ASSERT_TRUE(console->request(kLinkCmdEventLog, EventRecord(7, "after the move")));
    EXPECT_EQ(ReplyCode(*console, kLinkCmdEventLog, DataRootChunk(c.download, 100)), 22) << link;
    EXPECT_TRUE(service.waitForOutput("Link refused: " + link + " is a link", 30000))
        << service.output();
  }
  console->close();
  EXPECT_EQ(service.stop(SIGTERM), 0);
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(victim))
    files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{victim + "/2026", victim + "/2026/12.DAT",
                                             victim + "/Event.log"}));
  EXPECT_EQ(ReadFile(victim + "/Event.log"), secret);
  EXPECT_EQ(ReadFile(victim + "/2026/12.DAT"), secret);
  EXPECT_NE(ReadFile(install + "/Untitled/Event.log")
                .value_or("")
                .find("History folder " + shared +
                      " refused: it can be written by others and has no sticky bit"),
            std::string::npos);
}

}  // namespace
}  // namespace lark
