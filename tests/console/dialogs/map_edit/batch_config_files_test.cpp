// The batch configuration's texts: which firmware offers FTP, the refusals
// that keep the script's words words, the script itself, and what the
// downloaded file and the client's log are taken to say.
#include "console/dialogs/map_edit/batch_config_files.h"

#include <gtest/gtest.h>

namespace lark {
namespace {

TEST(BatchConfigFiles, FirmwareFromOneFourteenOffersFtp) {
  struct Case {
    std::string field;
    bool offers;
  };
  const Case cases[] = {
      {"1.14", true},
      {"2.1c", true},
      {"1.2", true},
      {"10.0", true},
      {"2", true},
      {" 1.14", true},
      {"01.14", true},
      {"1.140", true},
      {"1.99", true},
      {"1.13", false},
      {"1.139", false},
      {"1.1", false},
      {"1", false},
      {"1.", false},
      {"0.99", false},
      {"", false},
      {"v1.14", false},
      {".5", false},
      {"1.1x4", false},
      {"abc", false},
      // The 16-byte field full (no NUL), and text after a NUL.
      {"1.14567890123456", true},
      {std::string("1.13\0"
                   "9",
                   6),
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(
        FirmwareOffersFtp(CBytes(reinterpret_cast<const uint8_t*>(c.field.data()), c.field.size())),
        c.offers);
  }
}

TEST(BatchConfigFiles, FieldsThatCouldLeaveTheirPlaceInTheScriptAreRefused) {
  const FtpTransfer good{false, ConfigFile::kSystem, "127.0.0.2", "admin", "!touch z", "/opt/lark"};
  struct Case {
    const char* name;
    void (*change)(FtpTransfer&);
    int refusal;
  };
  const Case cases[] = {
      {"as it stands", [](FtpTransfer&) {}, 0},
      {"host name", [](FtpTransfer& t) { t.address = "card-3.example"; }, 0},
      {"empty password", [](FtpTransfer& t) { t.password = ""; }, 0},
      {"blanks, quotes of one kind, backslash", [](FtpTransfer& t) { t.password = "a b'c\\d;$e"; },
       0},
      {"empty account", [](FtpTransfer& t) { t.account = ""; }, kRefuseFtpLogin},
      {"quote in account", [](FtpTransfer& t) { t.account = "ad\"min"; }, kRefuseFtpLogin},
      {"quote in password", [](FtpTransfer& t) { t.password = "x\" \"y"; }, kRefuseFtpLogin},
      {"line end in password", [](FtpTransfer& t) { t.password = "x\n!sh"; }, kRefuseFtpLogin},
      {"CR in account", [](FtpTransfer& t) { t.account = "a\rb"; }, kRefuseFtpLogin},
      {"tab in password", [](FtpTransfer& t) { t.password = "a\tb"; }, kRefuseFtpLogin},
      {"DEL in password", [](FtpTransfer& t) { t.password = "a\x7f"; }, kRefuseFtpLogin},
      {"empty address", [](FtpTransfer& t) { t.address = ""; }, kRefuseCardAddress},
      {"address with a blank", [](FtpTransfer& t) { t.address = "127.0.0.2 21"; },
       kRefuseCardAddress},
      {"address as an option", [](FtpTransfer& t) { t.address = "-d"; }, kRefuseCardAddress},
      {"address with a line end", [](FtpTransfer& t) { t.address = "1.2.3.4\n!sh"; },
       kRefuseCardAddress},
      {"IPv6 address", [](FtpTransfer& t) { t.address = "::1"; }, kRefuseCardAddress},
      {"quote in the install folder", [](FtpTransfer& t) { t.installDir = "/opt/a\"b"; },
       kRefuseInstallPath},
      {"line end in the install folder", [](FtpTransfer& t) { t.installDir = "/opt/a\nb"; },
       kRefuseInstallPath},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FtpTransfer t = good;
    c.change(t);
    EXPECT_EQ(CheckFtpTransfer(t), c.refusal);
  }
}

TEST(BatchConfigFiles, ScriptLogsInOnOneLineAndNamesBothFiles) {
  FtpTransfer t{false, ConfigFile::kSystem, "127.0.0.2", "admin", "!touch z", "/opt/lark dir"};
  EXPECT_EQ(FtpScript(t),
            "open 127.0.0.2\n"
            "user \"admin\" \"!touch z\"\n"
            "binary\n"
            "get configure.ini \"/opt/lark dir/Ftp/configure.ini\"\n"
            "bye\n");
  t.put = true;
  t.file = ConfigFile::kSnmp;
  t.password = "";
  EXPECT_EQ(FtpScript(t),
            "open 127.0.0.2\n"
            "user \"admin\"\n"
            "\n"
            "binary\n"
            "put \"/opt/lark dir/Ftp/snmp.ini\" snmp.ini\n"
            "bye\n");
}

TEST(BatchConfigFiles, PutIsConfirmedOnlyByATransferReplyAfterItsFiles) {
  struct Case {
    const char* name;
    const char* log;
    bool confirmed;
  };
  const Case cases[] = {
      {"sent",
       "230 Login successful.\nlocal: /x/Ftp/snmp.ini remote: snmp.ini\n150 ok\n226 Transfer "
       "complete.\n221 Goodbye.\n",
       true},
      {"250, CRLF", "local: a remote: b\r\n250 Done.\r\n", true},
      {"refused",
       "230 Login successful.\nlocal: /x/Ftp/snmp.ini remote: snmp.ini\n550 Not enough "
       "privileges.\n221 Goodbye.\n",
       false},
      {"not logged in",
       "530 Login incorrect.\nlocal: a remote: b\n530 Please login with USER and PASS.\n", false},
      {"226 only before the put", "226 earlier\nlocal: a remote: b\n451 aborted\n", false},
      {"no put at all", "ftp: Can't connect to `127.0.0.5:21'\nNot connected.\n", false},
      {"226 inside a line", "local: a remote: b\n150 226 \n", false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PutConfirmed(c.log), c.confirmed);
  }
}

TEST(BatchConfigFiles, TextsKeepEveryLineWholeAndSaveNoEmptyOnes) {
  const std::string longLine(5000, 'x');
  EXPECT_EQ(EditTextOf("[System]\r\nName=" + longLine + "\r\n\r\n[End]\r\n"),
            "[System]\nName=" + longLine + "\n\n[End]");
  EXPECT_EQ(EditTextOf("a\nb"), "a\nb");
  EXPECT_EQ(EditTextOf(""), "");
  EXPECT_EQ(FileTextOf("[System]\n\n\nName=" + longLine + "\r\n\n[End]"),
            "[System]\r\nName=" + longLine + "\r\n[End]\r\n");
  EXPECT_EQ(FileTextOf("\n\r\n"), "");
  EXPECT_TRUE(DownloadComplete("a\r\n[End]\r\n"));
  EXPECT_FALSE(DownloadComplete("a\r\n[end]\r\n"));
}

}  // namespace
}  // namespace lark
