#include "core/settings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "platform/paths.h"
#include "tests/support/recording_event_log.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::TempDir;

void Put(const std::string& path, const std::string& text) {
  ASSERT_TRUE(WriteFileAtomic(path, text));
}
std::string Get(const std::string& path) { return ReadFile(path).value_or("<missing>"); }

std::string Crlf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string DefaultIni(const std::string& install) {
  std::string reactions;
  for (const char* level : {"Serious", "Warning", "Information"}) {
    reactions += std::string("[Reaction.") + level +
                 "]\n"
                 "Broadcast.Enable=Yes\n"
                 "email.Enable=No\n"
                 "Audio.Enable=Yes\n"
                 "Audio.Interval=60\n"
                 "Audio.Cycle=" +
                 (std::string(level) == "Information" ? "One Time" : "Periodically") +
                 "\n"
                 "SMS.Enable=No\n";
  }
  return Crlf(
      "[Main]\nLanguage=English\nLoad File=\nMax Event Log=10000\n"
      "[Control]\nPassword.Enable=No\nPassword.Password=\n"
      "[Polling]\nSNMP Polling=1000\nSNMP Timeout=60\nSerial Polling=300\n"
      "Serial Timeout=3\nGPRS Polling=5\nGPRS Timeout=10\n"
      "[History]\nPeriod=60\nStorage=12\nDirectory=" +
      install +
      "\n"
      "[SMTP]\nServer=\nSender=\nPassword=\n"
      "[GSM Modem]\nPort=\nBaud=9600\n" +
      reactions);
}

TEST(SettingsTest, EmptyFolderGivesEveryDefaultAndASecondStartChangesNothing) {
  TempDir dir;
  ServiceSettings s;
  SettingsStore store(dir.path());
  store.LoadManagerIni(s);
  const std::string first = Get(dir.file("manager.ini"));
  EXPECT_EQ(first, DefaultIni(dir.path()));
  EXPECT_EQ(s.historyDirectory, dir.path());
  EXPECT_EQ(s.reactionMasks[0], kReactBroadcast | kReactAudio);
  EXPECT_EQ(s.audioCycle[2], 0);
  EXPECT_EQ(s.levelColors[0], 0x0000ffu);
  EXPECT_EQ(s.illuminationMin, 15);

  ServiceSettings again;
  SettingsStore(dir.path()).LoadManagerIni(again);
  EXPECT_EQ(Get(dir.file("manager.ini")), first);
}

