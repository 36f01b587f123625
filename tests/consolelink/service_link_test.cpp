// The link's logic fed with bytes directly: frames from the service, replies
// of the session's requests, pushes, search answers and the session tick.
#include "console/link/service_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "console/link/request_frame.h"
#include "console/link/request_payloads.h"
#include "linkserver/control_lock.h"
#include "linkserver/link_transfer.h"
#include "platform/paths.h"
#include "tests/support/fake_reactor.h"
#include "tests/support/link_test_client.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

using test::LinkFrameOf;

struct RecordingShell final : LinkShell {
  void refillViews() override { ++refills; }
  void updateMenuRights(int level) override { rights.push_back(level); }
  void setAccountsInUse(bool on) override { accounts.push_back(on); }
  void showTimedMessage(int n, int seconds) override { messages.push_back({n, seconds}); }
  void actionTablesLoaded(std::vector<std::pair<ActionFamily, ActionTable>> t) override {
    tables.push_back(std::move(t));
  }
  int refills = 0;
  std::vector<std::vector<std::pair<ActionFamily, ActionTable>>> tables;
  std::vector<int> rights;
  std::vector<bool> accounts;  // before each rights update
  std::vector<std::pair<int, int>> messages;
};

std::vector<uint8_t> Reply(uint8_t command, std::vector<uint8_t> data) {
  return LinkFrameOf(kLinkKindReply, command, data);
}

struct LinkFixture {
  explicit LinkFixture(int randomValue = 0)
      : link(reactor, clock, tree, shell, dir.path(), [randomValue] { return randomValue; }) {}

  void runToState7() {
    for (auto [s, sub] : {std::pair<int, int>{1, 0}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 2}, {4, 0}, {4, 2},
                          {6, 0}, {6, 2}, {7, 0}})
      ASSERT_TRUE(link.requestState(uint8_t(s), uint8_t(sub)));
  }
  // A request at the head of queue 3, handed to the service.
  void headInProgress(uint8_t command, uint8_t priority = 0, uint32_t id = 0) {
    const auto frame = BuildRequestFrame(command, 0, {});
    ASSERT_TRUE(link.queues().put(priority, priority ? 0 : 2, 3, kKindRequest, command, 4500, id, frame));
    link.queues().markHead(3, kEntryInProgress);
  }

  test::TempDir dir;
  test::FakeReactor reactor;
  FakeClock clock{100000};
  DeviceTree tree;
  RecordingShell shell;
  ServiceLink link;
};

TEST(ServiceLinkFrames, BadFramesResetTheLinkOthersAreDiscarded) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    bool reset;
    bool headTaken;
  } cases[] = {
      {"length below 2", {1, 2, 0, 1, 6}, true, false},
      {"length 0", {1, 2, 0, 0}, true, false},
      {"request kind", LinkFrameOf(kLinkKindRequest, 6, {11}), true, false},
      {"command 0", Reply(0, {11}), true, false},
      {"command 35", Reply(35, {11}), true, false},
      {"another command", Reply(33, {65, 9, 7}), false, false},
      {"the answer", Reply(6, {12}), false, true},
      {"half a frame", {1, 2, 0, 20, 6, 11}, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    LinkFixture f;
    f.runToState7();
    f.headInProgress(6);
    f.link.receiveLinkAnswers(c.bytes);
    EXPECT_EQ(f.link.state(), c.reset ? (LinkState{2, 0}) : (LinkState{7, 0}));
    if (!c.reset) {
      EXPECT_EQ(f.link.queues().count(3), c.headTaken ? 0 : 1);
    }
    EXPECT_EQ(f.link.queues().count(2), c.headTaken ? 1 : 0);
  }
}

TEST(ServiceLinkFrames, TwoFramesInOneReceiveAndOneSplitAcrossTwo) {
  LinkFixture f;
  f.runToState7();
  f.headInProgress(33);
  auto bytes = Reply(33, {65, 9, 7});
  const auto second = Reply(6, {12});
  bytes.insert(bytes.end(), second.begin(), second.begin() + 3);
  f.link.receiveLinkAnswers(bytes);
  EXPECT_EQ(f.link.queues().count(2), 1);
  f.headInProgress(6);
  f.link.receiveLinkAnswers(std::vector<uint8_t>(second.begin() + 3, second.end()));
  EXPECT_EQ(f.link.queues().count(2), 2);
  EXPECT_EQ(f.link.queues().count(3), 0);
}

