#include "records/alarm_detector.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>

#include "core/device_tree.h"
#include "core/settings.h"
#include "platform/clock.h"
#include "platform/key_store.h"
#include "records/audio_handover.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// One tree, one detector, a fake clock and recorded reactions. Time moves in
// whole seconds like the service's one-second timer, which scans every
// second tick.
class AlarmDetectorTest : public ::testing::Test {
 protected:
  AlarmDetectorTest() {
    for (auto& row : tables.table(ActionFamily::Regular)) row.setLevel(kAlarmNone);
    settings.reactionMasks = {kReactBroadcast, kReactBroadcast, 0};
    clock.setWall(Wall());
  }

  static WallTime Wall() {
    WallTime t;
    t.year = 2025;
    t.month = 3;
    t.day = 4;
    t.dayOfWeek = 2;
    t.hour = 9;
    return t;
  }

  DeviceNode& addNode(DeviceNode& parent, int16_t id, uint8_t kind, int16_t commType,
                      const char* title) {
    auto n = std::make_unique<DeviceNode>();
    n->setId(id);
    n->setNodeKind(kind);
    n->setCommType(commType);
    n->setTitle(title);
    n->resetAudioRepeat();
    AllocateNodeBlocks(*n);
    return *parent.addChild(n);
  }
  DeviceNode& addUps(int16_t id = 5) {
    return addNode(tree.root(), id, kNodeSerial, kCommAscii, "UPS-A");
  }

  // Row 2i / 2i+1 of the regular table.
  void setEvent(int event, int32_t occDelay, int32_t recDelay, uint8_t level = kAlarmSerious) {
    auto& rows = tables.table(ActionFamily::Regular);
    ActionRow& occ = rows[static_cast<size_t>(2 * event)];
    occ.setTitle("Event " + std::to_string(event));
    occ.setMessage("event " + std::to_string(event) + " occurred");
    occ.setLevel(level);
    occ.setDelayTime(occDelay);
    ActionRow& rec = rows[static_cast<size_t>(2 * event + 1)];
    rec.setTitle("Event " + std::to_string(event) + " ended");
    rec.setMessage("event " + std::to_string(event) + " recovered");
    rec.setLevel(level);
    rec.setDelayTime(recDelay);
  }

  static void setBit(DeviceNode& n, int bit, bool on, MaskWord word = MaskWord::kCurrent) {
    if (on) {
      PrimaryBlock(n)->setMaskBits(word, uint64_t{1} << bit);
    } else {
      PrimaryBlock(n)->clearMaskBits(word, uint64_t{1} << bit);
    }
  }

  // One second of the service: repeat counters, then a scan every second tick.
  void second() {
    clock.advance(1000);
    detector.onSecondTick();
    if (++ticks_ % 2 == 0) detector.scan(tree.root());
  }
  // Runs up to and including the next scan.
  void scanNow() {
    second();
    if (ticks_ % 2 != 0) second();
  }

  // Codes logged since the last forgetLog().
  std::vector<int32_t> loggedCodes() const {
    std::vector<int32_t> codes;
    auto events = log.events();
    for (size_t i = logStart_; i < events.size(); ++i) codes.push_back(events[i].code);
    return codes;
  }
  std::vector<test::LoggedEvent> logged() const {
    auto events = log.events();
    return {events.begin() + static_cast<std::ptrdiff_t>(logStart_), events.end()};
  }
  void forgetLog() { logStart_ = log.events().size(); }

  DeviceTree tree;
  ActionTables tables;
  ServiceSettings settings;
  OutgoingMessages outgoing;
  test::RecordingEventLog log;
  FakeClock clock{1000};
  std::vector<std::string> popups;
  std::vector<std::string> sounds;
  AlarmDetector detector{
      settings,
      tables,
      outgoing,
      log,
      clock,
      AlarmReactionSinks{[this](std::string_view t) { popups.emplace_back(t); },
                         [this](std::string_view f) { sounds.emplace_back(f); }}};

 private:
  int ticks_ = 0;
  size_t logStart_ = 0;
};

