// The console's link against the built Larkcore on the demo folder, driven
// headless on the epoll loop, each test in its own network namespace and
// /dev/shm.
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <filesystem>

#include "console/link/link_driver.h"
#include "platform/event_loop.h"
#include "platform/paths.h"
#include "tests/support/broadcast_route.h"
#include "tests/support/demo_install.h"
#include "tests/support/link_test_client.h"
#include "tests/support/netns.h"
#include "tests/support/offset_clock.h"
#include "tests/support/service_process.h"
#include "tests/support/shmns.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

struct Shell final : LinkShell {
  explicit Shell(DeviceTree& t) : tree(t) {}
  void refillViews() override { ++refills; }
  void updateMenuRights(int level) override { rights.push_back(level); }
  void showTimedMessage(int n, int) override { messages.push_back(n); }
  void configurationLoaded(const std::string& mapPath) override { mapLoaded = LoadDownloadedMap(tree, mapPath); }
  void linkStateChanged(LinkState now) override { walked.push_back(now); }
  void actionTablesLoaded(std::vector<std::pair<ActionFamily, ActionTable>> t) override { tables = std::move(t); }
  DeviceTree& tree;
  std::vector<std::pair<ActionFamily, ActionTable>> tables;
  int refills = 0;
  std::vector<int> rights, messages;
  std::vector<LinkState> walked;
  bool mapLoaded = false;
};

class ConsoleLinkLarkcore : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateSharedMemory()) GTEST_SKIP() << "no private /dev/shm";
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    // The demo UPS is not polled: its block stays as loaded, so the console's
    // copy can be compared with the service's.
    ASSERT_TRUE(test::CopyDemoInstall(service.path(), 3, false));
    fs::create_directories(console.path());
  }

  void startService() {
    process = std::make_unique<test::ServiceProcess>(service.path());
    ASSERT_TRUE(process->start());
    ASSERT_TRUE(process->waitForOutput("running on", 30000)) << process->output();
  }

  // Runs the loop until `done` holds, recording each new link state; false after `ms`.
  bool runUntil(const std::function<bool()>& done, int ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      loop.runOnce(20);
      if (done()) return true;
    }
    return false;
  }
  bool running() { return link.state() == LinkState{7, 0}; }
  // The service started and the console's session run to state 7 over TCP.
  void runSession(const char* server) {
    startService();
    link.start();
    link.setServer(server);
    link.setAutoConnect(true);
    ASSERT_TRUE(ArmLinkTimers(reactor, link));
    ASSERT_TRUE(runUntil([&] { return running(); }, 30000)) << Walked() << process->output();
  }
  std::string Walked() const {
    std::string out;
    for (const LinkState& s : shell.walked) out += std::to_string(s.state) + "/" + std::to_string(s.sub) + " ";
    return out;
  }

  test::TempDir service, console;
  std::unique_ptr<test::ServiceProcess> process;
  test::OffsetClock clock;
  EventLoop loop;
  EpollReactor reactor{loop};
  DeviceTree tree;
  Shell shell{tree};
  ServiceLink link{reactor, clock, tree, shell, console.path(), [] { return 16384; }};
};

