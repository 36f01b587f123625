#include "records/popup.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/process.h"
#include "tests/support/larknote_stub.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace lark {
namespace {

WallTime SampleTime() {
  WallTime t;
  t.year = 2025;
  t.month = 1;
  t.day = 6;
  t.dayOfWeek = 1;
  t.hour = 14;
  t.minute = 3;
  t.second = 9;
  return t;
}

TEST(Popup, MessageCarriesLongDateAndIsCutAtACharacterBoundary) {
  EXPECT_EQ(FormatPopupMessage(SampleTime(), "(UPS-A) On battery"),
            "Monday, January 6, 2025 14:03:09 (UPS-A) On battery");
  // 2-byte characters straddling the limit are dropped whole.
  std::string longText;
  for (int i = 0; i < 200; ++i) longText += "\xC3\xA9";
  std::string m = FormatPopupMessage(SampleTime(), longText);
  EXPECT_LE(m.size(), kPopupMessageMax);
  EXPECT_GE(m.size(), kPopupMessageMax - 1);
  EXPECT_NE(static_cast<unsigned char>(m.back()), 0xC3);
}

TEST(Popup, CommandLinesPerTarget) {
  struct Case {
    const char* name;
    PopupTargets targets;
    std::vector<std::string> expectedTargets;
  } cases[] = {
      {"whole domain wins over hosts", {true, {"pc1"}}, {"*"}},
      {"hosts in order, empty rows skipped", {false, {"pc1", "", "pc2"}}, {"pc1", "pc2"}},
      {"nobody", {false, {}}, {}},
  };
  for (const auto& c : cases) {
    auto lines = PopupCommandLines("/opt/lark/Larknote", c.targets, "msg");
    ASSERT_EQ(lines.size(), c.expectedTargets.size()) << c.name;
    for (size_t i = 0; i < lines.size(); ++i) {
      EXPECT_EQ(lines[i],
                (std::vector<std::string>{"/opt/lark/Larknote", c.expectedTargets[i], "msg"}))
          << c.name;
    }
  }
}

// Waits (bounded) until the stub has recorded `n` calls.
std::vector<std::vector<std::string>> WaitForCalls(const std::string& record, size_t n) {
  std::vector<std::vector<std::string>> calls;
  test::Eventually([&] { return (calls = test::ReadLarknoteCalls(record)).size() >= n; }, 10000);
  return calls;
}

TEST(Popup, LaunchPassesTheMessageAsOneArgumentWithoutAShell) {
  test::TempDir dir;
  std::string record = test::InstallLarknoteStub(dir.path());
  FakeClock clock(0, SampleTime());
  std::string text = "(UPS \"A\") $(touch " + dir.file("pwned") + "); `id` & more";
  int started = LaunchPopup(text, {false, {"pc1", "pc2"}}, dir.path(), clock, Spawn);
  EXPECT_EQ(started, 2);
  auto calls = WaitForCalls(record, 2);
  ASSERT_EQ(calls.size(), 2u);
  // The two programs run side by side: their records may come in either order.
  std::sort(calls.begin(), calls.end());
  const std::string message = FormatPopupMessage(SampleTime(), text);
  EXPECT_EQ(calls[0], (std::vector<std::string>{"pc1", message}));
  EXPECT_EQ(calls[1], (std::vector<std::string>{"pc2", message}));
  EXPECT_FALSE(std::filesystem::exists(dir.file("pwned")));
  int reaped = 0;
  EXPECT_TRUE(test::Eventually([&] { return (reaped += ReapChildren()) >= 2; }, 10000));
  EXPECT_EQ(reaped, 2);

  EXPECT_EQ(LaunchPopup("", {true, {}}, dir.path(), clock, Spawn), 0);
}

TEST(Popup, LarknoteWithoutDesktopAppendsToItsLog) {
  std::string built = test::BuiltProgram("tools/Larknote");
  ASSERT_TRUE(std::filesystem::exists(built)) << "build the Larknote target first";
  test::TempDir dir;
  std::string program = dir.file("Larknote");
  std::filesystem::copy_file(built, program);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    execl(program.c_str(), program.c_str(), "*", "line one\nline two", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream log(dir.file("Larknote.log"));
  std::string line;
  ASSERT_TRUE(std::getline(log, line));
  EXPECT_NE(line.find("\t*\tline one line two"), std::string::npos) << line;
  EXPECT_FALSE(std::getline(log, line)) << "one message, one line";
}

}  // namespace
}  // namespace lark