TEST_F(AlarmDetectorTest, DelayTable) {
  // Each step is the event bit at one scan (2 s apart).
  struct Case {
    const char* name;
    int32_t occDelay, recDelay;
    std::vector<int> steps;
    std::vector<int32_t> codes;          // event-log codes, in order
    std::vector<std::string> reactions;  // popup texts, in order
  } cases[] = {
      {"set then cleared within its delay: two lines, no reaction",
       10,
       0,
       {1, 0, 0, 0},
       {6, 7},
       {}},
      {"delay 0 fires on the same scan, and so does its recovery",
       0,
       0,
       {1, 0},
       {6, 7},
       {"(UPS-A) event 3 occurred", "(UPS-A) event 3 recovered"}},
      {"delay 4 fires after 4 s", 4, 0, {1, 1, 1}, {6}, {"(UPS-A) event 3 occurred"}},
      {"delay 4 not yet after 2 s", 4, 0, {1, 1}, {6}, {}},
      {"recovery only after its occurrence fired", 10, 0, {1, 1, 0, 0, 0}, {6, 7}, {}},
      {"recovery with its own delay",
       0,
       4,
       {1, 0, 0, 0},
       {6, 7},
       {"(UPS-A) event 3 occurred", "(UPS-A) event 3 recovered"}},
      {"negative delay counts as none", -5, 0, {1}, {6}, {"(UPS-A) event 3 occurred"}},
      {"huge delay does not wrap into an instant reaction", INT_MAX, 0, {1, 1, 1}, {6}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    tree.root().detachChild(0);
    DeviceNode& ups = addUps();
    setEvent(3, c.occDelay, c.recDelay);
    forgetLog();
    popups.clear();
    for (int on : c.steps) {
      setBit(ups, 3, on != 0);
      scanNow();
    }
    EXPECT_EQ(loggedCodes(), c.codes);
    EXPECT_EQ(popups, c.reactions);
  }
}

TEST_F(AlarmDetectorTest, DelayCountsAcrossTheTickWrap) {
  clock.setTick(0xFFFFFFFFu - 2500);
  DeviceNode& ups = addUps();
  setEvent(0, 4, 0);
  setBit(ups, 0, true);
  scanNow();
  EXPECT_TRUE(popups.empty());
  scanNow();  // the tick wraps here
  scanNow();
  EXPECT_EQ(popups.size(), 1u);
}

TEST_F(AlarmDetectorTest, LogLineCarriesNodeLevelAndMessage) {
  DeviceNode& ups = addUps(9);
  setEvent(2, 0, 0, kAlarmWarning);
  setBit(ups, 2, true);
  scanNow();
  auto events = logged();
  ASSERT_EQ(events.size(), 1u);
  const auto& e = events[0];
  EXPECT_EQ(e.number, 9);
  EXPECT_EQ(e.level, 1u);
  EXPECT_EQ(e.code, 4);
  EXPECT_EQ(e.text, "event 2 occurred");
}

TEST_F(AlarmDetectorTest, CommunicationLossEventIsSilent) {
  // SNMP devices: event 16 follows the link loss (bit 23).
  DeviceNode& snmp = addNode(tree.root(), 7, kNodeSnmp, 0, "Net-UPS");
  auto& rows = tables.table(ActionFamily::Snmpv4);
  for (int r : {32, 33, 46, 47}) {
    rows[static_cast<size_t>(r)].setMessage("row " + std::to_string(r));
    rows[static_cast<size_t>(r)].setLevel(kAlarmSerious);
  }
  // The loss and event 16 arrive in one poll and leave in one poll.
  setBit(snmp, 23, true);
  setBit(snmp, 16, true);
  scanNow();
  setBit(snmp, 16, false);
  scanNow();
  setBit(snmp, 16, true);
  scanNow();
  setBit(snmp, 16, false);
  setBit(snmp, 23, false);
  scanNow();
  EXPECT_EQ(loggedCodes(), (std::vector<int32_t>{46, 47})) << "only the loss itself is logged";
  EXPECT_EQ(popups, (std::vector<std::string>{"(Net-UPS) row 46", "(Net-UPS) row 47"}));

  // Without the loss bit, event 16 is an ordinary event.
  forgetLog();
  setBit(snmp, 16, true);
  scanNow();
  EXPECT_EQ(loggedCodes(), std::vector<int32_t>{32});
}

TEST_F(AlarmDetectorTest, ExtendedEventsAreLoggedAfterTheMainRows) {
  DeviceNode& ups = addUps();
  PrimaryBlock(ups)->putU32(1068, 4);  // a model class with the extended alarm word
  auto& plus = tables.table(ActionFamily::RegularPlus);
  plus[6].setMessage("extended 3 occurred");
  plus[6].setLevel(kAlarmSerious);
  plus[7].setMessage("extended 3 recovered");
  setBit(ups, 3, true, MaskWord::kExtCurrent);
  scanNow();
  setBit(ups, 3, false, MaskWord::kExtCurrent);
  scanNow();
  EXPECT_EQ(loggedCodes(), (std::vector<int32_t>{52 + 6, 52 + 7}));
  EXPECT_EQ(logged()[0].text, "extended 3 occurred");
  EXPECT_EQ(popups, (std::vector<std::string>{"(UPS-A) extended 3 occurred",
                                              "(UPS-A) extended 3 recovered"}));

  // Without the model the extended word is not scanned.
  PrimaryBlock(ups)->putU32(1068, 1);
  forgetLog();
  setBit(ups, 3, true, MaskWord::kExtCurrent);
  scanNow();
  EXPECT_TRUE(logged().empty());
}

TEST_F(AlarmDetectorTest, SuppressedEventsAreSkipped) {
  DeviceNode& mge = addNode(tree.root(), 4, kNodeSerial, kCommModbusTrv5200, "MGE");
  auto& rows = tables.table(ActionFamily::Mge);
  rows[4].setMessage("event 2");
  rows[6].setMessage("event 3");
  mge.setEventSuppressionBit(2, true);
  setBit(mge, 2, true);
  setBit(mge, 3, true);
  scanNow();
  EXPECT_EQ(loggedCodes(), std::vector<int32_t>{6});
}

TEST_F(AlarmDetectorTest, GroupIdMatchesItsDirectChildrenOnly) {
  DeviceNode& group = addNode(tree.root(), 1, kNodeGroup, 0, "Hall");
  addNode(group, 2, kNodeSerial, kCommAscii, "Child");
  DeviceNode& sub = addNode(group, 3, kNodeGroup, 0, "Room");
  addNode(sub, 4, kNodeSerial, kCommAscii, "Grandchild");
  settings.recipients[0].name = "Other";
  settings.recipients[0].nodeIds[0] = 99;  // names no node
  settings.recipients[1].name = "Ops";
  settings.recipients[1].nodeIds[0] = 1;

  SlotFlags flags = detector.assignRecipientSlots(tree.root(), 2);
  EXPECT_EQ(flags[0], 1);
  EXPECT_EQ(settings.recipients[1].outgoingSlot, 0);
  EXPECT_EQ(settings.recipients[0].outgoingSlot, -1) << "only the containing item gets a slot";
  EXPECT_EQ(outgoing.withLock([](OutgoingState& s) { return s.slots[0].name; }), "Ops");

  flags = detector.assignRecipientSlots(tree.root(), 4);
  for (int8_t f : flags) EXPECT_EQ(f, -1);
  flags = detector.assignRecipientSlots(tree.root(), 3);
  EXPECT_EQ(flags[0], 1) << "the subgroup is itself a direct child";
}

TEST_F(AlarmDetectorTest, SlotTakenOverByAnotherItemIsLeftToIt) {
  addUps(5);
  settings.recipients[0].name = "Ops";
  settings.recipients[0].nodeIds[0] = 5;
  settings.recipients[0].outgoingSlot = 0;
  outgoing.withLock([](OutgoingState& s) {
    s.slots[0].name = "Night";
    s.slots[0].body = "kept";
  });
  SlotFlags flags = detector.assignRecipientSlots(tree.root(), 5);
  EXPECT_EQ(flags[0], -1);
  EXPECT_EQ(flags[1], 1);
  EXPECT_EQ(settings.recipients[0].outgoingSlot, 1);
  EXPECT_EQ(outgoing.withLock([](OutgoingState& s) { return s.slots[0].body; }), "kept");
}

TEST_F(AlarmDetectorTest, MailAndSmsTextsLandInTheItemsSlot) {
  DeviceNode& ups = addUps(5);
  addNode(tree.root(), 6, kNodeSerial, kCommAscii, "UPS-B");
  settings.reactionMasks[0] = kReactEmail | kReactSms;
  settings.emailList.addresses[0] = "ops@example.org";
  settings.emailList.count = 1;
  settings.recipients[0].name = "Other";
  settings.recipients[0].nodeIds[0] = 6;
  settings.recipients[1].name = "Ops";
  settings.recipients[1].nodeIds[0] = 5;
  setEvent(1, 0, 0);
  tables.table(ActionFamily::Regular)[2].setSmsMessage("on battery");
  setBit(ups, 1, true);
  scanNow();

  const std::string text =
      "UPS Title: UPS-A\nMessage: event 1 occurred\nTime: Tuesday, March 4, 2025 09:00:";
  outgoing.withLock([&](OutgoingState& s) {
    ASSERT_EQ(settings.recipients[1].outgoingSlot, 0);
    const auto& slot = s.slots[0];
    EXPECT_EQ(slot.name, "Ops");
    EXPECT_TRUE(slot.emailPending);
    EXPECT_EQ(slot.subject, "Event 1(Service/Ops)");
    EXPECT_EQ(slot.body.rfind(text, 0), 0u) << slot.body;
    EXPECT_EQ(slot.smsRow, 2);
    EXPECT_EQ(slot.smsText, "UPS=UPS-A\non battery(S/Ops)");
    EXPECT_TRUE(s.slots[1].name.empty()) << "the other item gets nothing";
    EXPECT_EQ(s.reportSubject, "Event 1");
    EXPECT_EQ(s.reportBody.rfind(text, 0), 0u);
    EXPECT_TRUE(s.reportPending);
    EXPECT_EQ(s.reportSmsText, "UPS:UPS-A\non battery");
  });
  EXPECT_TRUE(popups.empty()) << "the level's mask has no popup";
}

TEST_F(AlarmDetectorTest, QueueFullLinesAreBoundedPerMinute) {
  DeviceNode& ups = addUps(5);
  settings.reactionMasks[0] = kReactSms;
  settings.recipients[0].name = "Ops";
  settings.recipients[0].nodeIds[0] = 5;
  setEvent(1, 0, 0);
  tables.table(ActionFamily::Regular)[2].setSmsMessage("on battery");
  tables.table(ActionFamily::Regular)[3].setSmsMessage("back");
  auto queueFullLines = [&] {
    std::vector<std::string> lines;
    for (const auto& e : logged())
      if (e.text.find("SMS queue full") != std::string::npos) lines.push_back(e.text);
    return lines;
  };
  // A hundred changes within the minute: the queue overflows at each after the first few.
  for (int i = 0; i < 100; ++i) {
    setBit(ups, 1, i % 2 == 0);
    detector.scan(tree.root());
  }
  const std::vector<std::string> inMinute = queueFullLines();
  EXPECT_EQ(inMinute.size(), static_cast<size_t>(kQueueFullLinesPerMinute));
  EXPECT_EQ(logged().size() - inMinute.size(), 100u) << "every event is still logged";
  clock.advance(60000);
  detector.onSecondTick();
  const std::vector<std::string> all = queueFullLines();
  ASSERT_EQ(all.size(), inMinute.size() + 1);
  EXPECT_EQ(all.back(), std::to_string(100 - static_cast<int>(kSmsQueueDepth) -
                                       kQueueFullLinesPerMinute) +
                            " more SMS queue full lines");
}

TEST_F(AlarmDetectorTest, ReportBodyDoesNotGrowWithoutRecipients) {
  DeviceNode& ups = addUps(5);
  settings.reactionMasks[0] = kReactEmail;
  setEvent(1, 0, 0);
  for (int i = 0; i < 5; ++i) {
    setBit(ups, 1, i % 2 == 0);
    scanNow();
  }
  outgoing.withLock([](OutgoingState& s) {
    EXPECT_TRUE(s.reportBody.empty());
    EXPECT_FALSE(s.reportPending);
  });
}

// Sounds against the real key store, with tray values as the tray creates them.
class AlarmSoundTest : public AlarmDetectorTest {
 protected:
  AlarmSoundTest() {
    settings.reactionMasks = {kReactAudio, kReactAudio, kReactAudio};
    keys.write(kAudioKey, "0", "");
  }
  test::TempDir dir;
  KeyStore keys{dir.path()};
  AlarmDetector soundDetector{settings,
                              tables,
                              outgoing,
                              log,
                              clock,
                              AlarmReactionSinks{nullptr, [this](std::string_view f) { HandOverSound(keys, f); }}};

  // One second; the tray plays and empties its value each second. Returns
  // whether a sound was handed over.
  bool second() {
    clock.advance(1000);
    soundDetector.onSecondTick();
    if (++ticks % 2 == 0) soundDetector.scan(tree.root());
    auto v = keys.read(kAudioKey, "0");
    keys.write(kAudioKey, "0", "");
    if (v && !v->empty()) handed.push_back(*v);
    return v && !v->empty();
  }
  bool handedOver(const std::string& list) const {
    return std::find(handed.begin(), handed.end(), list) != handed.end();
  }
  int ticks = 0;
  std::vector<std::string> handed;  // the tray value's lists, one per second that had one
};

TEST_F(AlarmSoundTest, OneTimePlaysOncePerActivation) {
  settings.audioCycle[0] = 0;
  DeviceNode& ups = addUps();
  setEvent(1, 0, 0);
  tables.table(ActionFamily::Regular)[2].setAudioFile("Audio\\serious.wav");
  int plays = 0;
  setBit(ups, 1, true);
  for (int s = 0; s < 30; ++s) plays += second();
  EXPECT_EQ(plays, 1);
  setBit(ups, 1, false);  // recovery row has no sound
  for (int s = 0; s < 10; ++s) plays += second();
  setBit(ups, 1, true);
  for (int s = 0; s < 30; ++s) plays += second();
  EXPECT_EQ(plays, 2);
}

TEST_F(AlarmSoundTest, PeriodicReHandsAboutEveryInterval) {
  settings.audioCycle[0] = 1;
  settings.audioInterval[0] = 10;
  DeviceNode& ups = addUps();
  setEvent(1, 0, 0);
  tables.table(ActionFamily::Regular)[2].setAudioFile("Audio\\serious.wav");
  setBit(ups, 1, true);
  std::vector<int> at;
  for (int s = 0; s < 60; ++s) {
    if (second()) at.push_back(s);
  }
  ASSERT_GE(at.size(), 4u);
  for (size_t i = 1; i < at.size(); ++i) {
    EXPECT_GE(at[i] - at[i - 1], 10);
    EXPECT_LE(at[i] - at[i - 1], 14);
  }
  // Cleared (no recovery reaction with a sound): the sound stops.
  setBit(ups, 1, false);
  second();
  second();
  int after = 0;
  for (int s = 0; s < 30; ++s) after += second();
  EXPECT_EQ(after, 0);
}

TEST_F(AlarmSoundTest, SecondTrayGetsTheSoundToo) {
  keys.write(kAudioKey, "1", "");
  settings.audioCycle[0] = 0;
  DeviceNode& ups = addUps();
  setEvent(1, 0, 0);
  tables.table(ActionFamily::Regular)[2].setAudioFile("Audio\\serious.wav");
  setBit(ups, 1, true);
  second();
  second();
  EXPECT_EQ(keys.read(kAudioKey, "1"), "Audio\\serious.wav;");
}

TEST_F(AlarmSoundTest, SuppressionSilencesBothRowsOfTheSuppressedEventOnly) {
  // The suppression bits are per event; taking the row index instead would
  // silence event 1 for event 2's bit, and miss event 3's own bit.
  settings.audioCycle[0] = 1;
  settings.audioInterval[0] = 4;
  DeviceNode& mge = addNode(tree.root(), 4, kNodeSerial, kCommModbusTrv5200, "MGE");
  auto& rows = tables.table(ActionFamily::Mge);
  rows[2].setAudioFile("e1.wav");
  rows[6].setAudioFile("e3.wav");
  mge.setEventSuppressionBit(2, true);
  setBit(mge, 1, true);
  setBit(mge, 3, true);
  for (int s = 0; s < 30; ++s) second();
  EXPECT_TRUE(handedOver("e1.wav;"));
  EXPECT_TRUE(handedOver("e3.wav;"));

  mge.setEventSuppressionBit(3, true);  // while its sound repeats
  handed.clear();
  for (int s = 0; s < 30; ++s) second();
  EXPECT_TRUE(handedOver("e1.wav;"));
  EXPECT_FALSE(handedOver("e3.wav;"));
}

TEST_F(AlarmSoundTest, SoundsOfTwoDevicesAreSpacedOut) {
  settings.audioCycle[0] = 0;
  DeviceNode& a = addUps(5);
  DeviceNode& b = addNode(tree.root(), 6, kNodeSerial, kCommAscii, "UPS-B");
  setEvent(1, 0, 0);
  tables.table(ActionFamily::Regular)[2].setAudioFile("Audio\\serious.wav");
  setBit(a, 1, true);
  setBit(b, 1, true);
  std::vector<int> at;
  for (int s = 0; s < 20; ++s) {
    if (second()) at.push_back(s);
  }
  ASSERT_EQ(at.size(), 2u) << "the second device's one-time sound waits, it is not lost";
  EXPECT_GE(at[1] - at[0], 4);
}

}  // namespace
}  // namespace lark