TEST(ServiceLinkFrames, LateReplyToAReplacedDialogRequestIsDropped) {
  LinkFixture f;
  f.runToState7();
  ASSERT_TRUE(f.link.sendServiceRequest(0, kLinkCmdGetMapList, 0, 10000, {}));
  const uint32_t first = f.link.pending().sequence;
  f.link.queues().dropHead(3);
  ASSERT_TRUE(f.link.sendServiceRequest(0, kLinkCmdGetMapList, 0, 10000, {}));
  EXPECT_EQ(f.link.pending().sequence, first + 1);
  // The old request's entry is still the head when its reply arrives late.
  f.link.queues().clear();
  f.headInProgress(kLinkCmdGetMapList, 1, first);
  f.link.receiveLinkAnswers(Reply(kLinkCmdGetMapList, {3, ';', ';'}));
  EXPECT_EQ(f.link.pending().replyFlag, 1);
  EXPECT_EQ(f.link.queues().count(2), 0);  // not a session reply either
  f.headInProgress(kLinkCmdGetMapList, 1, first + 1);
  f.link.receiveLinkAnswers(Reply(kLinkCmdGetMapList, {3, ';', ';'}));
  EXPECT_EQ(f.link.pending().replyFlag, 2);
}

// A pending request's reply is taken as soon as it is in, not at the next
// tick of the reply timer: the link's own download writes its piece and a
// dialog's taker is called, with no timer fired.
TEST(ServiceLinkReplies, PendingRepliesAreTakenWhenTheyArrive) {
  LinkFixture f;
  f.runToState7();
  int taken = 0;
  f.link.setPendingReplyListener([&] { ++taken; });
  std::array<uint8_t, kFileChunkHeaderSize> header{};
  PutChunkHeader(header, 0, FileChunkHeader{0, kDownloadChunkSize, ""});
  ASSERT_TRUE(f.link.sendServiceRequest(500, kLinkCmdDownloadSettings, 0, 10000, header));
  f.link.queues().clear();
  f.headInProgress(kLinkCmdDownloadSettings, 1, f.link.pending().sequence);
  f.link.receiveLinkAnswers(Reply(kLinkCmdDownloadSettings, {7, 0, 'a', 'b'}));
  EXPECT_FALSE(FileExists(f.dir.file("Monitor/manager.ini")));  // not inside the frame handler
  f.reactor.runPosted();
  EXPECT_EQ(ReadFile(f.dir.file("Monitor/manager.ini")), "ab");
  EXPECT_EQ(taken, 0);  // the link's own request

  ASSERT_TRUE(f.link.sendServiceRequest(0, kLinkCmdGetMapList, 0, 10000, {}));
  f.link.queues().clear();
  f.headInProgress(kLinkCmdGetMapList, 1, f.link.pending().sequence);
  f.link.receiveLinkAnswers(Reply(kLinkCmdGetMapList, {3, ';', ';'}));
  f.reactor.runPosted();
  EXPECT_EQ(taken, 1);
  EXPECT_EQ(f.link.pending().replyFlag, 2);  // the dialog takes it
}

TEST(ServiceLinkReplies, MapList) {
  LinkFixture f;
  f.link.requestState(1, 0);
  f.link.requestState(2, 0);
  f.link.requestState(2, 1);
  f.link.requestState(2, 2);
  f.link.requestState(3, 0);
  std::string text = "Auto.UMF;Demo.UMF;A.UMF;;" + std::string(300, 'x') + ";";
  for (int i = 0; i < 25; ++i) text += "M" + std::to_string(i) + ";";
  text += "Lost";
  std::vector<uint8_t> data = {3};
  data.insert(data.end(), text.begin(), text.end());
  f.link.applyReply(LinkFrameView(Reply(2, data)));
  EXPECT_EQ(f.link.state(), (LinkState{4, 0}));
  const LinkSessionData& s = f.link.session();
  EXPECT_EQ(s.autoLoadMap, "Auto.UMF");
  EXPECT_EQ(s.currentMap, "Demo.UMF");
  EXPECT_EQ(s.currentMapBase, "Demo");
  ASSERT_EQ(s.maps.size(), 20u);
  EXPECT_EQ(s.maps[0], "A.UMF");
  EXPECT_EQ(s.maps[1].size(), 259u);  // cut to its slot
  EXPECT_EQ(s.maps[19], "M17");
}

