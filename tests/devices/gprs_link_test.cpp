// The GPRS station link on a real event loop and loopback sockets (port 9100
// in a private network namespace), with a fake clock; the test calls the poll
// round and the one-second check itself and plays the stations.
#include "devices/gprs/gprs_link.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "devices/gprs/gprs_samples.h"
#include "tests/support/child_process.h"
#include "tests/support/netns.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

// A station's end of the connection (blocking, with a short receive time-out).
class Station {
 public:
  Station() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(kGprsDefaultPort);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ok_ = connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    timeval tv{0, 200000};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  }
  ~Station() { close(fd_); }
  bool ok() const { return ok_; }
  // The next letter, 0 when none came; 'E' when the service closed the connection.
  char letter() {
    char c = 0;
    ssize_t n = recv(fd_, &c, 1, 0);
    return n == 1 ? c : n == 0 ? 'E' : 0;
  }
  void say(const std::string& bytes) {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  }
  void answer(char letter, int station, const std::string& name) {
    say(BuildGprsFrame(GprsSampleReport(letter, station, name)));
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
};

class GprsLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
    RaiseOpenFileLimit();
    loop_ = std::make_unique<EventLoop>();
    link_ = std::make_unique<GprsLink>(*loop_, clock_, tree_, events_,
                                       [this](std::string_view s) { logs_.emplace_back(s); });
    link_->setTimes(5, 10);
    ASSERT_TRUE(link_->OpenGprsListener());
  }
  void TearDown() override {
    if (link_) link_->stop();
    if (loop_) {
      EXPECT_EQ(loop_->watchedSocketCount(), 0u);
    }
  }
  DeviceNode& addNode(const std::string& location) {
    DeviceNode& n = test::AddGprs(tree_, tree_.root());
    n.setLocation(location);
    return n;
  }
  template <class F>
  bool pump(F done, int ms = 3000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done() && std::chrono::steady_clock::now() < end) loop_->runOnce(5);
    return done();
  }
  // Polls once and returns the letter the station got.
  char poll(Station& s) {
    link_->PollRound();
    return s.letter();
  }
  // Sends the answer and waits until the link has taken it in.
  void answer(Station& s, char letter, int station, const std::string& name) {
    s.answer(letter, station, name);
    int slot = link_->connectedCount() > 0 ? slotOf(name) : -1;
    pump([&] { return slot >= 0 ? link_->station(slot).exchange == kGprsIdle : true; }, 500);
    loop_->runOnce(5);
  }
  int slotOf(const std::string& name) {
    for (int i = 0; i < kGprsStationCount; ++i) {
      if (link_->station(i).connected() &&
          (link_->station(i).name.empty() || link_->station(i).name == name))
        return i;
    }
    return -1;
  }
  // Waits past the answer time-out and runs the check.
  void expire() {
    clock_.advance(10001);
    link_->CheckGprsTimeouts();
  }
  // Connects a station and names it through its answer to "L".
  std::unique_ptr<Station> named(const std::string& name, int station) {
    auto s = std::make_unique<Station>();
    EXPECT_TRUE(s->ok());
    int before = link_->connectedCount();
    EXPECT_TRUE(pump([&] { return link_->connectedCount() == before + 1; }));
    EXPECT_EQ(poll(*s), 'L');
    s->answer('L', station, name);
    EXPECT_TRUE(pump([&] { return link_->stationNamed(name) >= 0; }));
    return s;
  }
  static uint64_t current(DeviceNode& n) {
    return n.block(BlockKind::kGprs)->mask(MaskWord::kCurrent);
  }
  static int32_t value(DeviceNode& n, int x) {
    return n.block(BlockKind::kGprs)->i32(68 + 4 * static_cast<size_t>(x));
  }

  FakeClock clock_{1000, WallTime{2026, 12, 10, 4, 17, 30, 5, 0}};
  DeviceTree tree_;
  test::RecordingEventLog events_;
  std::vector<std::string> logs_;
  std::unique_ptr<EventLoop> loop_;
  std::unique_ptr<GprsLink> link_;
};

