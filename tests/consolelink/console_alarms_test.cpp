#include "console/link/console_alarms.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "devices/ascii_live_data.h"
#include "platform/clock.h"
#include "platform/event_loop.h"
#include "platform/paths.h"
#include "tests/support/netns.h"
#include "tests/support/peer_process.h"
#include "tests/support/recording_sound_player.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

// One ASCII UPS (id 2) and one PLC (id 3) under the root, the English tables
// with rows set per case, the console's item "Operators" naming the UPS, and
// the window's timer: a check every second tick.
class ConsoleAlarmsTest : public ::testing::Test {
 protected:
  ConsoleAlarmsTest() {
    clock.setWall(WallTime{2025, 3, 4, 2, 9, 5, 5, 0});
    settings.broadcastList.wholeDomain = 1;
    fs::copy(test::SourcePath("data/English"), dir.file("English"), fs::copy_options::recursive);
    MakeDirs(dir.file("English/Audio"));
    WriteFileAtomic(dir.file("English/Audio/alarm.wav"), "RIFF");
    tables.load("English");
    for (ActionFamily f : {ActionFamily::Regular, ActionFamily::RegularPlus, ActionFamily::Plc}) {
      ActionTable rows = tables.actions()->table(f);
      for (ActionRow& r : rows) r.setLevel(kAlarmNone);
      tables.replaceActionTable(f, rows);
    }
    settings.reactionMasks = {kReactBroadcast | kReactEmail | kReactSms | kReactAudio,
                              kReactBroadcast | kReactAudio, 0};
    settings.audioCycle = {0, 0, 0};
    settings.audioInterval = {4, 4, 4};
    items[0].name = "Operators";
    settings.contactors[0].name = "Operators";  // a slot without its contact is given back
    settings.contactors[0].phone1 = "+123";
    items[0].nodeIds[0] = 2;
    ups = &add(2, kCommAscii, "UPS 1");
    plc = &add(3, kCommPlc, "PLC 1");
    alarms.resetSoundCounters();
    alarms.clearMailSlots();
  }

  DeviceNode& add(int16_t id, int16_t commType, const char* title) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(id);
    n->setNodeKind(kNodeSerial);
    n->setCommType(commType);
    n->setTitle(title);
    n->resetAudioRepeat();
    AllocateNodeBlocks(*n);
    return *tree.root().addChild(n);
  }
  void setRow(ActionFamily f, int row, uint8_t level, int32_t delay, const std::string& message,
              const std::string& sound = "") {
    ActionTable rows = tables.actions()->table(f);
    ActionRow& r = rows[static_cast<size_t>(row)];
    r.setTitle("Row " + std::to_string(row));
    r.setLevel(level);
    r.setDelayTime(delay);
    r.setMessage(message);
    r.setSmsMessage(message.empty() ? "" : "sms " + message);
    r.setAudioFile(sound);
    tables.replaceActionTable(f, rows);
  }
  // Row 2e and 2e+1 of an event.
  void setEvent(ActionFamily f, int e, uint8_t level, int32_t delay, const std::string& sound = "") {
    setRow(f, 2 * e, level, delay, "event " + std::to_string(e) + " on", sound);
    setRow(f, 2 * e + 1, level, delay, "event " + std::to_string(e) + " off", sound);
  }
  static void setBit(DeviceNode& n, int bit, bool on, MaskWord w = MaskWord::kCurrent) {
    if (on) {
      PrimaryBlock(n)->setMaskBits(w, uint64_t{1} << bit);
    } else {
      PrimaryBlock(n)->clearMaskBits(w, uint64_t{1} << bit);
    }
  }
  // Two seconds of the window's timer and the check of the second tick.
  void check() {
    for (int i = 0; i < 2; ++i) {
      clock.advance(1000);
      alarms.decrementSoundCounters();
    }
    alarms.check();
  }
  std::string mail() {
    return alarms.outgoing().withLock([](OutgoingState& s) {
      return s.slots[0].emailPending ? s.slots[0].subject + "|" + s.slots[0].body : "";
    });
  }
  std::string sms() {
    return alarms.outgoing().withLock([](OutgoingState& s) {
      EXPECT_EQ(s.reportSmsRow, -1) << "the console has no report SMS";
      return s.slots[0].smsText;
    });
  }

  test::TempDir dir;
  LanguageTables tables{dir.path()};
  FakeClock clock{1000};
  DeviceTree tree;
  ServiceSettings settings;
  std::array<RecipientItem, kListRows> items;
  test::RecordingSoundPlayer player;
  std::vector<std::string> popups;  // the lines without their date and time
  std::string lastLine;
  std::vector<std::vector<std::string>> notes;  // Larknote's argv
  bool sameComputer = false;
  ConsoleAlarms alarms{tree,
                       settings,
                       items,
                       tables,
                       clock,
                       dir.path(),
                       &player,
                       ConsoleAlarmPeers{[this](const std::string& line) {
                                           lastLine = line;
                                           popups.push_back(line.substr(line.find(" (") + 1));
                                         },
                                         [this] { return sameComputer; },
                                         [this](const std::vector<std::string>& argv) {
                                           notes.push_back(argv);
                                           return pid_t{-1};
                                         },
                                         [] {
                                           return std::pair<std::string, uint32_t>("COM6", 9600);
                                         }}};
  DeviceNode* ups = nullptr;
  DeviceNode* plc = nullptr;
};