TEST(ServiceLinkReplies, MapListBadInput) {
  struct Case {
    std::string text;
    std::string autoLoad, current, base;
    std::vector<std::string> maps;
  };
  const Case cases[] = {
      {"", "", "", "", {}},
      {"no separator", "", "", "", {}},
      {";;;;", "", "", "", {}},
      {"A;B.x.y;", "A", "B.x.y", "B", {}},
      {"A;.UMF;", "A", ".UMF", "", {}},
      {std::string("A\0junk;Cur\0x;M\0;\0;N;", 20), "A", "Cur", "Cur", {"M", "N"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    LinkSessionData s;
    s.maps = {"stale"};
    ApplyMapList(s, CBytes(reinterpret_cast<const uint8_t*>(c.text.data()), c.text.size()));
    EXPECT_EQ(s.autoLoadMap, c.autoLoad);
    EXPECT_EQ(s.currentMap, c.current);
    EXPECT_EQ(s.currentMapBase, c.base);
    EXPECT_EQ(s.maps, c.maps);
  }
}

TEST(ServiceLinkReplies, RefusedMapListParksInStateFive) {
  LinkFixture f;
  for (auto [s, sub] : {std::pair<int, int>{1, 0}, {2, 0}, {2, 1}, {2, 2}, {3, 0}})
    f.link.requestState(uint8_t(s), uint8_t(sub));
  f.link.applyReply(LinkFrameView(Reply(2, {4})));
  EXPECT_EQ(f.link.state(), (LinkState{5, 0}));
}

TEST(ServiceLinkReplies, UserPollSetsRights) {
  struct Case {
    uint8_t access, level;
    int rights;
  } cases[] = {{0, 3, 2}, {1, 3, 3}, {1, 0, 0}};
  for (const Case& c : cases) {
    LinkFixture f;
    std::vector<uint8_t> data = {23, 2};
    std::vector<uint8_t> rec(68, 0);
    rec[0] = c.access;
    rec[2] = 'o';
    rec[67] = c.level;
    data.insert(data.end(), rec.begin(), rec.end());
    f.link.applyReply(LinkFrameView(Reply(12, data)));
    EXPECT_EQ(f.shell.rights, std::vector<int>{c.rights});
    EXPECT_EQ(f.shell.accounts, std::vector<bool>{c.access != 0});
    EXPECT_EQ(f.link.session().userName, "o");
    EXPECT_EQ(f.link.session().userLevel, c.level);
    f.link.applyReply(LinkFrameView(Reply(12, std::vector<uint8_t>(data.begin(), data.end() - 1))));
    EXPECT_EQ(f.shell.rights.size(), 1u);  // short: ignored
  }
}

TEST(ServiceLinkReplies, ActionTablePagesChainAndArriveTogether) {
  // Page p holds bytes p + 1; page 6 comes one byte short and is left out.
  LinkFixture f;
  ASSERT_TRUE(f.link.requestActionTables());
  EXPECT_EQ(f.link.queues().peek(3)->data[5], 0);
  f.link.queues().dropHead(3);
  for (uint8_t page = 0; page <= 20; page += 2) {
    std::vector<uint8_t> data = {41, page};
    data.resize(2 + kActionTablePageBytes[page / 2] - (page == 6 ? 1 : 0), uint8_t(page + 1));
    f.link.applyReply(LinkFrameView(Reply(21, data)));
    if (page < 20) {
      ASSERT_EQ(f.link.queues().count(3), 1) << int(page);
      EXPECT_EQ(f.link.queues().peek(3)->data[5], page + 2);
      f.link.queues().dropHead(3);
      EXPECT_TRUE(f.shell.tables.empty()) << "handed over before the last page";
    }
  }
  EXPECT_EQ(f.link.queues().count(3), 0);
  ASSERT_EQ(f.shell.tables.size(), 1u);
  const auto& got = f.shell.tables[0];
  ASSERT_EQ(got.size(), 10u);
  EXPECT_EQ(got.front().first, ActionFamily::Snmpv4);
  EXPECT_EQ(got.front().second.size(), 72u);
  EXPECT_EQ(got.front().second[71].level(), 1);
  EXPECT_EQ(got.back().first, ActionFamily::Gprs);
  EXPECT_EQ(got.back().second[0].level(), 21);
  for (const auto& [family, rows] : got) EXPECT_NE(family, ActionFamily::ThreePhase);

  // Pages nobody asked for change nothing and ask nothing: a failed reply,
  // the last page again, and a first page again (a service answering page 0
  // to every request would otherwise page for the whole session).
  std::vector<uint8_t> first = {41, 0};
  first.resize(2 + kActionTablePageBytes[0], 0);
  std::vector<uint8_t> last = {41, 20};
  last.resize(2 + kActionTablePageBytes[10], 0);
  for (const std::vector<uint8_t>& unasked : {std::vector<uint8_t>{40, 20}, last, first}) {
    f.link.applyReply(LinkFrameView(Reply(21, unasked)));
    EXPECT_EQ(f.shell.tables.size(), 1u);
    EXPECT_EQ(f.link.queues().count(3), 0);
  }
  EXPECT_EQ(f.link.session().actionTables[10][0], 21);
  // The next download asks page 0 again and takes it.
  ASSERT_TRUE(f.link.requestActionTables());
  f.link.queues().dropHead(3);
  f.link.applyReply(LinkFrameView(Reply(21, first)));
  ASSERT_EQ(f.link.queues().count(3), 1);
  EXPECT_EQ(f.link.queues().peek(3)->data[5], 2);
}

TEST(ServiceLinkReplies, VersionWord) {
  LinkFixture f;
  f.link.applyReply(LinkFrameView(Reply(33, {65, 9, 7})));
  EXPECT_EQ(f.link.session().serviceVersion, 0x0907);
}

TEST(StatusPollInterval, ByQueueLength) {
  struct Case {
    int waiting;
    uint32_t ms;
  } cases[] = {{0, 3000}, {10, 3000}, {11, 5000}, {15, 5000}, {16, 6000}, {20, 6000}, {25, 7000}, {26, 11000}};
  for (const Case& c : cases) {
    LinkFixture f;
    for (int i = 0; i < c.waiting; ++i) f.link.postLogRequest(0, 1, "x");
    EXPECT_EQ(f.link.statusPollInterval(), c.ms) << c.waiting;
  }
}

TEST(LogRequests, RecordImages) {
  LinkFixture f;
  ASSERT_TRUE(f.link.postLogRequest(7, 84, std::string(300, 'a')));
  ASSERT_TRUE(f.link.postErrorRequest(0, 2, 1000, "bye"));
  auto log = f.link.queues().peek(3)->data;
  ASSERT_EQ(log.size(), 6u + 264u);
  EXPECT_EQ(log[5], 0);
  EXPECT_EQ(u32At(log, 6), 7u);
  EXPECT_EQ(u16At(log, 10), 84);
  EXPECT_EQ(log[12 + 254], 'a');
  EXPECT_EQ(log[12 + 255], 0);  // at most 255 characters
  f.link.queues().dropHead(3);
  auto err = f.link.queues().peek(3)->data;
  ASSERT_EQ(err.size(), 6u + 268u);
  EXPECT_EQ(err[5], 1);
  EXPECT_EQ(u32At(err, 14), 1000u);
  EXPECT_EQ(err[18], 'b');
}

TEST(CallBackPushes, ControlLockTakenAndReleasedByAnotherConsole) {
  LinkFixture f(32767);
  f.runToState7();
  std::vector<uint8_t> lock(kControlLockSize, 0);
  lock[kLockOffActive] = 1;
  std::memcpy(lock.data() + kLockOffAddress, "10.1.1.1", 8);
  f.link.receiveServerFrames(LinkFrameOf(kLinkKindRequest, kLinkPushControlLock, lock));
  f.link.receiveServerFrames(LinkFrameOf(kLinkKindRequest, kLinkPushControlLock, lock));
  EXPECT_TRUE(f.shell.messages.empty());  // not inside the frame handler
  f.reactor.runPosted();
  EXPECT_EQ(f.shell.messages, (std::vector<std::pair<int, int>>{{56, 60}}));
  EXPECT_TRUE(f.link.foreignChangePending());
  lock[kLockOffActive] = 0;
  f.link.receiveServerFrames(LinkFrameOf(kLinkKindRequest, kLinkPushControlLock, lock));
  f.reactor.runPosted();
  EXPECT_EQ(f.shell.messages.back(), (std::pair<int, int>{57, 180}));
  EXPECT_FALSE(f.link.foreignChangePending());
  EXPECT_EQ(f.link.state(), (LinkState{3, 0}));
}

TEST(CallBackPushes, ShortAndStrayPushesChangeNothing) {
  LinkFixture f;
  DeviceNode& snmp = test::AddSnmp(f.tree, f.tree.root());
  const uint8_t hi = uint8_t(snmp.idU16() >> 8), lo = uint8_t(snmp.idU16());
  struct Case {
    std::vector<uint8_t> bytes;
    uint64_t mask;
  } cases[] = {
      {LinkFrameOf(kLinkKindRequest, 1, {0, hi, lo, 1, 2, 3}), 0},                 // short words
      {LinkFrameOf(kLinkKindRequest, 1, {0, hi}), 0},                              // no id
      {LinkFrameOf(kLinkKindRequest, 2, {1, 0, 0}), 0},                            // short lock
      {LinkFrameOf(kLinkKindReply, 1, {0, hi, lo, 1, 1, 1, 1, 1, 1, 1, 1}), 0},     // not a request
      {LinkFrameOf(kLinkKindRequest, 1, {0, hi, lo, 1, 0, 0, 0, 0, 0, 0, 0}), 1},  // applied
  };
  for (const Case& c : cases) {
    snmp.block(BlockKind::kSnmp)->setMask(MaskWord::kCurrent, 0);
    f.link.receiveServerFrames(c.bytes);
    EXPECT_EQ(snmp.block(BlockKind::kSnmp)->mask(MaskWord::kCurrent), c.mask);
  }
  f.reactor.runPosted();
  EXPECT_TRUE(f.shell.messages.empty());
}

TEST(ServerSearch, EachDatagramAloneFiveAtMost) {
  LinkFixture f;
  auto from = [](const char* ip) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, ip, &a.sin_addr);
    return a;
  };
  const std::vector<uint8_t> answer = {1, 2, 0, 2, 1, 1};
  f.link.receiveDiscoverAnswer(std::vector<uint8_t>{1, 2, 0xFF, 0xFF, 1, 1}, from("10.9.0.1"));  // stray length
  f.link.receiveDiscoverAnswer(std::vector<uint8_t>{1, 1, 0, 2, 1, 1}, from("10.9.0.1"));        // a request
  f.link.receiveDiscoverAnswer(std::vector<uint8_t>{1, 2, 0, 2, 2, 1}, from("10.9.0.1"));        // command 2
  EXPECT_TRUE(f.link.servers().empty());
  for (const char* ip : {"10.9.0.1", "10.9.0.1", "10.9.0.2", "10.9.0.3", "10.9.0.4", "10.9.0.5", "10.9.0.6"})
    f.link.receiveDiscoverAnswer(answer, from(ip));
  EXPECT_EQ(f.link.servers(),
            (std::vector<std::string>{"10.9.0.1", "10.9.0.2", "10.9.0.3", "10.9.0.4", "10.9.0.5"}));
  f.link.clearServers();
  f.link.receiveDiscoverAnswer(answer, from("127.0.0.1"));
  EXPECT_EQ(f.link.servers(), std::vector<std::string>{"LocalHost"});
}

}  // namespace
}  // namespace lark