TEST(SettingsTest, ValuesAreConvertedAsRead) {
  TempDir dir;
  Put(dir.file("manager.ini"),
      "[Main]\r\nLoad File=C:\\Maps\\plant.UMF\r\nLanguage=Russian\r\n"
      "[Control]\r\nPassword.Enable=yEs\r\n"
      "[Polling]\r\nSerial Polling=0\r\nSNMP Polling=-5\r\nSerial Timeout=abc\r\n"
      "GPRS Polling=12x\r\nSNMP Timeout=99999999999\r\n"
      "[History]\r\nDirectory=/data/hist\r\nStorage=0\r\n"
      "[Color]\r\nSerious=0x123abc\r\nWarning=zz\r\n"
      "[Reaction.Warning]\r\nemail.Enable=YES\r\nAudio.Enable=1\r\nAudio.Cycle=one time\r\n"
      "SMS.Enable=Yes\r\n"
      "[Inverter]\r\nIllumination.MinValue=40\r\n");
  ServiceSettings s;
  SettingsStore(dir.path()).LoadManagerIni(s);
  EXPECT_EQ(s.autoLoadMap, "plant.UMF");
  EXPECT_EQ(s.language, "Russian");
  EXPECT_EQ(s.controlPasswordEnabled, 1);
  EXPECT_EQ(s.serialPolling, 300) << "a zero divisor takes the default";
  EXPECT_EQ(s.snmpPolling, 1000);
  EXPECT_EQ(s.serialTimeout, 3);
  EXPECT_EQ(s.gprsPolling, 12);
  EXPECT_EQ(s.snmpTimeout, 999999999) << "cut to the read size of 10";
  EXPECT_EQ(s.historyDirectory, "/data/hist");
  EXPECT_EQ(s.historyStorage, 0) << "0 means no recording";
  EXPECT_EQ(s.levelColors[0], 0x123abcu);
  EXPECT_EQ(s.levelColors[1], 0x00a0a0u) << "a colour that does not scan keeps its default";
  EXPECT_EQ(s.reactionMasks[1], kReactBroadcast | kReactEmail | kReactSms);
  EXPECT_EQ(s.audioCycle[1], 0);
  EXPECT_EQ(s.illuminationMin, 40);

  // The rewrite keeps the sanitised values, not the bad ones.
  std::string text = Get(dir.file("manager.ini"));
  EXPECT_NE(text.find("Serial Polling=300\r\n"), std::string::npos);
  EXPECT_NE(text.find("Load File=plant.UMF\r\n"), std::string::npos);
  EXPECT_NE(text.find("[Color]\r\nSerious=0x123abc"), std::string::npos) << "kept, not rewritten";

  // "1" is not "Yes".
  Put(dir.file("manager.ini"), "[Control]\nPassword.Enable=1\n[History]\nStorage=-3\n");
  ServiceSettings t;
  SettingsStore(dir.path()).LoadManagerIni(t);
  EXPECT_EQ(t.controlPasswordEnabled, 0);
  EXPECT_EQ(t.historyStorage, 12);
}

TEST(SettingsTest, UnsafeAutoLoadNamesAreDropped) {
  TempDir dir;
  for (const char* bad : {"..", "C:\\maps\\..", "a/b/.."}) {
    Put(dir.file("manager.ini"), std::string("[Main]\nLoad File=") + bad + "\n");
    ServiceSettings s;
    SettingsStore(dir.path()).LoadManagerIni(s);
    EXPECT_EQ(s.autoLoadMap, "") << bad;
  }
}

TEST(SettingsTest, LongPasswordsSurviveSaveAndRestart) {
  TempDir dir;
  SettingsStore store(dir.path());
  ServiceSettings s;
  store.LoadManagerIni(s);
  s.controlPassword = "abcdefghijklmnopqrstuvwxyz01234";  // 31, the dialog's limit
  s.controlPasswordEnabled = 1;
  s.odbcPassword = "0123456789abcdefghijklmnopqrstuv";  // 32
  s.odbcSource = "ups";
  ASSERT_TRUE(store.SaveManagerIni(s));
  ASSERT_TRUE(store.SaveDatabaseIni(s));

  ServiceSettings r;
  SettingsStore again(dir.path());
  again.LoadManagerIni(r);
  again.LoadDatabaseIni(r);
  EXPECT_EQ(r.controlPassword, s.controlPassword);
  EXPECT_EQ(r.controlPasswordEnabled, 1);
  EXPECT_EQ(r.odbcPassword, s.odbcPassword);
  EXPECT_EQ(r.logTableName, "log");
}

TEST(SettingsTest, DatabaseDefaults) {
  TempDir dir;
  ServiceSettings s;
  SettingsStore(dir.path()).LoadDatabaseIni(s);
  EXPECT_EQ(s.logTableName, "obj_log");
  EXPECT_EQ(s.historyDelete, 1);
  EXPECT_EQ(s.upsLogDelete, 0);
  EXPECT_EQ(s.upsLogMonths, 1);
  EXPECT_EQ(s.upsLogBackupDir, dir.path() + "/Backup/upslog/");
  EXPECT_EQ(s.historyBackupDir, dir.path() + "/Backup/histval/");
}

