// Larkinstall run as a program: bad arguments, the tree it writes against
// cmake --install, the systemd steps through recording stubs, and the unit
// it writes checked by systemd-analyze.
#include "installer/installer.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "platform/key_store.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

struct Result {
  int code;
  std::string err;
};

Result RunInstaller(const std::vector<std::string>& args, const std::string& errFile,
                    const std::string& env = "") {
  std::string cmd = env + " " + Quote(test::BuiltProgram("installer/Larkinstall"));
  for (const auto& a : args) cmd += " " + Quote(a);
  cmd += " 2>" + Quote(errFile);
  int status = system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(errFile).value_or("")};
}

// Names, modes and bytes of every entry under `dir`.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    struct stat st;
    lstat(e.path().c_str(), &st);
    std::string what = std::to_string(st.st_mode & 07777);
    if (e.is_regular_file()) what += ":" + ReadFile(e.path()).value_or("?");
    out[fs::relative(e.path(), dir).string()] = what;
  }
  return out;
}

TEST(Larkinstall, BadArgumentsFailWithAMessageAndWriteNothing) {
  test::TempDir tmp;
  const std::string root = tmp.file("root");
  const std::vector<std::vector<std::string>> cases = {
      {"install", "/opt/larkcore/Larkcore", "larkcore"},
      {"remove", "larkcore"},
      {"install", "/opt/larkcore/Larkcore", "lark/core", "Lark"},
      {"install", "/opt/larkcore/Larkcore", "lark\ncore", "Lark"},
      {"install", "/opt/larkcore/Larkcore", "larkcore", "Lark\nExecStartPre=/bin/x"},
      {"install", "opt/larkcore/Larkcore", "larkcore", "Lark"},
      {"install", "/Larkcore", "larkcore", "Lark"},
      {"uninstall", "larkcore", "extra"},
      {"install", "/opt/larkcore/Larkcore", "larkcore", "Lark", "--root"},
  };
  for (auto args : cases) {
    if (args.back() != "--root") args.insert(args.end(), {"--root", root, "--no-systemd"});
    Result r = RunInstaller(args, tmp.file("err"));
    EXPECT_EQ(r.code, 1) << args[0] << " " << args[1];
    EXPECT_NE(r.err.find("Larkinstall: "), std::string::npos) << r.err;
    EXPECT_FALSE(FileExists(root)) << args[0] << " " << args[1];
  }
}

TEST(Larkinstall, WritesTheSameTreeAsCmakeInstall) {
  test::TempDir tmp;
  Result r =
      RunInstaller({"install", "/opt/larkcore/Larkcore", "larkcore",
                    "Larkcore UPS fleet monitoring", "--root", tmp.file("t"), "--no-systemd"},
                   tmp.file("err"));
  ASSERT_EQ(r.code, 0) << r.err;
  std::string cmd = "DESTDIR=" + Quote(tmp.file("t2")) + " cmake --install " +
                    Quote(LARK_BINARY_DIR) + " --prefix /opt/larkcore >/dev/null";
  ASSERT_EQ(system(cmd.c_str()), 0);
  auto mine = Tree(tmp.file("t/opt/larkcore"));
  EXPECT_EQ(mine, Tree(tmp.file("t2/opt/larkcore")));
  for (const char* name : {"Larkcore", "Larkview", "Larktray", "Larkinstall", "Larknote",
                           "English/language.ini", "larkcore.service", "Larkinstall.manifest"}) {
    EXPECT_TRUE(mine.count(name)) << name;
  }
  EXPECT_EQ(mine["Larkcore"].substr(0, 4), "493:");  // 0755
  EXPECT_EQ(mine["Demo.UMF"].substr(0, 4), "420:");  // 0644
  EXPECT_EQ(KeyStore(tmp.file("t/var/lib/larkcore")).read("Main", "Path"), "/opt/larkcore");
}