TEST_F(GprsLinkTest, LettersCyclesAndValues) {
  DeviceNode& node = addNode("North Yard");
  auto s = named("NORTH YARD", 1);  // matches in any case
  std::string letters;
  auto round = [&] {
    char c = poll(*s);
    letters += c ? c : '.';
    if (c >= 'A' && c <= 'Z') answer(*s, c, 1, "NORTH YARD");
  };
  for (int i = 0; i < 5 + 6 + 1 + 6; ++i) round();
  // Identification, a status cycle, one round of rest ("GPRS Polling" 5 s), the next cycle.
  EXPECT_EQ(letters, "LMVDRABIOPT.ABIOPT");
  EXPECT_EQ(node.linkStatus(), kLinkIdentified);
  EXPECT_EQ(value(node, 0), 1000);
  EXPECT_EQ(value(node, 1), 100);
  EXPECT_EQ(value(node, 90), 1090);
  EXPECT_EQ(node.block(BlockKind::kGprs)->text(798, 17), "GPRS-UPS");
  EXPECT_EQ(node.block(BlockKind::kGprs)->text(780, 9), "B0000001");
  EXPECT_EQ(node.block(BlockKind::kGprs)->u16(836), 2026);
  EXPECT_EQ(node.block(BlockKind::kGprs)->u16(846), 30);  // minute
  EXPECT_EQ(node.upsTypeCode(), 3);
  EXPECT_TRUE(current(node) & (uint64_t{1} << 23));
  // After 60 status letters the station is identified again.
  letters.clear();
  for (int i = 0; i < 8 * 7 + 1 + 5; ++i) round();
  EXPECT_EQ(letters.substr(letters.size() - 5), "LMVDR");
  EXPECT_NE(logs_.front().find("identified"), std::string::npos);
}

// gprs_sim stations "north1".."north5" with a fault each: split frames, two
// frames in one write and lower-case sums are read whole; a station whose
// every answer has a bad sum or length is closed after its third.
TEST_F(GprsLinkTest, SimulatedStationsWithFaults) {
  const char* locations[] = {"NORTH1", "North2", "north3", "North4", "NORTH5"};
  std::vector<DeviceNode*> nodes;
  for (const char* l : locations) nodes.push_back(&addNode(l));
  pid_t sim =
      test::SpawnChild({test::BuiltProgram("tools/gprs_sim"), "--tagged", "--stations", "5",
                        "--name", "north", "--fault", "split:1", "--fault", "two:2", "--fault",
                        "lowersum:3", "--fault", "badsum:4", "--fault", "lendigits:5"});
  ASSERT_TRUE(pump([&] { return link_->connectedCount() == 5; }, 10000));
  auto idle = [&] {
    for (int i = 0; i < kGprsStationCount; ++i) {
      const GprsStation& st = link_->station(i);
      if (st.connected() && st.exchange != kGprsIdle) return false;
    }
    return true;
  };
  for (int round = 0; round < 12; ++round) {
    link_->PollRound();  // every station asked is busy from here on
    if (!pump(idle, 2000)) expire();  // the bad answers wait out their time-out
  }
  for (int s = 1; s <= 3; ++s) {
    SCOPED_TRACE(s);
    DeviceNode& n = *nodes[static_cast<size_t>(s - 1)];
    EXPECT_EQ(n.linkStatus(), kLinkIdentified);
    EXPECT_EQ(value(n, 0), 1000 * s);
    EXPECT_EQ(value(n, 75), 1000 * s + 75);
    EXPECT_EQ(n.block(BlockKind::kGprs)->i32(832), 100 + s);
    EXPECT_TRUE(current(n) & (uint64_t{1} << 20));
  }
  for (int s = 4; s <= 5; ++s) EXPECT_EQ(value(*nodes[static_cast<size_t>(s - 1)], 0), -1) << s;
  EXPECT_EQ(link_->connectedCount(), 3);
  test::StopChild(sim, SIGTERM);
}

