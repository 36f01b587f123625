// The SMS sender's steps against a scripted modem: the bytes the modem gets,
// the SMS log, which numbers get a message and how many steps it takes, and
// what happens when the modem refuses or stays silent.
#include "records/sms_sender.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/sms_dialogue.h"
#include "platform/paths.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

// What the scripted modem does; shared with the test.
struct ModemScript {
  std::mutex mu;
  std::vector<std::string> writes;
  std::string pending;      // answer not read yet
  int atCount = 0;          // "AT\r" probes seen
  int firstOkAt = 1;        // the probe that gets the first OK
  bool cmgsError = false;   // ERROR to AT+CMGS
  bool silent = false;      // answers nothing, each read takes its time
  int streamingDialogues = 0;  // dialogues that get endless RING lines after AT+CMGS
  bool streaming = false;      // in one of them now
  FakeClock* clock = nullptr;  // moved on by each streamed read
  int opens = 0;
};

class ScriptedModem final : public ModemPort {
 public:
  explicit ScriptedModem(std::shared_ptr<ModemScript> s) : s_(std::move(s)) {}
  bool write(std::string_view bytes) override {
    std::lock_guard<std::mutex> g(s_->mu);
    s_->writes.emplace_back(bytes);
    if (s_->silent) return true;
    if (bytes == "\x1b" || bytes == "AT\r") s_->streaming = false;
    if (bytes == "AT\r") {
      if (++s_->atCount >= s_->firstOkAt) s_->pending += "\r\nOK\r\n";
    } else if (bytes.rfind("AT+CMGF", 0) == 0) {
      s_->pending += "\r\nOK\r\n";
    } else if (bytes.rfind("AT+CMGS", 0) == 0 && s_->streamingDialogues > 0) {
      --s_->streamingDialogues;
      s_->streaming = true;
    } else if (bytes.rfind("AT+CMGS", 0) == 0) {
      s_->pending += s_->cmgsError ? "\r\nERROR\r\n" : "\r\n> ";
    } else if (!bytes.empty() && bytes.back() == '\x1a') {
      s_->pending += "\r\n+CMGS: 7\r\n\r\nOK\r\n";
    }
    return true;
  }
  std::string read(size_t max, uint32_t firstMs) override {
    std::unique_lock<std::mutex> g(s_->mu);
    if (s_->silent) {
      // The read's own wait, as a real port's: the modem the test plays keeps quiet.
      g.unlock();
      std::this_thread::sleep_for(std::chrono::milliseconds(firstMs));
      return {};
    }
    if (s_->streaming) {
      // A full read at 9600 baud takes about a quarter second.
      s_->clock->advance(250);
      std::string out;
      while (out.size() < max) out += "RING\r\n";
      return out.substr(0, max);
    }
    std::string out = s_->pending.substr(0, max);
    s_->pending.erase(0, out.size());
    return out;
  }

 private:
  std::shared_ptr<ModemScript> s_;
};

class SmsSenderTest : public ::testing::Test {
 protected:
  SmsSenderTest() {
    settings.port = "COM2";
    settings.contactors[2].name = "Ops";
    settings.contactors[2].phone1 = "123";
    sender.setSettings(settings);
  }
  // One tick's call, once the worker is idle (the modem is fast here).
  void call(int channel) {
    while (sender.busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    sender.SendSmsMessages(channel);
  }
  void queueSlotSms(const std::string& message) {
    outgoing.withLock([&](OutgoingState& st) {
      if (st.slots[0].name.empty()) ClaimSlot(st, "Ops");
      SlotFlags flags;
      flags.fill(-1);
      flags[0] = 1;
      AddSmsReaction(st, 3, "UPS-A", message, flags);
      st.reportSmsRow = -1;
      st.reportSmsWaiting.clear();
    });
  }
  bool slotSmsPending() {
    return outgoing.withLock([](OutgoingState& st) { return st.slots[0].smsRow >= 0; });
  }
  // Runs the ticks' calls (channel 0, then 1) until slot 0's SMS are done;
  // the number of ticks.
  int runSlot() {
    int ticks = 0;
    while (slotSmsPending() && ticks < 200) {
      call(0);
      call(1);
      ++ticks;
    }
    return ticks;
  }
  std::vector<std::string> writes() {
    std::lock_guard<std::mutex> g(script->mu);
    return script->writes;
  }

  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 3, 4, 3, 9, 5, 7, 0}};
  OutgoingMessages outgoing;
  test::RecordingEventLog log;
  SmsSettings settings;
  std::shared_ptr<ModemScript> script = std::make_shared<ModemScript>();
  SmsSender sender{outgoing, log, clock, dir.path(), dir.path(),
                   [s = script](const std::string& path, uint32_t, std::string*) {
                     EXPECT_EQ(path, "/dev/ttyS1") << "no link, no per-port path";
                     ++s->opens;
                     return std::make_unique<ScriptedModem>(s);
                   }};
};