TEST_F(ConsoleLinkLarkcore, TcpSessionWalksToRunningWithTheServiceFiles) {
  ASSERT_NO_FATAL_FAILURE(runSession("127.0.0.2"));

  const std::vector<LinkState> session = {{2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 1}, {3, 2}, {4, 0},
                                          {4, 1}, {4, 2}, {6, 0}, {6, 1}, {6, 2}, {7, 0}};
  auto it = shell.walked.begin();
  for (const LinkState& s : session) {
    it = std::find(it, shell.walked.end(), s);
    ASSERT_NE(it, shell.walked.end()) << int(s.state) << "/" << int(s.sub) << " not in " << Walked();
  }
  EXPECT_FALSE(link.sharedMemoryMode());
  EXPECT_EQ(link.session().currentMap, "Demo.UMF");
  EXPECT_EQ(ReadFile(console.file("Monitor/manager.ini")), ReadFile(service.file("manager.ini")));
  EXPECT_EQ(ReadFile(console.file("Monitor/Demo.UMF")), ReadFile(service.file("Demo.UMF")));
  EXPECT_TRUE(shell.mapLoaded);
  EXPECT_GT(CountDevices(tree.root()), 0);
  EXPECT_EQ(link.callBackListener().port, 8950);
  EXPECT_EQ(link.callBackLink().connState, kConnUp);

  // Running: the version word, the user poll's rights and all eleven table pages.
  ASSERT_TRUE(runUntil([&] { return link.session().serviceVersion != 0 && !shell.tables.empty(); }, 10000));
  EXPECT_FALSE(shell.rights.empty());
  // The tables are the service's own, page by page, and the UPS block is the
  // service's but for the console's own last-reported words.
  {
    test::LinkTestClient other(8900);
    ASSERT_TRUE(other.request(kLinkCmdHello).has_value());
    ASSERT_EQ(shell.tables.size(), 11u);
    for (uint8_t page = 0; page <= 20; page += 2) {
      const auto reply = other.request(kLinkCmdEventTables, {page});
      ASSERT_TRUE(reply && reply->size() > 7);
      EXPECT_EQ(std::vector<uint8_t>(reply->begin() + 7, reply->end()),
                ActionTableToWire(shell.tables[page / 2].second))
          << int(page);
    }
    DeviceNode* ups = Tree_FindNodeById(2, &tree.root());
    ASSERT_TRUE(ups && PrimaryBlock(*ups));
    LiveDataBlock& block = *PrimaryBlock(*ups);
    block.setMask(MaskWord::kReported, 0x1234);
    ASSERT_TRUE(runUntil([&] { return link.pollOutstanding(); }, 2000));
    ASSERT_TRUE(runUntil([&] { return !link.pollOutstanding(); }, 5000));
    const auto reply = other.request(kLinkCmdGetDeviceData, {1, 0, 2});
    ASSERT_TRUE(reply && reply->size() == 9 + block.size());
    std::vector<uint8_t> theirs(reply->begin() + 9, reply->end()), ours = block.copyOut();
    EXPECT_EQ(block.mask(MaskWord::kReported), 0x1234u);
    for (MaskWord w : {MaskWord::kReported, MaskWord::kExtReported}) {
      const int off = MaskOffset(block.kind(), w);
      if (off >= 0) std::fill_n(theirs.begin() + off, MaskBits(block.kind(), w) / 8, 0);
      if (off >= 0) std::fill_n(ours.begin() + off, MaskBits(block.kind(), w) / 8, 0);
    }
    EXPECT_EQ(ours, theirs);
  }

  // The service goes away: back to 2/0 with the tree freed and the views refilled.
  const int refills = shell.refills;
  const int devices = CountDevices(tree.root());
  kill(process->pid(), SIGKILL);
  process->waitExit(5000);
  ASSERT_TRUE(runUntil([&] { return link.state() == LinkState{2, 0}; }, 2000));
  EXPECT_EQ(CountDevices(tree.root()), 0);
  EXPECT_GT(shell.refills, refills);
  // The first reconnect offer comes at once and fails; after a restart the
  // console comes back once the reconnect period has passed. The second
  // steps are taken here rather than awaited from the timer.
  link.secondTick();
  ASSERT_TRUE(runUntil([&] { return link.mainLink().connState == kConnClosed; }, 5000));
  startService();
  link.secondTick();
  EXPECT_EQ(link.mainLink().connState, kConnClosed);  // no offer before the period
  EXPECT_EQ(link.state(), (LinkState{2, 0}));
  clock.skip(181000);
  ASSERT_TRUE(runUntil([&] { return running(); }, 30000)) << Walked() << process->output();
  EXPECT_EQ(CountDevices(tree.root()), devices);
  KillLinkTimers(reactor);
  link.close();
}

TEST_F(ConsoleLinkLarkcore, AnotherConsoleTakesAndReleasesTheControlLock) {
  ASSERT_NO_FATAL_FAILURE(runSession("127.0.0.2"));
  test::LinkTestClient other(8900);
  ASSERT_TRUE(other.request(kLinkCmdHello).has_value());
  const uint16_t root = tree.root().idU16();
  // Adding a group takes the lock; saving the map releases it.
  ASSERT_TRUE(other.request(kLinkCmdAddNode, {kNodeGroup, uint8_t(root >> 8), uint8_t(root)}).has_value());
  ASSERT_TRUE(runUntil([&] { return link.foreignChangePending() && !shell.messages.empty(); }, 5000));
  // Polls stop while another console edits: once the one out is answered,
  // session steps past the poll period send no other.
  ASSERT_TRUE(runUntil([&] { return !link.pollOutstanding(); }, 10000));
  clock.skip(11000);
  for (int step = 0; step < 10; ++step) link.linkTick();
  EXPECT_FALSE(link.pollOutstanding());
  ASSERT_TRUE(other.request(kLinkCmdSaveMap, std::vector<uint8_t>(257, 0)).has_value());
  ASSERT_TRUE(runUntil([&] { return shell.messages.size() >= 2; }, 5000));
  EXPECT_EQ(shell.messages, (std::vector<int>{56, 57}));  // the lock's message came once
  EXPECT_NE(std::find(shell.walked.begin(), shell.walked.end(), LinkState{3, 0}), shell.walked.end());
  ASSERT_TRUE(runUntil([&] { return running() && link.pollOutstanding(); }, 30000)) << Walked();
  EXPECT_FALSE(link.foreignChangePending());
}

TEST_F(ConsoleLinkLarkcore, BroadcastSearchListsTheServiceOnceAsLocalHost) {
  if (!test::AddLoopbackBroadcastRoute()) GTEST_SKIP() << "no broadcast route";
  startService();
  link.start();
  ASSERT_TRUE(ArmLinkTimers(reactor, link));
  ASSERT_TRUE(link.startSearch());
  ASSERT_TRUE(link.startSearch());
  ASSERT_TRUE(runUntil([&] { return !link.servers().empty(); }, 5000));
  // Time for the second answer to be listed twice: a bound on a check that
  // a slow machine can only make pass more easily.
  runUntil([] { return false; }, 1200);
  EXPECT_EQ(link.servers(), std::vector<std::string>{"LocalHost"});
}

}  // namespace
}  // namespace lark