// A gprs_sim station whose line drops now and then is lost when it goes and
// reports again when it calls back.
TEST_F(GprsLinkTest, SimulatedStationOutageComesAndGoes) {
  DeviceNode& node = addNode("Station1");
  pid_t sim = test::SpawnChild(
      {test::BuiltProgram("tools/gprs_sim"), "--stations", "1", "--outage", "1:2:1"});
  auto lost = [&] { return (current(node) >> kGprsLinkLostBit & 1u) != 0; };
  // Polled on every pass, the station reports until its line drops.
  auto poll = [&](auto done) {
    return pump(
        [&] {
          link_->PollRound();
          return done();
        },
        15000);
  };
  EXPECT_TRUE(poll([&] { return value(node, 43) > 0 && !lost(); }));
  EXPECT_TRUE(poll(lost));
  EXPECT_EQ(link_->connectedCount(), 0);
  EXPECT_TRUE(poll([&] { return !lost(); }));
  EXPECT_TRUE(poll(lost)) << "and drops again";
  test::StopChild(sim, SIGTERM);
}

TEST_F(GprsLinkTest, FramesSplitTwoInOneAndBad) {
  DeviceNode& node = addNode("North");
  auto s = named("North", 1);
  const int slot = link_->stationNamed("North");
  auto parsed = [&](const std::string& bytes, int x, int32_t v) {
    s->say(bytes);
    return pump([&] { return value(node, x) == v; }, 1000);
  };
  std::string tsr = BuildGprsFrame("TSR7;");
  s->say(tsr.substr(0, 5));
  ASSERT_TRUE(pump([&] { return link_->station(slot).received == 5; }));  // held, not parsed
  EXPECT_EQ(value(node, 90), -1);
  EXPECT_TRUE(parsed(tsr.substr(5), 90, 7));
  EXPECT_TRUE(parsed(BuildGprsFrame("TSR9;") + BuildGprsFrame("STP9;"), 75, 9));
  EXPECT_EQ(value(node, 90), 9);
  const std::string bad[] = {"x01D007TSR1;00", "~01X007TSR1;00", "~01D-05TSR1;00",
                             BuildGprsFrame("TSR1;").replace(12, 2, "00")};
  int good = 10;
  for (const std::string& b : bad) {
    s->say(b);
    EXPECT_TRUE(pump([&] { return link_->station(slot).missed == 1; })) << b;  // dropped as bad
    EXPECT_EQ(link_->station(slot).received, 0u) << b;
    EXPECT_EQ(value(node, 90), good - 1) << b;
    EXPECT_TRUE(link_->station(slot).connected()) << b;
    EXPECT_TRUE(parsed(BuildGprsFrame("TSR" + std::to_string(good) + ";"), 90, good));
    ++good;
  }
  // "L" 999 waits for octets that never come; the time-out drops them.
  s->say("~01D999TSR1;");
  ASSERT_TRUE(pump([&] { return link_->station(slot).received == 12; }));
  expire();
  EXPECT_TRUE(parsed(BuildGprsFrame("TSR2;"), 90, 2));
  EXPECT_TRUE(link_->station(slot).connected());
  // Three bad answers in a row end the station.
  for (int i = 0; i < 3; ++i) {
    s->say(bad[0]);
    if (i < 2) {
      EXPECT_TRUE(pump([&] { return link_->station(slot).missed == i + 1; }));
    }
  }
  EXPECT_TRUE(pump([&] { return !link_->station(slot).connected(); }));
  EXPECT_TRUE(current(node) & (uint64_t{1} << 24));
}

TEST_F(GprsLinkTest, SilentStationIsLostClosedAndComesBack) {
  DeviceNode& node = addNode("North");
  auto s = named("North", 1);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(link_->station(link_->stationNamed("North")).connected());
    EXPECT_FALSE(current(node) & (uint64_t{1} << 24));
    EXPECT_NE(poll(*s), 0);
    expire();
  }
  EXPECT_TRUE(current(node) & (uint64_t{1} << 24));
  EXPECT_EQ(s->letter(), 'E');
  s.reset();
  auto again = named("North", 1);
  EXPECT_EQ(poll(*again), 'L');
  answer(*again, 'L', 1, "North");
  EXPECT_FALSE(current(node) & (uint64_t{1} << 24));
}