TEST(SettingsTest, OldFormatFileIsConvertedAndKept) {
  TempDir dir;
  const std::string old = Get(test::SourcePath("tests/core/fixtures/old_manager.ini"));
  Put(dir.file("Manager.ini"), old);
  test::RecordingEventLog log;
  ServiceSettings s;
  SettingsStore store(dir.path(), &log);
  EXPECT_EQ(store.iniPath(), dir.file("Manager.ini"));
  store.LoadManagerIni(s);

  EXPECT_EQ(Get(dir.file("Manager.ini.bak")), old);
  EXPECT_EQ(s.autoLoadMap, "plant.UMF");
  EXPECT_EQ(s.snmpTimeout, 45);
  EXPECT_EQ(s.maxEventLog, 5000);
  EXPECT_EQ(s.snmpPolling, 500);
  EXPECT_EQ(s.smtpServer, "smtp.example.net");
  EXPECT_EQ(s.smtpSender, "ups@example.net");
  EXPECT_EQ(s.smtpPassword, "mail-secret");
  EXPECT_EQ(s.gsmPort, "COM3");
  EXPECT_EQ(s.gsmBaud, 19200);
  EXPECT_EQ(s.serialPolling, 250);
  EXPECT_EQ(s.controlPassword, "Control-Pass-1234567890x");
  EXPECT_EQ(s.controlPasswordEnabled, 1);

  // The new file is fresh: it starts with [Main] and holds none of the old lines.
  std::string fresh = Get(dir.file("Manager.ini"));
  EXPECT_EQ(fresh.rfind("[Main]\r\n", 0), 0u);
  EXPECT_EQ(fresh.find("Gridwarden Manager 3"), std::string::npos);

  // The 24-character control password survives the restart.
  ServiceSettings r;
  SettingsStore(dir.path()).LoadManagerIni(r);
  EXPECT_EQ(r.controlPassword, "Control-Pass-1234567890x");
  EXPECT_EQ(r.snmpPolling, 500);
  EXPECT_EQ(Get(dir.file("Manager.ini")), fresh);
}

TEST(SettingsTest, ConversionNeverReplacesAnEarlierBackup) {
  TempDir dir;
  Put(dir.file("manager.ini"), "old\nformat\n");
  Put(dir.file("manager.ini.bak"), "earlier backup");
  ServiceSettings s;
  SettingsStore(dir.path()).LoadManagerIni(s);
  EXPECT_EQ(Get(dir.file("manager.ini.bak")), "earlier backup");
  EXPECT_EQ(Get(dir.file("manager.ini.bak.1")), "old\nformat\n");
  EXPECT_EQ(Get(dir.file("manager.ini")).rfind("[Main]", 0), 0u);
}

TEST(SettingsTest, OldFormatTestTable) {
  struct Case {
    const char* text;
    bool old;
  } cases[] = {
      {"", false},
      {"[Main]\nLanguage=English\n", false},
      {"\n; comment\n  [Main]\n", false},
      {"\xEF\xBB\xBF[Main]\n", false},
      {"1\n2\n3\n", true},
      {"value only", true},
  };
  for (const Case& c : cases) {
    TempDir dir;
    Put(dir.file("manager.ini"), c.text);
    ServiceSettings s;
    EXPECT_EQ(SettingsStore(dir.path()).ConvertOldManagerIni(s), c.old) << c.text;
  }
}

TEST(SettingsTest, ShortOldFileStopsWhereItEnds) {
  TempDir dir;
  std::string text;
  for (int i = 1; i <= 41; ++i) text += (i == 41 ? "5" : std::to_string(i)) + "\n";
  Put(dir.file("manager.ini"), text);
  ServiceSettings s;
  s.smtpServer = "kept";
  ASSERT_TRUE(SettingsStore(dir.path()).ConvertOldManagerIni(s));
  EXPECT_EQ(s.snmpPolling, 200) << "below 10 becomes 200";
  EXPECT_EQ(s.autoLoadMap, "7");
  EXPECT_EQ(s.snmpTimeout, 0);
  EXPECT_EQ(s.smtpServer, "kept");
}

