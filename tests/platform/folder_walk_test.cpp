#include "platform/folder_walk.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// Below a trusted root, every way the service makes, writes, reads or removes
// a file refuses a link at any folder on the way, and the link is told; the
// linked folder's files stay as they were and nothing new appears there.
TEST(FolderWalk, NoLinkBelowATrustedRootIsFollowed) {
  test::TempDir dir;
  const std::string root = dir.file("history");
  SetTrustedRoots({dir.file("unrelated"), root});
  std::vector<std::string> told;
  SetLinkRefusedHook([&](const std::string& link) { told.push_back(link); });

  const struct {
    const char* what;
    std::function<bool(const std::string&)> write;
  } writes[] = {
      {"open, making folders",
       [](const std::string& p) {
         const int fd = OpenRegularFileIn(p, O_RDWR | O_CREAT, 0644, true);
         if (fd >= 0) close(fd);
         return fd >= 0;
       }},
      {"read", [](const std::string& p) { return ReadRegularFile(p).has_value(); }},
      {"whole-file write", [](const std::string& p) { return WriteFileAtomic(p, "ours"); }},
      {"folders", [](const std::string& p) { return MakeDirs(p + ".d/x"); }},
      {"remove", [](const std::string& p) { return RemoveRegularFile(p); }},
  };
  // The link, and the rest of the way from it to the file: another user's
  // file that a followed link would reach.
  const struct {
    const char* link;
    const char* rest;
  } plantings[] = {{"Map", "7/2026/12.DAT"}, {"Map/7", "2026/12.DAT"}, {"Map/7/2026", "12.DAT"}};
  int n = 0;
  for (const auto& p : plantings) {
    const std::string theirs = dir.file("theirs" + std::to_string(++n));
    const std::string file = theirs + "/" + p.rest;
    ASSERT_TRUE(MakeDirs(file.substr(0, file.rfind('/'))));
    ASSERT_TRUE(WriteFileAtomic(file, "theirs"));
    const std::string link = root + "/" + p.link;
    ASSERT_TRUE(MakeDirs(link.substr(0, link.rfind('/'))));
    ASSERT_EQ(symlink(theirs.c_str(), link.c_str()), 0);
    for (const auto& w : writes) {
      told.clear();
      EXPECT_FALSE(w.write(link + "/" + p.rest)) << p.link << ": " << w.what;
      EXPECT_EQ(told, std::vector<std::string>{link}) << p.link << ": " << w.what;
    }
    EXPECT_EQ(ReadFile(file), "theirs") << p.link;
    size_t entries = 0;
    for (auto it = std::filesystem::recursive_directory_iterator(theirs);
         it != std::filesystem::recursive_directory_iterator(); ++it)
      ++entries;
    EXPECT_EQ(entries, static_cast<size_t>(std::count(p.rest, p.rest + strlen(p.rest), '/') + 1))
        << p.link;
    std::filesystem::remove_all(root + "/Map");
  }

  // Plain folders: the missing ones are made one at a time; ".." is refused.
  told.clear();
  const std::string file = root + "/Map/7/2026/12.DAT";
  const int fd = OpenRegularFileIn(file, O_RDWR | O_CREAT, 0644, true);
  EXPECT_GE(fd, 0);
  if (fd >= 0) close(fd);
  EXPECT_TRUE(WriteFileAtomic(file, "ours"));
  EXPECT_EQ(ReadRegularFile(file), "ours");
  EXPECT_TRUE(RemoveRegularFile(file));
  EXPECT_FALSE(MakeDirs(root + "/Map/../escape"));
  EXPECT_FALSE(FileExists(root + "/escape"));
  EXPECT_TRUE(told.empty());
  SetLinkRefusedHook({});
  SetTrustedRoots({});
}

}  // namespace
}  // namespace lark
