// monitor.ini and the console's copy of manager.ini.
#include "console/shell/monitor_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/password.h"
#include "console/shell/console_settings.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

constexpr WorkArea kArea{0, 0, 1280, 800};

// One start of the console as far as monitor.ini goes: rectangles, then the
// settings and the lists, then one write.
struct Start {
  MonitorIni ini;
  ColumnTitles titles;
  explicit Start(const std::string& path, const Profile& language = Profile()) : ini(path, kArea) {
    ini.LoadWindowRects();
    ini.LoadConsoleSettings(language, titles);
    ini.LoadConsoleLists();
  }
  const MonitorSettings& s() const { return ini.settings(); }
};

TEST(MonitorSettingsTest, FreshInstallWritesDefaultsOnceAndStably) {
  test::TempDir dir;
  const std::string path = dir.file("monitor.ini");
  {
    Start first(path);
    const MonitorSettings& s = first.s();
    EXPECT_EQ(s.main, (WindowRect{0, 0, 1280, 800}));
    EXPECT_EQ(s.general, (WindowRect{0, 203, 213, 800}));
    EXPECT_EQ(s.list, (WindowRect{150, 0, 1280, 200}));
    EXPECT_EQ(s.map, (WindowRect{854, 0, 1280, 426}));  // a square at the top right
    EXPECT_EQ(s.map.right - s.map.left, s.map.bottom - s.map.top);
    EXPECT_TRUE(s.autoConnect);
    EXPECT_EQ(s.serverAddress, "127.0.0.1");
    ASSERT_TRUE(first.ini.Save());
  }
  const std::string once = ReadFile(path).value();
  for (const char* key : {"General.enable=Yes", "Main.right=1280", "Map.close=No", "Transparency=128",
                          "FitPicture=0", "Auto Connect=1", "Server IP=LocalHost", "Item.2=Title", "Item.3=Model",
                          "Item.10=Alarm", "Width.10=300", "GroupWidth.2=100", "Enable.6=Enable",
                          "Lock=No", "Baud=9600", "[Monitor GSM Modem]\r\nPort=\r\n"}) {
    EXPECT_NE(once.find(key), std::string::npos) << key;
  }
  Start second(path);
  second.ini.SaveConsoleSettings(second.titles);
  ASSERT_TRUE(second.ini.Save());
  EXPECT_EQ(ReadFile(path).value(), once);
}