TEST_F(GprsLinkTest, DuplicateLocIsRefusedUnlessTheHolderMissed) {
  DeviceNode& node = addNode("North");
  auto first = named("North", 1);
  poll(*first);
  answer(*first, 'M', 1, "North");
  auto second = std::make_unique<Station>();
  ASSERT_TRUE(pump([&] { return link_->connectedCount() == 2; }));
  link_->PollRound();
  EXPECT_EQ(second->letter(), 'L');
  first->letter();
  second->say(BuildGprsFrame("LOCnorth;MODOTHER;9;"));  // case differs: still the same name
  EXPECT_TRUE(pump([&] { return link_->connectedCount() == 1; }));
  EXPECT_EQ(second->letter(), 'E');
  EXPECT_EQ(node.block(BlockKind::kGprs)->text(798, 17), "GPRS-UPS");
  auto ev = events_.events();
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_NE(ev[0].text.find("refused"), std::string::npos);
  EXPECT_NE(ev[0].text.find("127.0.0.1"), std::string::npos);
  // A name with line breaks and tabs stays on one event-log line.
  auto odd = std::make_unique<Station>();
  ASSERT_TRUE(pump([&] { return link_->connectedCount() == 2; }));
  odd->say(BuildGprsFrame("LOCNo\r\nrth\t2;"));
  ASSERT_TRUE(pump([&] { return link_->stationNamed("No\r\nrth\t2") >= 0; }));
  odd.reset();
  pump([&] { return link_->connectedCount() == 1; });
  for (const std::string& l : logs_) EXPECT_EQ(l.find_first_of("\r\n\t"), std::string::npos) << l;
  // A holder that missed its last answer gives way.
  expire();
  auto third = std::make_unique<Station>();
  ASSERT_TRUE(pump([&] { return link_->connectedCount() == 2; }));
  link_->PollRound();
  EXPECT_EQ(third->letter(), 'L');
  third->say(BuildGprsFrame("LOCNorth;"));
  EXPECT_TRUE(
      pump([&] { return link_->connectedCount() == 1 && link_->stationNamed("North") >= 0; }));
  char c = first->letter();
  while (c >= 'A' && c < 'Z' && c != 'E') c = first->letter();  // letters sent before the close
  EXPECT_EQ(c, 'E');
}

TEST_F(GprsLinkTest, LaterLocAndSharedLocationAreLoggedOnce) {
  DeviceNode& north = addNode("North");
  DeviceNode& twin = addNode("NORTH");
  auto s = named("North", 1);
  poll(*s);
  s->say(BuildGprsFrame("LOCSouth;"));
  s->say(BuildGprsFrame("LOCWest;TSR4;"));
  ASSERT_TRUE(pump([&] { return value(north, 90) == 4; }));  // both frames taken
  EXPECT_EQ(link_->stationNamed("South"), -1);
  EXPECT_EQ(value(twin, 90), -1);  // the first node of the name gets the data
  int later = 0, shared = 0;
  for (auto& l : logs_) later += l.find("now reports LOC") != std::string::npos;
  for (auto& e : events_.events()) shared += e.text.find("share the Location") != std::string::npos;
  EXPECT_EQ(later, 1);
  EXPECT_EQ(shared, 1);
}

TEST_F(GprsLinkTest, NodeFreedAndMadeAgainWhileTheStationTalks) {
  addNode("North");
  auto s = named("North", 1);
  poll(*s);
  answer(*s, 'M', 1, "North");
  tree_.setCurrentParent(tree_.root());
  ASSERT_TRUE(Tree_DeleteChild(tree_, 0));
  s->say(BuildGprsFrame("TSR5;"));  // no node: nothing is written anywhere
  // Time for the frame to come in before the node is made again; a slow
  // machine only lets it come later, and then the node holds 6 all the same.
  pump([] { return false; }, 50);
  DeviceNode& again = addNode("NORTH");
  s->say(BuildGprsFrame("TSR6;"));
  EXPECT_TRUE(pump([&] { return value(again, 90) == 6; }));
}

TEST_F(GprsLinkTest, StoppedNodeIsNotPolled) {
  DeviceNode& node = addNode("North");
  auto s = named("North", 1);
  node.setLinkStatus(kLinkStopped);
  EXPECT_EQ(poll(*s), 0);
  EXPECT_EQ(node.linkStatus(), kLinkStopped);
  node.setLinkStatus(kLinkUnidentified);
  EXPECT_EQ(poll(*s), 'L');
}

