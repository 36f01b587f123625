// The demo installation's alarm as mail and SMS: through a real SMTP server
// (aiosmtpd) and the GSM modem simulator, and a stop while the server and the
// modem stay silent.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/paths.h"
#include "platform/profile.h"
#include "tests/support/netns.h"
#include "tests/support/peer_process.h"
#include "tests/support/service_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

using test::Eventually;

class NotificationEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::EnterPrivateNetwork()) GTEST_SKIP() << "no private network namespace here";
    fs::copy(test::SourcePath("data"), dir.path(), fs::copy_options::recursive);
    const std::string ini = dir.file("manager.ini");
    struct Key {
      const char* section;
      const char* key;
      const char* value;
    };
    for (const Key& k : {Key{"Polling", "Serial Polling", "20"}, Key{"SMTP", "Server", "127.0.0.1"},
                         Key{"SMTP", "Sender", "lark@demo.example"}, Key{"GSM Modem", "Port", "COM5"},
                         Key{"Reaction.Warning", "email.Enable", "Yes"},
                         Key{"Reaction.Warning", "SMS.Enable", "Yes"},
                         Key{"Reaction.Warning", "Broadcast.Enable", "No"},
                         Key{"Reaction.Information", "Broadcast.Enable", "No"},
                         Key{"Contactor1", "Name", "Operators"},
                         Key{"Contactor1", "e-mail1", "ops@demo.example"},
                         Key{"Contactor1", "Phone1", "+15550100"}, Key{"Item1", "Name", "Operators"},
                         Key{"Item1", "ID.Index1", "2"}}) {
      ASSERT_TRUE(WriteProfileString(ini, k.section, k.key, k.value));
    }
    ASSERT_TRUE(MakeDirs(dir.file("ports")));
    // The alarm is on for 10 status answers, then off for 10.
    ASSERT_TRUE(ups.start({test::BuiltProgram("tools/ups_sim"), "--pty-dir", dir.file("ports"),
                           "--com", "1", "--ups", "1", "--alarm-cycle", "10"}));
  }
  bool startModem(const std::string& fault) {
    std::vector<std::string> argv = {test::BuiltProgram("tools/gsm_sim"), "--pty-dir",
                                     dir.file("ports"), "--com", "5", "--out", dir.file("sms.txt")};
    if (!fault.empty()) argv.insert(argv.end(), {"--fault", fault});
    return modem.start(argv);
  }

  test::TempDir dir;
  test::PeerProcess ups;
  test::PeerProcess modem;
  test::PeerProcess smtp;
};

TEST_F(NotificationEndToEnd, AlarmArrivesAsMailAndSms) {
  ASSERT_TRUE(startModem(""));
  ASSERT_TRUE(smtp.start({"/usr/bin/python3", test::SourcePath("tests/peers/smtp_server.py"),
                          "--out", dir.file("mails.jsonl")}));
  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  auto mails = [&] { return ReadFile(dir.file("mails.jsonl")).value_or(""); };
  auto texts = [&] { return ReadFile(dir.file("sms.txt")).value_or(""); };
  EXPECT_TRUE(Eventually([&] { return mails().find("Event 1 occurred") != std::string::npos; },
                         120000))
      << service.output();
  EXPECT_NE(mails().find(R"("to": ["ops@demo.example"])"), std::string::npos) << mails();
  // "UPS=UPS 1\nEvent 1 occurred(S/Operators)" in hex, to +15550100.
  EXPECT_TRUE(Eventually(
      [&] { return texts().find("TEXT +15550100 5550533D5550532031") != std::string::npos; },
      120000))
      << texts();
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
}

TEST_F(NotificationEndToEnd, StopWhileServerAndModemAreSilent) {
  ASSERT_TRUE(startModem("silence"));
  int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(25);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(silent, 4), 0);

  test::ServiceProcess service(dir.path());
  ASSERT_TRUE(service.start());
  // The SMS worker is at the silent modem once the log shows the port open.
  ASSERT_TRUE(Eventually(
      [&] {
        return ReadFile(dir.file("SMS_Log.txt")).value_or("").find("Open SMS COM5 OK") !=
               std::string::npos;
      },
      120000))
      << service.output();
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(service.stop(SIGTERM), 0) << service.output();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5));
  close(silent);
}

}  // namespace
}  // namespace lark