TEST(MonitorSettingsTest, Cases) {
  struct Case {
    const char* name;
    const char* ini;
    std::function<void(const MonitorSettings&)> check;
    std::vector<std::string> savedLines;  // lines the saved file holds
  } cases[] = {
      {"tab enable compared exactly", "[Tab]\nEnable.2=enable\n",
       [](const MonitorSettings& s) { EXPECT_FALSE(s.tabEnabled[1]); EXPECT_TRUE(s.tabEnabled[0]); },
       {"Enable.2=Disable"}},
      {"lock in any case", "[Main]\nLock=yes\n",
       [](const MonitorSettings& s) { EXPECT_TRUE(s.viewFlags & kViewLockObjects); }, {"Lock=Yes"}},
      {"local host", "[Startup Config]\nServer IP=local host\n",
       [](const MonitorSettings& s) {
         EXPECT_EQ(s.serverAddress, "127.0.0.1");
         EXPECT_TRUE(s.autoConnect);
       },
       {"Server IP=LocalHost", "Auto Connect=1"}},
      {"0.0.0.0 turns auto-connect off and is left unwritten",
       "[Startup Config]\nAuto Connect=1\nServer IP=0.0.0.0\n",
       [](const MonitorSettings& s) { EXPECT_FALSE(s.autoConnect); EXPECT_FALSE(s.addressKnown); },
       {"Auto Connect=0", "Server IP=0.0.0.0"}},
      {"a 40-character Server IP is no address and stays in the file",
       "[Startup Config]\nServer IP=server-room-7.example.internal.lan.corp\n",
       [](const MonitorSettings& s) {
         EXPECT_FALSE(s.autoConnect);
         EXPECT_EQ(s.serverAddress, "");
       },
       {"Server IP=server-room-7.example.internal.lan.corp", "Auto Connect=0"}},
      {"a dotted address is kept", "[Startup Config]\nServer IP=10.1.2.3\n",
       [](const MonitorSettings& s) { EXPECT_EQ(s.serverAddress, "10.1.2.3"); }, {"Server IP=10.1.2.3"}},
      {"baud 115200 keeps all its bits", "[Monitor GSM Modem]\nPort=COM3\nBaud=115200\n",
       [](const MonitorSettings& s) {
         EXPECT_EQ(s.gsmBaud, 115200);
         EXPECT_EQ(s.gsmPort, "COM3");
       },
       {"Baud=115200"}},
      {"column titles: another language, a known title, an empty title",
       "[List]\nItem.2=Modell\nItem.3=Alarm\nItem.4=\n",
       [](const MonitorSettings& s) {
         EXPECT_EQ(s.columnChoice[1], 0);   // unchanged
         EXPECT_EQ(s.columnChoice[2], 15);  // "Alarm"
         EXPECT_EQ(s.columnChoice[3], 3);   // an empty title matches no empty slot
       },
       {"Item.2=Title", "Item.3=Alarm", "Item.4=UPS Status"}},
      {"a main window off the screen resets all five rectangles",
       "[Rect]\nMain.left=5000\nMain.top=10\nMain.right=6000\nMain.bottom=700\nGeneral.left=9\n",
       [](const MonitorSettings& s) {
         EXPECT_EQ(s.main, (WindowRect{0, 0, 1280, 800}));
         EXPECT_EQ(s.general.left, 0);
         EXPECT_EQ(s.list.right, 1280 - 16);
       },
       {"Main.left=0", "List.right=1264"}},
      {"coordinates read one by one", "[Rect]\nGeneral.left=7\nGeneral.top=-10000\nMap.close=maybe\n",
       [](const MonitorSettings& s) {
         EXPECT_EQ(s.general, (WindowRect{7, 203, 213, 800}));
         EXPECT_TRUE(s.viewFlags & kViewMapClosed);
       },
       {"General.left=7", "Map.close=Yes"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    test::TempDir dir;
    const std::string path = dir.file("monitor.ini");
    ASSERT_TRUE(WriteFileAtomic(path, k.ini));
    Start start(path);
    k.check(start.s());
    start.ini.SaveConsoleSettings(start.titles);
    ASSERT_TRUE(start.ini.Save());
    const std::string saved = ReadFile(path).value();
    for (const auto& line : k.savedLines) EXPECT_NE(saved.find(line), std::string::npos) << line;
  }
}

TEST(MonitorSettingsTest, ListsRoundTripAndAStoppedSaveKeepsTheOldFile) {
  test::TempDir dir;
  const std::string path = dir.file("monitor.ini");
  {
    Start start(path);
    RecipientItem& item = start.ini.settings().monitorItems[4];
    item.name = "Night shift";
    item.nodeIds[0] = 12;
    item.nodeIds[49] = 300;
    start.ini.SaveConsoleLists();
    start.ini.SaveConsoleSettings(start.titles);
    ASSERT_TRUE(start.ini.Save());
  }
  const std::string before = ReadFile(path).value();
  EXPECT_NE(before.find("[Item5]\r\nName=Night shift\r\nID.Index1=12\r\nID.Index2=-1"), std::string::npos);
  Start again(path);
  const RecipientItem& item = again.s().monitorItems[4];
  EXPECT_EQ(item.name, "Night shift");
  EXPECT_EQ(item.nodeIds[49], 300);
  EXPECT_EQ(item.outgoingSlot, -1);

  again.ini.settings().gsmBaud = 19200;
  again.ini.SaveConsoleSettings(again.titles);
  again.ini.profile().setBeforeRenameHook([] { return false; });  // stopped before the rename
  EXPECT_FALSE(again.ini.Save());
  EXPECT_EQ(ReadFile(path).value(), before);
}

TEST(ConsoleSettingsTest, ManagerCopy) {
  test::TempDir dir;
  const std::string path = dir.file("manager.ini");
  const std::string password24 = "abcdefghijklmnopqrstuvwx";
  ASSERT_TRUE(WriteFileAtomic(path, "[Main]\nLock=YES\nTRV3200=enable\n[Control]\nPassword.Enable=Yes\n"
                                    "Password.Password=" + EncodePassword(password24) +
                                    "\n[Color]\nWarning=0x123456\n[Database]\nEnable=yes\n"
                                    "ODBC.Password=" + EncodePassword(password24) + "\n"));
  ConsoleSettings s;
  LoadManagerSettings(s, path, dir.path());
  EXPECT_EQ(s.service.controlPassword, password24);
  EXPECT_EQ(s.service.snmpTimeout, 30);  // the console's default
  EXPECT_EQ(s.service.levelColors[1], 0x123456u);
  EXPECT_TRUE(s.lockObjects);
  EXPECT_TRUE(s.offers.trv3200);
  EXPECT_TRUE(s.offers.norvaRs232);
  int rightsFor = -1;
  LoadDatabaseSettings(s, path, dir.path(), [&](int32_t level) { rightsFor = level; });
  EXPECT_EQ(s.service.odbcPassword, password24);
  EXPECT_TRUE(s.accountsInUse);
  EXPECT_EQ(rightsFor, 0);
  EXPECT_EQ(ReadFile(path).value().find("SNMP Timeout"), std::string::npos);  // never written

  ConsoleSettings none;
  LoadManagerSettings(none, dir.file("missing.ini"), dir.path());
  LoadDatabaseSettings(none, dir.file("missing.ini"), dir.path(), nullptr);
  EXPECT_EQ(none.userLevel, 2);  // no database: the operator has full rights
  EXPECT_EQ(none.service.levelColors[0], 0x0000ffu);
}

}  // namespace
}  // namespace lark
