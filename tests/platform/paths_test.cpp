#include "platform/paths.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "platform/key_store.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

TEST(Paths, SafeNames) {
  struct Row {
    std::string name;
    bool safe;
  };
  const std::vector<Row> rows = {
      {"Map1.UMF", true},
      {"Event log.txt", true},
      {"é.ini", true},
      {"", false},
      {".", false},
      {"..", false},
      {"a/b", false},
      {"/etc", false},
      {"..\\x", false},
      {"C:x", false},
      {"C:", false},
      {"a\nb", false},
      {"tab\t", false},
      {std::string("nul\0x", 5), false},
      {"del\x7f", false},
      {std::string(255, 'a'), true},
      {std::string(256, 'a'), false},
  };
  for (const Row& r : rows) EXPECT_EQ(IsSafeName(r.name), r.safe) << r.name;
  EXPECT_FALSE(IsSafeName("abcdef", 5));
}

// Titles typed by operators name report and log files: they stay in their folder.
TEST(Paths, TitlesAsFileNamesStayInTheirFolder) {
  const std::pair<const char*, const char*> cases[] = {{"../x", "_._x"},       {"a\\b/c", "a_b_c"},
                                                       {".hidden", "_hidden"}, {"", "_"},
                                                       {"t\tab\n", "t_ab_"},   {"UPS 1", "UPS 1"}};
  for (auto [title, name] : cases) EXPECT_EQ(ReportFileTitle(title), name) << title;
}

TEST(Paths, JoinAndSlash) {
  EXPECT_EQ(ToSlash("C:\\Lark\\Maps\\a.UMF"), "C:/Lark/Maps/a.UMF");
  EXPECT_EQ(JoinPath("/opt/lark/", "/x"), "/opt/lark/x");
  EXPECT_EQ(JoinPath("/opt/lark", "x"), "/opt/lark/x");
  EXPECT_EQ(JoinPath("/", "x"), "/x");
  EXPECT_EQ(JoinPath("", "x"), "x");
}

TEST(Paths, LookupWithoutCase) {
  test::TempDir tmp;
  ASSERT_TRUE(MakeDirs(tmp.file("English/Sub")));
  ASSERT_TRUE(WriteFileAtomic(tmp.file("Manager.ini"), "x"));
  ASSERT_TRUE(WriteFileAtomic(tmp.file("English/Language.ini"), "x"));
  ASSERT_TRUE(WriteFileAtomic(tmp.file("map.umf"), "lower"));
  ASSERT_TRUE(WriteFileAtomic(tmp.file("Map.UMF"), "exact"));

  EXPECT_EQ(FindNoCase(tmp.path(), "manager.INI"), tmp.file("Manager.ini"));
  EXPECT_EQ(FindNoCase(tmp.path(), "Map.UMF"), tmp.file("Map.UMF")) << "exact name wins";
  EXPECT_EQ(FindNoCase(tmp.path(), "english\\LANGUAGE.ini"), tmp.file("English/Language.ini"));
  EXPECT_EQ(FindNoCase(tmp.path(), "nothing.ini"), std::nullopt);
  EXPECT_EQ(FindNoCase(tmp.path() + "/none", "x"), std::nullopt);
  // A new file lands in the folder that exists under another case.
  EXPECT_EQ(ResolveNoCase(tmp.path(), "ENGLISH/sub/New.ini"), tmp.file("English/Sub/New.ini"));
  EXPECT_EQ(ResolveNoCase(tmp.path(), "new.ini"), tmp.file("new.ini"));
}

TEST(Paths, FilesWrittenWhole) {
  test::TempDir tmp;
  std::string path = tmp.file("a/b/c.dat");
  EXPECT_FALSE(WriteFileAtomic(path, "x")) << "no folder";
  ASSERT_TRUE(MakeDirs(tmp.file("a/b")));
  ASSERT_TRUE(WriteFileAtomic(path, "first"));
  ASSERT_EQ(chmod(path.c_str(), 0600), 0);
  EXPECT_FALSE(WriteFileAtomic(path, "second", [] { return false; }));
  EXPECT_EQ(ReadFile(path), "first");
  ASSERT_TRUE(WriteFileAtomic(path, std::string(100000, 'z')));
  EXPECT_EQ(ReadFile(path)->size(), 100000u);
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "mode kept";
  EXPECT_EQ(ReadFile(tmp.file("missing")), std::nullopt);
}

