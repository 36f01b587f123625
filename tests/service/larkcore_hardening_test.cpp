// End-to-end runs of the built Larkcore against a hostile setting: a
// read-only install folder, temp files left by a killed save.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "core/device_tree.h"
#include "core/event_log_sink.h"
#include "core/map_file.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"
#include "tests/support/link_test_client.h"
#include "tests/support/mountns.h"
#include "tests/support/netns.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

using test::ServiceProcess;
using test::TempDir;

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

}  // namespace
}  // namespace lark