TEST_F(SmsSenderTest, EnglishTextModeBytesAndLog) {
  queueSlotSms("on battery");
  EXPECT_EQ(runSlot(), kSmsSteps);
  const std::string text = "UPS=UPS-A\non battery(S/Ops)";
  EXPECT_EQ(writes(), (std::vector<std::string>{"AT\r", "AT+CMGF=1\r", "AT+CMGS=\"123\"\r",
                                                text + "\x1a"}));
  EXPECT_EQ(ReadFile(dir.file("SMS_Log.txt")).value_or(""),
            "2026-03-04 09:05:07\n"
            "Open SMS COM2 OK.\n"
            "Tx: AT[0x0D]\n"
            "Rx: [0x0D][0x0A]OK[0x0D][0x0A]\n"
            "Tx: AT+CMGF=1[0x0D]\n"
            "Rx: [0x0D][0x0A]OK[0x0D][0x0A]\n"
            "Tx: AT+CMGS=\"123\"[0x0D]\n"
            "Rx: [0x0D][0x0A]> \n"
            "Tx: UPS=UPS-A[0x0A]on battery(S/Ops)[0x1A]\n"
            "Rx: [0x0D][0x0A]+CMGS: 7[0x0D][0x0A][0x0D][0x0A]OK[0x0D][0x0A]\n"
            "Close SMS COM Port.\n");
  EXPECT_TRUE(log.events().empty());
}

