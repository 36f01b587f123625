// The SMS sender through a real pseudo-terminal to the GSM modem simulator:
// the exact bytes of a text-mode message, and PDU-mode messages read back
// by an independent decoder (python-gammu).
#include <gtest/gtest.h>
#include <stdio.h>

#include <chrono>
#include <thread>

#include "platform/paths.h"
#include "records/sms_sender.h"
#include "tests/support/peer_process.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

class SmsGsmSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sim.start({test::BuiltProgram("tools/gsm_sim"), "--pty-dir", dir.path(), "--com",
                           "2", "--out", dir.file("sent.txt"), "--raw", dir.file("raw.bin")}));
    settings.port = "COM2";
    settings.contactors[0].name = "Ops";
    settings.contactors[0].phone1 = "+123";
  }
  // Sends one slot SMS with the ticks' calls; false when it did not finish.
  bool send(const std::string& text) {
    sender.setSettings(settings);
    outgoing.withLock([&](OutgoingState& st) {
      if (st.slots[0].name.empty()) ClaimSlot(st, "Ops");
      st.slots[0].smsRow = 1;
      st.slots[0].smsText = text;
    });
    for (int tick = 0; tick < 200; ++tick) {
      while (sender.busy()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      if (!outgoing.withLock([](OutgoingState& st) { return st.slots[0].smsRow >= 0; })) {
        return true;
      }
      sender.SendSmsMessages(0);
      sender.SendSmsMessages(1);
    }
    return false;
  }
  std::vector<std::string> decoded() {
    std::string cmd = "/usr/bin/python3 " + test::SourcePath("tests/peers/decode_pdu.py") + " " +
                      dir.file("sent.txt");
    std::vector<std::string> lines;
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr) return lines;
    char buf[4096];
    while (fgets(buf, sizeof buf, p) != nullptr) lines.emplace_back(buf);
    pclose(p);
    return lines;
  }

  test::TempDir dir;
  test::PeerProcess sim;
  SystemClock clock;
  OutgoingMessages outgoing;
  test::RecordingEventLog log;
  SmsSettings settings;
  SmsSender sender{outgoing, log, clock, dir.path(), dir.path()};
};

TEST_F(SmsGsmSimTest, TextModeBytes) {
  ASSERT_TRUE(send("UPS=UPS-A\nmains lost(S/Ops)"));
  EXPECT_EQ(ReadFile(dir.file("raw.bin")).value_or(""),
            "AT\rAT+CMGF=1\rAT+CMGS=\"+123\"\rUPS=UPS-A\nmains lost(S/Ops)\x1a");
  EXPECT_TRUE(log.events().empty());
}

TEST_F(SmsGsmSimTest, PduModeReadByGammu) {
  settings.language = "Deutsch";
  const std::string mixed = "caf\xc3\xa9 \xe4\xb8\xad \xf0\x9f\x98\x80";
  ASSERT_TRUE(send(mixed));
  ASSERT_TRUE(send(std::string(100, 'x')));
  settings.language = "English";  // a text the text mode would garble goes as PDU anyway
  ASSERT_TRUE(send("Stra\xc3\x9f" "e"));
  EXPECT_TRUE(log.events().empty()) << log.events()[0].text;
  auto got = decoded();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], R"({"number": "+123", "text": ")" + mixed +
                        R"(", "coding": "Unicode_No_Compression", "parts": 1})" + "\n");
  EXPECT_NE(got[1].find(R"("text": ")" + std::string(100, 'x') + R"(")"), std::string::npos);
  EXPECT_NE(got[1].find(R"("parts": 2)"), std::string::npos) << got[1];
  EXPECT_NE(got[2].find("Stra\xc3\x9f" "e"), std::string::npos) << got[2];
}

}  // namespace
}  // namespace lark