TEST(SettingsTest, ListsKeepTheirRows) {
  TempDir dir;
  Put(dir.file("manager.ini"),
      "[e-mail]\nAddress3=c@example.net\n"
      "[SMS]\nPhone1=+100\nPhone20=+120\nPhone21=+121\n"
      "[Broadcast]\nDomain=yes\nHost2=pc2\n"
      "[Item2]\nName=Night shift\nID.Index1=7\nID.Index50=-3\n"
      "[Contactor20]\nName=Ann\nRemark=on call\n");
  ServiceSettings s;
  SettingsStore store(dir.path());
  store.LoadAll(s);
  EXPECT_EQ(s.emailList.count, 1);
  EXPECT_EQ(s.emailList.addresses[0], "");
  EXPECT_EQ(s.emailList.addresses[2], "c@example.net");
  EXPECT_EQ(s.smsList.count, 2);
  EXPECT_EQ(s.smsList.phones[19], "+120");
  EXPECT_EQ(s.broadcastList.wholeDomain, 1);
  EXPECT_EQ(s.broadcastList.hosts[1], "pc2");
  EXPECT_EQ(s.recipients[1].name, "Night shift");
  EXPECT_EQ(s.recipients[1].nodeIds[0], 7);
  EXPECT_EQ(s.recipients[1].nodeIds[1], -1);
  EXPECT_EQ(s.recipients[1].nodeIds[49], -3);
  EXPECT_EQ(s.recipients[1].outgoingSlot, -1);
  EXPECT_EQ(s.contactors[19].name, "Ann");

  // Written back and read again, every list is the same.
  ASSERT_TRUE(store.SaveEmailList(s));
  ASSERT_TRUE(store.SaveSmsPhoneList(s));
  ASSERT_TRUE(store.SaveBroadcastList(s));
  ASSERT_TRUE(store.SaveRecipientItems(s));
  ASSERT_TRUE(store.SaveContactors(s));
  ServiceSettings r;
  SettingsStore(dir.path()).LoadAll(r);
  EXPECT_EQ(r.emailList.addresses, s.emailList.addresses);
  EXPECT_EQ(r.smsList.phones, s.smsList.phones);
  EXPECT_EQ(r.broadcastList.hosts, s.broadcastList.hosts);
  EXPECT_EQ(r.recipients[1].nodeIds, s.recipients[1].nodeIds);
  EXPECT_EQ(r.contactors[19].remark, "on call");
}

TEST(SettingsTest, OldListFilesAreWrittenToTheSettingsThenDeleted) {
  TempDir dir;
  std::string mail;
  for (int i = 1; i <= 25; ++i) mail += "user" + std::to_string(i) + "@example.net\r\n";
  Put(dir.file("MEmail.dat"), mail);
  Put(dir.file("msms.dat"), "+111\n\n+333");  // an empty row counts; no final line break
  Put(dir.file("MBroad.dat"), "1\npc-a\n" + std::string(80, 'x') + "\n");
  Put(dir.file("manager.ini"), "[e-mail]\nAddress1=ignored@example.net\n");

  ServiceSettings s;
  SettingsStore(dir.path()).LoadAll(s);
  EXPECT_EQ(s.emailList.count, 20);
  EXPECT_EQ(s.emailList.addresses[0], "user1@example.net") << "CRLF removed, nothing more";
  EXPECT_EQ(s.emailList.addresses[19], "user20@example.net");
  EXPECT_EQ(s.smsList.count, 3);
  EXPECT_EQ(s.smsList.phones[1], "");
  EXPECT_EQ(s.smsList.phones[2], "+333") << "a last line without a line break keeps its end";
  EXPECT_EQ(s.broadcastList.wholeDomain, 1);
  EXPECT_EQ(s.broadcastList.count, 2);
  EXPECT_EQ(s.broadcastList.hosts[1], std::string(63, 'x'));

  EXPECT_FALSE(FileExists(dir.file("MEmail.dat")));
  EXPECT_FALSE(FileExists(dir.file("msms.dat")));
  EXPECT_FALSE(FileExists(dir.file("MBroad.dat")));

  // The imported lists are in manager.ini now.
  ServiceSettings r;
  SettingsStore(dir.path()).LoadAll(r);
  EXPECT_EQ(r.emailList.addresses, s.emailList.addresses);
  EXPECT_EQ(r.smsList.phones[2], "+333");
  EXPECT_EQ(r.broadcastList.hosts[0], "pc-a");
}