// systemctl and adduser stubs that log their arguments; adduser also enters
// the account in the root's passwd and group files, as it would on that system.
class InstallerWithStubs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "ownership needs root";
    MakeDirs(tmp.file("bin"));
    MakeDirs(root + "/etc");
    const std::string log = tmp.file("calls");
    WriteFileAtomic(tmp.file("bin/systemctl"),
                    "#!/bin/sh\necho \"systemctl $*\" >> " + log +
                        "\n[ \"$1\" = \"$STUB_FAIL\" ] && exit 1\nexit 0\n",
                    nullptr, 0755, static_cast<gid_t>(-1));
    WriteFileAtomic(tmp.file("bin/adduser"),
                    "#!/bin/sh\necho \"adduser $*\" >> " + log +
                        "\necho 'larkcore:x:47301:47301::/var/lib/larkcore:/usr/sbin/nologin' >> " +
                        root + "/etc/passwd\necho 'larkcore:x:47301:' >> " + root + "/etc/group\n",
                    nullptr, 0755, static_cast<gid_t>(-1));
  }
  Result run(std::vector<std::string> args, const std::string& fail = "") {
    args.insert(args.end(), {"--root", root});
    return RunInstaller(args, tmp.file("err"),
                        "STUB_FAIL=" + fail + " PATH=" + Quote(tmp.file("bin")) + ":$PATH");
  }
  std::string calls() {
    std::string c = ReadFile(tmp.file("calls")).value_or("");
    unlink(tmp.file("calls").c_str());
    return c;
  }
  test::TempDir tmp;
  std::string root = tmp.file("root");
  std::string folder = root + "/opt/larkcore";
  std::vector<std::string> install = {"install", "/opt/larkcore/Larkcore", "larkcore", "Larkcore"};
};