TEST_F(ConsoleAlarmsTest, CurrentWordsBecomeTheReportedOnes) {
  setBit(*ups, 4, true);
  setBit(*ups, 28, true);  // beyond the table: moved all the same
  check();
  EXPECT_EQ(PrimaryBlock(*ups)->mask(MaskWord::kReported), (uint64_t{1} << 4) | (uint64_t{1} << 28));
  setBit(*ups, 4, false);
  check();
  EXPECT_EQ(PrimaryBlock(*ups)->mask(MaskWord::kReported), uint64_t{1} << 28);
}

TEST_F(ConsoleAlarmsTest, ChangeClearedBeforeItsDelayShowsOnlyItsPopup) {
  setEvent(ActionFamily::Regular, 3, kAlarmSerious, 10, "Audio\\alarm.wav");
  setBit(*ups, 3, true);
  check();
  EXPECT_EQ(popups, std::vector<std::string>{"(UPS 1) event 3 on"}) << "at the change";
  setBit(*ups, 3, false);
  for (int i = 0; i < 8; ++i) check();
  EXPECT_EQ(popups, (std::vector<std::string>{"(UPS 1) event 3 on", "(UPS 1) event 3 off"}));
  EXPECT_EQ(mail(), "");
  EXPECT_EQ(sms(), "");
  EXPECT_TRUE(player.played.empty());
}

TEST_F(ConsoleAlarmsTest, FiredRowMailsTextsAndSoundsInTheConsolesOwnWords) {
  setEvent(ActionFamily::Regular, 1, kAlarmSerious, 0, "audio/ALARM.wav");
  setBit(*ups, 1, true);
  check();
  EXPECT_EQ(popups, std::vector<std::string>{"(UPS 1) event 1 on"});
  EXPECT_EQ(lastLine, "Tuesday, March 4, 2025 09:05:07 (UPS 1) event 1 on");
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0], (std::vector<std::string>{dir.file("Larknote"), "*", lastLine}));
  const std::string m = mail();
  EXPECT_EQ(m.substr(0, m.find('|')), "Row 2(Monitor/Operators)");
  EXPECT_NE(m.find("|UPS Title: UPS 1\nMessage: event 1 on\nTime: "), std::string::npos) << m;
  EXPECT_EQ(sms(), "UPS:UPS 1\nsms event 1 on(M/Operators)");
  ASSERT_EQ(player.played.size(), 1u);
  EXPECT_EQ(player.played[0], dir.file("English/Audio/alarm.wav"));
  for (int i = 0; i < 4; ++i) check();
  EXPECT_EQ(player.played.size(), 1u) << "repeat off: once per occurrence";
}