TEST_F(GprsLinkTest, StationsThatNeverAnswerAreClosedAfterThreePolls) {
  std::vector<std::unique_ptr<Station>> quiet;
  for (int i = 0; i < 100; ++i) quiet.push_back(std::make_unique<Station>());
  ASSERT_TRUE(pump([&] { return link_->connectedCount() == 100; }));
  for (int i = 0; i < 3; ++i) {
    link_->PollRound();
    expire();
  }
  EXPECT_EQ(link_->connectedCount(), 0);
}

TEST_F(GprsLinkTest, FullTableWaitsIdleUntilASlotFrees) {
  std::vector<std::unique_ptr<Station>> all;
  for (int i = 0; i <= kGprsStationCount; ++i) {
    all.push_back(std::make_unique<Station>());
    ASSERT_TRUE(all.back()->ok()) << i;
    if (i % 100 == 0) loop_->runOnce(0);
  }
  ASSERT_TRUE(pump([&] { return link_->connectedCount() == kGprsStationCount; }));
  EXPECT_TRUE(link_->listenerPaused());
  // Settled: a round of the loop runs no handler.
  ASSERT_TRUE(pump([&] {
    const uint64_t before = loop_->handlersRun();
    loop_->runOnce(0);
    return loop_->handlersRun() == before;
  }));
  const uint64_t handlers = loop_->handlersRun();
  const uint64_t ready = loop_->readyEventsSeen();
  for (int i = 0; i < 20; ++i) loop_->runOnce(5);
  EXPECT_EQ(loop_->handlersRun(), handlers);
  EXPECT_EQ(loop_->readyEventsSeen(), ready);
  all.front().reset();  // one station leaves: the waiting one takes its slot
  ASSERT_TRUE(pump([&] {
    return link_->connectedCount() == kGprsStationCount && !link_->station(0).peer.empty();
  }));
  link_->startThread();
  link_->stop();  // with every slot taken: the thread joins, every socket closes
  EXPECT_EQ(link_->connectedCount(), 0);
}

TEST_F(GprsLinkTest, ACallerWithoutANameIsClosedAfterOneIdentificationCycle) {
  Station s;
  ASSERT_TRUE(s.ok());
  ASSERT_TRUE(pump([&] { return link_->connectedCount() == 1; }));
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(poll(s), 'L') << i;
    s.say(BuildGprsFrame(""));
    ASSERT_TRUE(pump([&] { return link_->station(0).exchange == kGprsIdle; })) << i;
    EXPECT_TRUE(link_->station(0).nameless);
  }
  EXPECT_EQ(poll(s), 'E');
  EXPECT_EQ(link_->connectedCount(), 0);
}

TEST_F(GprsLinkTest, NameRefusalsWriteTwentyLinesAMinuteAndThenTheirCount) {
  addNode("North");
  auto holder = named("North", 1);
  for (int i = 0; i < 30; ++i) {
    Station claimer;
    ASSERT_TRUE(claimer.ok());
    ASSERT_TRUE(pump([&] { return link_->connectedCount() == 2; })) << i;
    claimer.say(BuildGprsFrame("LOCNorth;"));
    ASSERT_TRUE(pump([&] { return link_->connectedCount() == 1; })) << i;
    EXPECT_EQ(claimer.letter(), 'E') << i;
  }
  auto refusals = [&] {
    auto ev = events_.events();
    return std::count_if(ev.begin(), ev.end(), [](const test::LoggedEvent& e) {
      return e.text.find("refused: the name is held") != std::string::npos;
    });
  };
  EXPECT_EQ(refusals(), 20);
  clock_.advance(59999);
  link_->CheckGprsTimeouts();
  EXPECT_EQ(events_.events().size(), 20u);
  clock_.advance(1);
  link_->CheckGprsTimeouts();
  ASSERT_EQ(events_.events().size(), 21u);
  EXPECT_EQ(events_.events().back().text, "10 more GPRS station names refused or taken over");
  EXPECT_EQ(events_.events().back().level, kLevelWarning);
}

}  // namespace
}  // namespace lark
