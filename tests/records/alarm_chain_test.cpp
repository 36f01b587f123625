// The alarm path from a device's event mask to the outside world, with the
// real event log, the real popup program start and the real key store: what
// the service runs every two seconds, with a poller's mask writes simulated.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include "core/device_tree.h"
#include "core/event_log.h"
#include "core/settings.h"
#include "platform/key_store.h"
#include "platform/process.h"
#include "records/alarm_detector.h"
#include "records/audio_handover.h"
#include "records/popup.h"
#include "tests/support/larknote_stub.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

TEST(AlarmChain, AlarmReachesEventLogPopupProgramAndTray) {
  test::TempDir install;
  std::string record = test::InstallLarknoteStub(install.path());
  KeyStore keys(install.file("state"));
  ResetAudioSlots(keys);
  keys.write(kAudioKey, "0", "");  // a running tray program

  FakeClock clock(5000);
  EventLog eventLog(clock, nullptr);
  eventLog.setMaxLines(kDefaultMaxEventLog);
  eventLog.setPath(install.path(), "Demo");

  ServiceSettings settings;  // defaults: Serious raises popup and sound
  settings.broadcastList.hosts[0] = "console-pc";
  settings.broadcastList.count = 1;
  ActionTables tables;
  ActionRow& occurred = tables.table(ActionFamily::Regular)[2 * 4];
  occurred.setTitle("Utility Fail");
  occurred.setMessage("Utility power failed");
  occurred.setLevel(kAlarmSerious);
  occurred.setAudioFile("Audio\\serious.wav");
  ActionRow& recovered = tables.table(ActionFamily::Regular)[2 * 4 + 1];
  recovered.setMessage("Utility power restored");
  recovered.setLevel(2);

  DeviceTree tree;
  auto n = std::make_unique<DeviceNode>();
  n->setId(1);
  n->setTitle("Demo UPS");
  n->setNodeKind(kNodeSerial);
  n->setCommType(kCommAscii);
  n->resetAudioRepeat();
  AllocateNodeBlocks(*n);
  DeviceNode& ups = *tree.root().addChild(n);

  OutgoingMessages outgoing;
  PopupTargets targets = PopupTargetsFrom(settings.broadcastList);
  AlarmDetector detector(
      settings, tables, outgoing, eventLog, clock,
      AlarmReactionSinks{
          [&](std::string_view text) { LaunchPopup(text, targets, install.path(), clock, Spawn); },
          [&](std::string_view file) { HandOverSound(keys, file); }});
  auto scan = [&] {
    for (int s = 0; s < 2; ++s) {
      clock.advance(1000);
      detector.onSecondTick();
    }
    auto lock = tree.readLock();
    detector.scan(tree.root());
  };

  PrimaryBlock(ups)->setMaskBits(MaskWord::kCurrent, uint64_t{1} << 4);  // the poller
  scan();
  scan();
  scan();
  auto log = eventLog.readContents();
  ASSERT_TRUE(log);
  EXPECT_NE(log->find("\t8\tUtility power failed\r\n"), std::string::npos) << *log;
  EXPECT_EQ(keys.read(kAudioKey, "0"), "Audio\\serious.wav;");

  std::vector<std::vector<std::string>> calls;
  ASSERT_TRUE(test::Eventually([&] { return !(calls = test::ReadLarknoteCalls(record)).empty(); }, 10000));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0][0], "console-pc");
  EXPECT_NE(calls[0][1].find("(Demo UPS) Utility power failed"), std::string::npos);

  PrimaryBlock(ups)->clearMaskBits(MaskWord::kCurrent, uint64_t{1} << 4);
  scan();
  log = eventLog.readContents();
  EXPECT_NE(log->find("\t9\tUtility power restored\r\n"), std::string::npos) << *log;

  // The scans start every popup themselves: once all the stubs have ended,
  // every call they make is recorded.
  int ended = 0;
  while (waitpid(-1, nullptr, 0) > 0) ++ended;
  EXPECT_EQ(ended, 2);
  EXPECT_EQ(test::ReadLarknoteCalls(record).size(), 2u) << "the recovery's popup, nothing more";
}

}  // namespace
}  // namespace lark