TEST(SettingsTest, OldListsSurviveTheConversionOfAnOldSettingsFile) {
  TempDir dir;
  Put(dir.file("Manager.ini"), Get(test::SourcePath("tests/core/fixtures/old_manager.ini")));
  Put(dir.file("MBroad.dat"), "0\npc-a\n");
  ServiceSettings s;
  SettingsStore(dir.path()).LoadAll(s);
  EXPECT_EQ(s.smtpServer, "smtp.example.net") << "appended sections are not old values";
  ServiceSettings r;
  SettingsStore(dir.path()).LoadAll(r);
  EXPECT_EQ(r.broadcastList.hosts[0], "pc-a");
  EXPECT_EQ(r.smtpServer, "smtp.example.net");
}

TEST(SettingsTest, OldListStaysWhenTheSettingsCannotBeWritten) {
  TempDir dir;
  Put(dir.file("MSMS.DAT"), "+1\n");
  // A folder where manager.ini should be: every write of it fails.
  ASSERT_TRUE(MakeDirs(dir.file("manager.ini")));
  ServiceSettings s;
  SettingsStore(dir.path()).LoadSmsPhoneList(s);
  EXPECT_EQ(s.smsList.phones[0], "+1");
  EXPECT_TRUE(FileExists(dir.file("MSMS.DAT")));
}

TEST(SettingsTest, HelpersTable) {
  EXPECT_EQ(LeadingInt("  -42abc"), -42);
  EXPECT_EQ(LeadingInt(""), 0);
  EXPECT_EQ(LeadingInt("x1"), 0);
  EXPECT_EQ(LeadingInt("99999999999999999999"), INT32_MAX);
  EXPECT_EQ(LeadingInt("-99999999999999999999"), INT32_MIN);
  EXPECT_TRUE(IsYes("yes"));
  EXPECT_FALSE(IsYes("Yes "));
  EXPECT_FALSE(IsYes("No"));
  struct {
    const char* text;
    std::vector<std::string_view> lines;
  } cases[] = {
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\nb", {"a", "b"}},
      {"a\r", {"a\r"}},
      {"\n\n", {"", ""}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(SplitTextLines(c.text), c.lines) << c.text;
  TempDir dir;
  EXPECT_EQ(PathExists(dir.path(), 0), 1);
  EXPECT_EQ(PathExists(dir.path(), 1), 0);
  EXPECT_EQ(PathExists("", 0), 0);
}

}  // namespace
}  // namespace lark

namespace lark {
namespace {

TEST(SettingsTest, SerialPortPathsAreReadAndKeptAcrossTheRewrite) {
  test::TempDir dir;
  const std::string ini = dir.file("manager.ini");
  ASSERT_TRUE(
      WriteFileAtomic(ini,
                      "[Serial Ports]\r\nCOM1=/dev/ttyUSB0\r\ncom12 = /dev/serial/by-id/x\r\n"
                      "COMx=/dev/a\r\nCOM256=/dev/b\r\nCOM0=/dev/c\r\n"));
  ServiceSettings s;
  SettingsStore store(dir.path());
  store.LoadManagerIni(s);
  EXPECT_EQ(s.serialPortPaths,
            (std::map<int, std::string>{{1, "/dev/ttyUSB0"}, {12, "/dev/serial/by-id/x"}}));
  // The load rewrites the file; the section is the operator's and stays.
  ServiceSettings again;
  store.LoadManagerIni(again);
  EXPECT_EQ(again.serialPortPaths, s.serialPortPaths);
}

}  // namespace
}  // namespace lark