namespace lark {
namespace {

struct RecordingDialogs final : SessionDialogs {
  bool connectOpen() const override { return connectIsOpen; }
  bool autoLoadOpen() const override { return false; }
  void openConnect(bool reconnect) override { connects.push_back(reconnect); }
  void openAutoLoad() override { ++autoLoads; }
  bool connectIsOpen = false;
  std::vector<bool> connects;
  int autoLoads = 0;
};

TEST(SessionDialogs, TheFirstTickOffersConnectOnceAndLeavesTheConnectionToIt) {
  struct Case {
    bool autoConnect;
    LinkState after;
  };
  for (const Case& c : {Case{false, {2, 0}}, Case{true, {1, 0}}}) {
    LinkFixture f;
    RecordingDialogs dialogs;
    f.link.setSessionDialogs(&dialogs);
    f.link.setServer("127.0.0.1");
    f.link.setAutoConnect(c.autoConnect);
    f.link.secondTick();
    EXPECT_EQ(f.link.state(), c.after) << c.autoConnect;
    EXPECT_EQ(dialogs.connects, std::vector<bool>{false});
    dialogs.connectIsOpen = true;
    f.link.secondTick();
    EXPECT_EQ(dialogs.connects.size(), 1u);
  }
}

TEST(SessionDialogs, HelloGoesRightBehindTheHeadUnderThePendingSequence) {
  LinkFixture f;
  f.headInProgress(kLinkCmdVersion);
  ASSERT_TRUE(f.link.postLogRequest(0, 84, ""));
  const uint32_t before = f.link.pending().sequence;
  ASSERT_TRUE(f.link.queueHello());
  EXPECT_GT(f.link.pending().sequence, before);
  f.link.queues().dropHead(3);
  const std::optional<LinkQueueEntry> hello = f.link.queues().peek(3);
  ASSERT_TRUE(hello);
  EXPECT_EQ(hello->command, kLinkCmdHello);
  EXPECT_EQ(hello->requestId, f.link.pending().sequence);
  EXPECT_EQ(hello->timeoutMs, 4500u);
  EXPECT_EQ(hello->data, BuildRequestFrame(kLinkCmdHello, 0, {}));
  // Its reply lands in the pending request, where the dialog looks.
  f.link.queues().markHead(3, kEntryInProgress);
  f.link.receiveLinkAnswers(Reply(kLinkCmdHello, {1}));
  EXPECT_EQ(f.link.pending().replyFlag, 2);
}

}  // namespace
}  // namespace lark