TEST_F(SmsSenderTest, WhoGetsItAndHowManySteps) {
  struct Case {
    const char* name;
    const char* phone1;
    const char* phone2;
    const char* language;
    std::vector<std::string> cmgs;  // AT+CMGS commands in order
    int calls;
  };
  const Case cases[] = {
      {"Phone2 only", "", "+4917", "English", {"AT+CMGS=\"+4917\"\r"}, 2 * kSmsSteps},
      {"both phones", "123", "456", "English", {"AT+CMGS=\"123\"\r", "AT+CMGS=\"456\"\r"},
       2 * kSmsSteps},
      {"PDU mode for another language", "123", "", "Deutsch", {"AT+CMGS=64\r"}, kSmsSteps},
      {"a number that could feed the modem", "12\"\rATD", "", "English", {}, kSmsSteps},
  };
  for (const Case& c : cases) {
    settings.contactors[2].phone1 = c.phone1;
    settings.contactors[2].phone2 = c.phone2;
    settings.language = c.language;
    sender.setSettings(settings);
    {
      std::lock_guard<std::mutex> g(script->mu);
      script->writes.clear();
    }
    queueSlotSms("on battery");
    EXPECT_EQ(runSlot(), c.calls) << c.name;
    while (sender.busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<std::string> cmgs;
    for (const std::string& w : writes()) {
      if (w.rfind("AT+CMGS", 0) == 0) cmgs.push_back(w);
    }
    EXPECT_EQ(cmgs, c.cmgs) << c.name;
    for (int i = 0; i < kOutgoingSlotCount; ++i) call(1);  // the round ends
  }
  EXPECT_EQ(log.events().size(), 1u) << "the bad number is logged";
}

TEST_F(SmsSenderTest, ReportSmsToThreeNumbersTakesEighteenSteps) {
  settings.phones.phones = {"111", "", "222", "333"};
  settings.phones.count = 3;
  sender.setSettings(settings);
  outgoing.withLock([](OutgoingState& st) {
    st.reportSmsRow = 1;
    st.reportSmsText = "UPS:UPS-A\nmains lost";
  });
  for (int i = 0; i < kOutgoingSlotCount; ++i) call(1);  // the slots' turn passes
  int calls = 0;
  while (outgoing.withLock([](OutgoingState& st) { return st.reportSmsRow >= 0; }) && calls < 100) {
    call(0);
    ++calls;
  }
  EXPECT_EQ(calls, 3 * kSmsSteps);
  std::vector<std::string> cmgs;
  for (const std::string& w : writes()) {
    if (w.rfind("AT+CMGS", 0) == 0) cmgs.push_back(w);
  }
  EXPECT_EQ(cmgs, (std::vector<std::string>{"AT+CMGS=\"111\"\r", "AT+CMGS=\"222\"\r",
                                            "AT+CMGS=\"333\"\r"}));
}

TEST_F(SmsSenderTest, ModemFaults) {
  // OK only at the second probe: sent.
  script->firstOkAt = 2;
  queueSlotSms("first");
  runSlot();
  EXPECT_TRUE(log.events().empty());
  EXPECT_EQ(script->opens, 1);

  // ERROR to AT+CMGS: three tries, then one line naming the number.
  script->cmgsError = true;
  queueSlotSms("second");
  runSlot();
  EXPECT_EQ(script->opens, 1 + kSmsTries);
  ASSERT_EQ(log.events().size(), 1u);
  EXPECT_NE(log.events()[0].text.find("123"), std::string::npos) << log.events()[0].text;
}

TEST_F(SmsSenderTest, AModemThatNeverPausesFailsTheMessageOnTheClockAndTheNextIsSent) {
  script->clock = &clock;
  script->streamingDialogues = kSmsTries;
  queueSlotSms("first");
  queueSlotSms("second");
  const uint32_t start = clock.tickMs();
  runSlot();
  // Each try waited for its prompt no longer than the prompt's time-out.
  EXPECT_LE(clock.tickMs() - start, kSmsTries * (kModemPromptMs + 250));
  ASSERT_EQ(log.events().size(), 1u);
  EXPECT_NE(log.events()[0].text.find("not sent: no prompt to AT+CMGS"), std::string::npos)
      << log.events()[0].text;
  std::vector<std::string> texts;
  for (const std::string& w : writes()) {
    if (!w.empty() && w.back() == '\x1a') texts.push_back(w);
  }
  EXPECT_EQ(texts, std::vector<std::string>{"UPS=UPS-A\nsecond(S/Ops)\x1a"});
}

TEST(SmsLogFile, TraceIsBoundedPerMessageAndAnAppendedLogRotates) {
  test::TempDir dir;
  const std::string path = dir.file("SMS_Log.txt");
  SmsLogFile log;
  ASSERT_TRUE(log.open(path));
  log.write("Open\n");
  const std::string line = std::string(99, 'x') + "\n";
  for (int i = 0; i < 1000; ++i) log.trace(line);
  log.write("Close\n");
  log.close();
  const std::string text = ReadFile(path).value_or("");
  const size_t kept = kSmsTraceBytes / line.size() * line.size();
  EXPECT_EQ(text.size(), 5 + kept + std::string("... 96000 bytes more\n").size() + 6);
  EXPECT_NE(text.find("x\n... 96000 bytes more\nClose\n"), std::string::npos);

  // Appending: a log past the rotation size becomes the .old one.
  ASSERT_TRUE(WriteFileAtomic(path, std::string(kSmsLogRotateBytes + 1, 'y')));
  ASSERT_TRUE(log.open(path, /*append=*/true));
  log.write("next\n");
  log.close();
  EXPECT_EQ(ReadFile(path), "next\n");
  EXPECT_EQ(ReadFile(path + ".old").value_or("").size(), kSmsLogRotateBytes + 1);
}

TEST_F(SmsSenderTest, TwoAlarmsInARowGoInOrder) {
  queueSlotSms("first");
  queueSlotSms("second");
  runSlot();
  std::vector<std::string> texts;
  for (const std::string& w : writes()) {
    if (!w.empty() && w.back() == '\x1a') texts.push_back(w);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"UPS=UPS-A\nfirst(S/Ops)\x1a",
                                             "UPS=UPS-A\nsecond(S/Ops)\x1a"}));
}

TEST_F(SmsSenderTest, SlotReleasedHalfWayStartsAfresh) {
  queueSlotSms("first");
  for (int i = 0; i < 3; ++i) {
    call(0);
    call(1);
  }
  outgoing.withLock([](OutgoingState& st) { ReleaseSlot(st.slots[0]); });
  for (int i = 0; i < kOutgoingSlotCount + 1; ++i) call(1);  // the round ends
  queueSlotSms("second");
  EXPECT_EQ(runSlot(), kSmsSteps);
  std::vector<std::string> texts;
  for (const std::string& w : writes()) {
    if (!w.empty() && w.back() == '\x1a') texts.push_back(w);
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"UPS=UPS-A\nfirst(S/Ops)\x1a",
                                             "UPS=UPS-A\nsecond(S/Ops)\x1a"}));
}

TEST_F(SmsSenderTest, StopWhileTheModemIsSilent) {
  script->silent = true;
  queueSlotSms("nobody hears");
  sender.SendSmsMessages(1);
  ASSERT_TRUE(test::Eventually([&] { return !writes().empty(); }, 10000));  // probing the modem
  EXPECT_TRUE(sender.busy());
  // The stop ends the probes: the one in its read at most finishes.
  const size_t probes = writes().size();
  sender.stop();
  EXPECT_LE(writes().size(), probes + 1);
}

}  // namespace
}  // namespace lark