TEST_F(ConsoleAlarmsTest, RepeatPlaysEveryIntervalWhileNoOtherSoundCounts) {
  settings.audioCycle = {1, 1, 1};
  setEvent(ActionFamily::Regular, 1, kAlarmSerious, 0, "Audio/alarm.wav");
  setBit(*ups, 1, true);
  for (int i = 0; i < 6; ++i) check();  // 12 s, interval 4 s, 5 s hold of each sound
  EXPECT_GE(player.played.size(), 2u);
  EXPECT_LE(player.played.size(), 3u);
}

TEST_F(ConsoleAlarmsTest, SilentCases) {
  struct Case {
    const char* name;
    bool sameComputer;
    const char* sound;
    int event;
    bool lossBit;
    bool popup;
  } cases[] = {
      {"shared memory: no sound, the popup still shows", true, "Audio/alarm.wav", 1, false, true},
      {"a sound name leaving the folder is refused", false, "../English/Audio/alarm.wav", 1, false,
       true},
      {"communication-lost event while the link is lost", false, "Audio/alarm.wav", 23, true,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    tree.root().detachChild(0);
    ups = &add(2, kCommAscii, "UPS 1");
    popups.clear();
    notes.clear();
    player.played.clear();
    alarms.resetSoundCounters();
    sameComputer = c.sameComputer;
    setEvent(ActionFamily::Regular, c.event, kAlarmSerious, 0, c.sound);
    if (c.lossBit) setBit(*ups, 16, true);
    setBit(*ups, c.event, true);
    check();
    check();
    EXPECT_TRUE(player.played.empty());
    EXPECT_EQ(popups.size(), c.popup ? 1u : 0u);
    if (c.sameComputer) {
      EXPECT_TRUE(notes.empty()) << "the service starts Larknote itself";
    }
  }
}

TEST_F(ConsoleAlarmsTest, PlcUsesItsTwoEvents) {
  setEvent(ActionFamily::Plc, 0, kAlarmWarning, 0, "Audio/alarm.wav");
  setEvent(ActionFamily::Plc, 1, kAlarmWarning, 0);
  setBit(*plc, 1, true);
  setBit(*plc, 2, true);  // the PLC table has two events
  check();
  EXPECT_EQ(popups, std::vector<std::string>{"(PLC 1) event 1 on"});
  setBit(*plc, 1, false);
  setBit(*plc, 0, true);
  for (int i = 0; i < 3; ++i) check();
  EXPECT_EQ(popups, (std::vector<std::string>{"(PLC 1) event 1 on", "(PLC 1) event 0 on",
                                              "(PLC 1) event 1 off"}));
  EXPECT_EQ(player.played.size(), 1u);
  EXPECT_EQ(mail(), "") << "the PLC is not among the items' devices";
}

TEST_F(ConsoleAlarmsTest, ExtendedRowsApartFromStandardOnesAndPopUpWhenTheyFire) {
  PrimaryBlock(*ups)->putU32(ascii_off::kModelClass, 3);
  setEvent(ActionFamily::Regular, 3, kAlarmSerious, 4);
  setEvent(ActionFamily::RegularPlus, 3, kAlarmSerious, 4);
  setBit(*ups, 3, true);
  check();
  EXPECT_EQ(popups, std::vector<std::string>{"(UPS 1) event 3 on"}) << "standard: at the change";
  setBit(*ups, 3, true, MaskWord::kExtCurrent);
  check();  // the standard row fires here; the extended one waits its 4 s
  EXPECT_EQ(popups.size(), 1u);
  EXPECT_EQ(PrimaryBlock(*ups)->mask(MaskWord::kExtReported), uint64_t{1} << 3);
  check();
  check();
  EXPECT_EQ(popups, (std::vector<std::string>{"(UPS 1) event 3 on", "(UPS 1) event 3 on"}));
  EXPECT_EQ(ups->alarmState(AlarmArray::kConfirmed, 6), 1);
  EXPECT_EQ(ups->alarmState(AlarmArray::kConfirmedExt, 6), 1);
}

// Notify By Monitor replaced the items: the name that went gives its slot
// back, and the next alarm reaches the new recipient.
TEST_F(ConsoleAlarmsTest, ReplacedItemsReachTheNewRecipientAtTheNextAlarm) {
  setEvent(ActionFamily::Regular, 1, kAlarmSerious, 0);
  setBit(*ups, 1, true);
  check();
  ASSERT_EQ(sms(), "UPS:UPS 1\nsms event 1 on(M/Operators)");
  settings.contactors[1].name = "Night";
  settings.contactors[1].phone1 = "+456";
  items[0] = RecipientItem();
  items[1].name = "Night";
  items[1].nodeIds[0] = 2;
  alarms.rebindRecipients(items);
  EXPECT_EQ(sms(), "") << "the slot of the name that went is free";
  setBit(*ups, 1, false);
  check();
  EXPECT_EQ(sms(), "UPS:UPS 1\nsms event 1 off(M/Night)");
}

// Through the console's own modem (gsm_sim linked as COM6 in the install's
// ports folder): the slot's text in text mode, the exchange appended to
// Monitor/SMS_Log.txt.
TEST_F(ConsoleAlarmsTest, SmsLeavesThroughTheConsolesModem) {
  ASSERT_TRUE(MakeDirs(dir.file("ports")) && MakeDirs(dir.file("Monitor")));
  ASSERT_TRUE(WriteFileAtomic(dir.file("Monitor/SMS_Log.txt"), "earlier\n"));
  test::PeerProcess sim;
  ASSERT_TRUE(sim.start({test::BuiltProgram("tools/gsm_sim"), "--pty-dir", dir.file("ports"),
                         "--com", "6", "--out", dir.file("sent.txt")}));
  setEvent(ActionFamily::Regular, 1, kAlarmSerious, 0);
  setBit(*ups, 1, true);
  const auto sent = [&] {
    check();
    return ReadFile(dir.file("sent.txt")).value_or("").find("+123") != std::string::npos;
  };
  ASSERT_TRUE(test::Eventually(sent, 30000));
  // "TEXT <number> <hex of the text>": "UPS:UPS 1\nsms event 1 on(M/Operators)".
  EXPECT_EQ(ReadFile(dir.file("sent.txt")).value_or(""),
            "TEXT +123 5550533A55505320310A736D73206576656E742031206F6E284D2F4F70657261746F727329\n");
  ASSERT_TRUE(test::Eventually([&] { check(); return sms().empty(); }, 30000));
  const std::string log = ReadFile(dir.file("Monitor/SMS_Log.txt")).value_or("");
  EXPECT_EQ(log.rfind("earlier\n", 0), 0u) << "appended";
  EXPECT_NE(log.find("Open SMS COM6 OK."), std::string::npos) << log;
}

// Through a real SMTP server (own network namespace, port 25): the slot's
// mail to its contact, "...(Monitor/Operators)" with the UPS's title.
TEST_F(ConsoleAlarmsTest, MailLeavesThroughTheManagerIniAccount) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  test::PeerProcess smtp;
  ASSERT_TRUE(smtp.start({"/usr/bin/python3", test::SourcePath("tests/peers/smtp_server.py"),
                          "--out", dir.file("mails.jsonl")}));
  settings.smtpServer = "127.0.0.1";
  settings.smtpSender = "console@demo.example";
  settings.contactors[0].email1 = "ops@demo.example";
  alarms.startMail();
  setEvent(ActionFamily::Regular, 1, kAlarmSerious, 0);
  setBit(*ups, 1, true);
  check();
  const auto mails = [&] { return ReadFile(dir.file("mails.jsonl")).value_or(""); };
  ASSERT_TRUE(test::Eventually([&] { return mails().find("UPS Title: UPS 1") != std::string::npos; },
                               60000));
  EXPECT_NE(mails().find("Row 2(Monitor/Operators)"), std::string::npos) << mails();
  EXPECT_NE(mails().find(R"("to": ["ops@demo.example"])"), std::string::npos) << mails();
  alarms.stopSenders();
}