// Names planted in a folder others can write: a link to a file of someone
// else, a FIFO. Nothing goes through them, nothing waits on them.
TEST(Paths, RegularFilesOnlyAreOpened) {
  test::TempDir dir;
  ASSERT_TRUE(WriteFileAtomic(dir.file("victim"), "keep\n"));
  ASSERT_EQ(chmod(dir.file("victim").c_str(), 04755), 0);
  ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file("link").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0666), 0);
  ASSERT_TRUE(WriteFileAtomic(dir.file("plain"), "old"));
  struct Case {
    const char* name;
    int flags;
    bool opens;
  } cases[] = {
      {"link", O_RDONLY, false},          {"link", O_WRONLY | O_CREAT | O_TRUNC, false},
      {"link", O_RDWR | O_APPEND, false}, {"fifo", O_RDONLY, false},
      {"fifo", O_RDWR | O_CREAT, false},  {"plain", O_RDWR | O_CREAT, true},
      {"new", O_WRONLY | O_CREAT, true},
  };
  for (const Case& c : cases) {
    const int fd = OpenRegularFile(dir.file(c.name), c.flags);
    EXPECT_EQ(fd >= 0, c.opens) << c.name << " " << c.flags;
    if (fd >= 0) close(fd);
  }
  FILE* f = OpenRegularStream(dir.file("link"), "wb");
  EXPECT_EQ(f, nullptr);
  if (f != nullptr) fclose(f);
  EXPECT_EQ(OpenRegularStream(dir.file("fifo"), "rb"), nullptr);
  EXPECT_EQ(ReadRegularFile(dir.file("link")), std::nullopt);
  EXPECT_EQ(ReadRegularFile(dir.file("plain")), "old");
  // A whole-file write replaces the link, and takes nothing of the target.
  ASSERT_TRUE(WriteFileAtomic(dir.file("link"), "new"));
  EXPECT_EQ(ReadFile(dir.file("victim")), "keep\n");
  struct stat st {};
  ASSERT_EQ(lstat(dir.file("link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_mode & 07777, 0644u);
}

TEST(Paths, StaleTempFilesOfOurOwnShapeOnlyAreRemoved) {
  test::TempDir tmp;
  // The name a save killed before its rename leaves behind.
  std::string left;
  WriteFileAtomic(tmp.file("Demo.UMF"), "x", [&] {
    for (const auto& e : std::filesystem::directory_iterator(tmp.path())) {
      left = e.path().filename().string();
    }
    return false;
  });
  ASSERT_TRUE(IsAtomicWriteTempName(left)) << left;
  struct Row {
    std::string name;
    bool removed;
  } rows[] = {{left, true},
              {".manager.ini.tmp-a1B2c3", true},
              {"Demo.UMF", false},
              {"Demo.UMF.tmp-a1B2c3", false},  // not ours: no leading dot
              {".Demo.UMF.tmp-a1B2c", false},
              {".Demo.UMF.tmp-a1B2c!", false},
              {".tmp-a1B2c3", false},
              {"Tmp.dat", false}};
  for (const Row& r : rows) ASSERT_TRUE(WriteFileAtomic(tmp.file(r.name), "x")) << r.name;
  ASSERT_TRUE(MakeDirs(tmp.file(".Folder.tmp-abcdef")));
  EXPECT_EQ(RemoveStaleTempFiles(tmp.path()), 2);
  for (const Row& r : rows) EXPECT_EQ(FileExists(tmp.file(r.name)), !r.removed) << r.name;
  EXPECT_TRUE(IsDirectory(tmp.file(".Folder.tmp-abcdef")));
}

TEST(Paths, InstallDirOrder) {
  test::TempDir tmp;
  KeyStore keys(tmp.file("state"));
  const char* saved = getenv("LARK_INSTALL_DIR");
  std::string keep = saved ? saved : "";

  unsetenv("LARK_INSTALL_DIR");
  std::string exeDir = ExecutableDir();
  EXPECT_TRUE(IsDirectory(exeDir));
  EXPECT_TRUE(FileExists(JoinPath(exeDir, "test_platform_paths_test")));
  EXPECT_EQ(InstallDir(keys), exeDir);

  setenv("LARK_INSTALL_DIR", "/opt/lark", 1);
  EXPECT_EQ(InstallDir(keys), "/opt/lark");

  ASSERT_TRUE(keys.write("Main", "Path", "\\srv\\lark\\"));
  EXPECT_EQ(InstallDir(keys), "/srv/lark");

  if (saved) {
    setenv("LARK_INSTALL_DIR", keep.c_str(), 1);
  } else {
    unsetenv("LARK_INSTALL_DIR");
  }
}

}  // namespace
}  // namespace lark