TEST_F(InstallerWithStubs, InstallsEnablesStartsAndUninstallKeepsTheData) {
  Result r = run(install);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(calls(),
            "adduser --system --group --home /var/lib/larkcore --no-create-home larkcore\n"
            "systemctl daemon-reload\nsystemctl enable larkcore\nsystemctl start larkcore\n");
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 01775u);
  EXPECT_EQ(st.st_uid, 0u);
  EXPECT_EQ(st.st_gid, 47301u);
  ASSERT_EQ(stat((folder + "/manager.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 47301u) << "the service's data is the service's";
  ASSERT_EQ(stat((folder + "/Larkcore").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 0u) << "programs are root's";

  // Again: the unit and the edited settings stay, a damaged program is replaced.
  const std::string unit = root + "/etc/systemd/system/larkcore.service";
  ASSERT_TRUE(WriteFileAtomic(unit, "edited unit\n"));
  ASSERT_TRUE(WriteFileAtomic(folder + "/manager.ini", "[Main]\r\nLanguage=English\r\n"));
  ASSERT_TRUE(WriteFileAtomic(folder + "/Larktray", "broken"));
  r = run(install);
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(ReadFile(unit), "edited unit\n");
  EXPECT_EQ(ReadFile(folder + "/manager.ini"), "[Main]\r\nLanguage=English\r\n");
  EXPECT_EQ(ReadFile(folder + "/Larktray"), ReadFile(test::BuiltProgram("tray/Larktray")));
  EXPECT_EQ(calls().find("adduser"), std::string::npos) << "the account exists";

  r = run(install, "start");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.err.find("did not start"), std::string::npos) << r.err;
  calls();

  ASSERT_TRUE(WriteFileAtomic(unit, ""));
  unlink(unit.c_str());
  ASSERT_EQ(run(install).code, 0);
  calls();
  r = run({"uninstall", "larkcore"});
  ASSERT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(calls(), "systemctl disable --now larkcore\nsystemctl daemon-reload\n");
  EXPECT_FALSE(FileExists(unit));
  EXPECT_FALSE(FileExists(folder + "/Larkcore"));
  EXPECT_FALSE(FileExists(folder + "/Larkinstall.manifest"));
  EXPECT_TRUE(FileExists(folder + "/manager.ini"));
  EXPECT_TRUE(FileExists(folder + "/English/language.ini"));
  EXPECT_NE(r.err.find("kept " + folder), std::string::npos) << r.err;
}

TEST(LarkcoreUnit, VerifiesWithEveryHardeningDirective) {
  if (system("command -v systemd-analyze >/dev/null") != 0) GTEST_SKIP() << "no systemd-analyze";
  test::TempDir tmp;
  const std::string folder = tmp.file("lark folder");
  MakeDirs(folder);
  ASSERT_TRUE(
      WriteFileAtomic(folder + "/Larkcore", "#!/bin/sh\n", nullptr, 0755, static_cast<gid_t>(-1)));
  ASSERT_TRUE(WriteFileAtomic(folder + "/manager.ini",
                              "[History]\r\nDirectory=D:\\hist\r\n[Backup]\r\n"
                              "UPSLog.Directory=/srv/lark/ups/\r\nOPLog.Directory=" +
                                  folder + "/oplog\r\n"));
  InstallerArgs a;
  a.program = folder + "/Larkcore";
  a.displayName = "Larkcore 100% up";
  auto templ = ReadFile(test::SourcePath("service/larkcore.service"));
  ASSERT_TRUE(templ);
  std::string unit = UnitText(*templ, a, FoldersNamedOutside(folder + "/manager.ini", folder));
  for (const std::string& line : std::vector<std::string>{
           "Type=notify", "User=larkcore", "Group=larkcore", "SupplementaryGroups=dialout",
           "StateDirectory=larkcore", "StateDirectoryMode=2770",
           "Environment=LARK_STATE_DIR=/var/lib/larkcore",
           "Environment=\"LARK_INSTALL_DIR=" + folder + "\"", "ProtectSystem=strict",
           "ReadWritePaths=\"" + folder + "\" \"/srv/lark/ups\"", "NoNewPrivileges=yes",
           "PrivateTmp=yes", "Restart=on-failure", "ExecStart=\"" + folder + "/Larkcore\"",
           "Description=Larkcore 100%% up"}) {
    EXPECT_NE(unit.find(line + "\n"), std::string::npos) << line << "\n" << unit;
  }
  ASSERT_TRUE(WriteFileAtomic(tmp.file("larkcore.service"), unit));
  std::string cmd = "systemd-analyze verify --man=no " + Quote(tmp.file("larkcore.service")) +
                    " >" + Quote(tmp.file("out")) + " 2>&1";
  EXPECT_EQ(system(cmd.c_str()), 0) << ReadFile(tmp.file("out")).value_or("");
}

TEST(LarkinstallManifest, LinesAndBadLines) {
  auto good =
      ParseManifest("program\t0755\tLarkcore\t/b/Larkcore\n\ndata\t0644\tEnglish/x.ini\tx\n");
  ASSERT_TRUE(good);
  ASSERT_EQ(good->size(), 2u);
  EXPECT_EQ((*good)[1].kind, ManifestEntry::kData);
  EXPECT_EQ((*good)[1].mode, 0644u);
  EXPECT_EQ((*good)[1].name, "English/x.ini");
  for (const char* bad :
       {"program\t0755\tLarkcore\n", "tool\t0755\tLarkcore\ts\n", "data\t0958\tx\ts\n",
        "data\t\tx\ts\n", "data\t01777\tx\ts\n", "data\t0644\t/etc/x\ts\n",
        "data\t0644\ta/../../x\ts\n", "data\t0644\ta//x\ts\n", "data\t0644\tx\t\n"}) {
    EXPECT_EQ(ParseManifest(bad), std::nullopt) << bad;
  }
}

TEST(LarkcoreUnit, ExecWordsAreQuotedForSystemd) {
  const std::pair<const char*, const char*> cases[] = {
      {"/opt/larkcore/Larkcore", "\"/opt/larkcore/Larkcore\""},
      {"/opt/lark core/Larkcore", "\"/opt/lark core/Larkcore\""},
      {"/opt/a\"b\\c/x", "\"/opt/a\\\"b\\\\c/x\""},
      {"/opt/100%/$HOME", "\"/opt/100%%/$$HOME\""},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(QuoteExecWord(in), out) << in;
}

}  // namespace
}  // namespace lark