// The window's 100 ms timer keeps ticking while the SMTP server and the
// modem take the connection and say nothing: the senders wait in their own
// threads. A check that waited on either peer would hold the loop, and with
// it the fake clock that alone ends the stalled conversation, so the ticks
// would never come. When the server returns the waiting mail goes.
TEST_F(ConsoleAlarmsTest, WindowTimerKeepsItsPaceWhilePeersAreSilent) {
  if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace";
  ASSERT_TRUE(MakeDirs(dir.file("ports")) && MakeDirs(dir.file("Monitor")));
  settings.smtpServer = "127.0.0.1";
  settings.smtpSender = "console@demo.example";
  settings.contactors[0].email1 = "ops@demo.example";
  setEvent(ActionFamily::Regular, 1, kAlarmSerious, 0);
  alarms.startMail();

  EventLoop loop;
  int fast = 0, seconds = 0;
  uint32_t secondStep = 1000;  // fake milliseconds per real second
  ASSERT_TRUE(loop.setTimer(1, 100, [&] { ++fast; }));
  ASSERT_TRUE(loop.setTimer(2, 1000, [&] {
    clock.advance(secondStep);
    alarms.decrementSoundCounters();
    if (++seconds % 2 == 0) alarms.check();
  }));
  const auto runUntil = [&](const std::function<bool()>& done) {
    return test::Eventually([&] {
      loop.runOnce(50);
      return done();
    }, 60000);
  };
  // 60 ticks of the 100 ms timer (three alarm checks).
  const auto stretch = [&] {
    const int until = fast + 60;
    return runUntil([&] { return fast >= until; });
  };
  const auto file = [&](const char* name) { return ReadFile(dir.file(name)).value_or(""); };
  const auto pending = [&] {
    return alarms.outgoing().withLock(
        [](OutgoingState& s) { return s.slots[0].emailPending || !s.slots[0].smsText.empty(); });
  };

  // Both answer: the event's start goes out as mail and SMS.
  test::PeerProcess smtp, modem;
  ASSERT_TRUE(smtp.start({"/usr/bin/python3", test::SourcePath("tests/peers/smtp_server.py"),
                          "--out", dir.file("mails.jsonl")}));
  ASSERT_TRUE(modem.start({test::BuiltProgram("tools/gsm_sim"), "--pty-dir", dir.file("ports"),
                           "--com", "6", "--out", dir.file("sent.txt")}));
  setBit(*ups, 1, true);
  ASSERT_TRUE(stretch());
  ASSERT_TRUE(runUntil([&] { return !pending(); })) << file("mails.jsonl") << file("sent.txt");
  EXPECT_NE(file("mails.jsonl").find("Row 2(Monitor/Operators)"), std::string::npos);

  // Both silent: a listener that never answers on the SMTP port, a modem
  // that reads and says nothing; the event's end waits in its slot.
  smtp.stop();
  modem.stop();
  const int silent = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(SmtpPortFromEnvironment());
  at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int on = 1;
  setsockopt(silent, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(silent, 8), 0);
  ASSERT_TRUE(modem.start({test::BuiltProgram("tools/gsm_sim"), "--pty-dir", dir.file("ports"),
                           "--com", "6", "--out", dir.file("sent.txt"), "--fault", "silence"}));
  setBit(*ups, 1, false);
  EXPECT_TRUE(stretch()) << "the window's timer stopped while the peers were silent";
  EXPECT_TRUE(pending()) << "the silent peers took the texts";

  // The server returns: the mail that waited goes (the stalled conversation
  // ends by its bound on the console's clock, then the retry).
  close(silent);
  ASSERT_TRUE(smtp.start({"/usr/bin/python3", test::SourcePath("tests/peers/smtp_server.py"),
                          "--out", dir.file("mails.jsonl")}));
  secondStep = 20000;
  ASSERT_TRUE(runUntil([&] { return file("mails.jsonl").find("Row 3(Monitor/Operators)") != std::string::npos; }))
      << file("mails.jsonl");
  alarms.stopSenders();
}

}  // namespace
}  // namespace lark
