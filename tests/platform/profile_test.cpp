#include "platform/profile.h"

#include <dirent.h>
#include <gtest/gtest.h>

#include <optional>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

struct Write {
  const char* section;
  const char* key;
  const char* value;
};

struct Read {
  const char* section;
  const char* key;
  const char* def;
  size_t size;
  const char* want;
};

struct Case {
  const char* name;
  std::optional<std::string> before;  // nullopt: no file yet
  std::vector<Write> writes;          // applied as one batch, saved once
  std::optional<std::string> after;   // nullopt: file unchanged
  std::vector<Read> reads;            // checked on the file as it ends up
  bool failBeforeRename = false;
};

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  while (dirent* e = readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  closedir(d);
  return names;
}

TEST(Profile, WindowsProfileSemantics) {
  const std::vector<Case> cases = {
      {"lookup without case",
       "[Main]\r\nLanguage=English\r\n",
       {},
       std::nullopt,
       {{"main", "LANGUAGE", "x", 64, "English"}, {"MAIN", "language", "x", 64, "English"}}},
      {"first section and first key win",
       "[A]\nk=1\nk=2\n[a]\nk=3\nj=4\n",
       {},
       std::nullopt,
       {{"A", "k", "d", 64, "1"}, {"a", "j", "d", 64, "d"}}},
      {"values trimmed, one pair of quotes dropped, comments are not keys",
       "[S]\n \tKey \t=  \"a b\" \t\nq='x'\nhalf=\"x\n;c=1\nnoequals\n",
       {},
       std::nullopt,
       {{"S", "key", "d", 64, "a b"},
        {"S", "q", "d", 64, "x"},
        {"S", "half", "d", 64, "\"x"},
        {"S", ";c", "d", 64, "d"},
        {"S", "noequals", "d", 64, "d"}}},
      {"reads cut at size - 1, default too",
       "[S]\nk=abcdef\n",
       {},
       std::nullopt,
       {{"S", "k", "", 4, "abc"},
        {"S", "k", "", 1, ""},
        {"S", "k", "", 0, ""},
        {"S", "none", "defdef", 3, "de"}}},
      {"replace in place keeps order and every other line",
       "; head\r\n[A]\r\nx=1\r\n; note\r\nK = old\r\ny=2\r\n\r\n[B]\r\nk=3\r\n",
       {{"a", "k", "new"}, {"B", "K", "4"}},
       "; head\r\n[A]\r\nx=1\r\n; note\r\nK=new\r\ny=2\r\n\r\n[B]\r\nk=4\r\n",
       {{"A", "k", "", 64, "new"}}},
      {"missing key goes after its section's last key, before blank lines",
       "[A]\r\nx=1\r\n; trailing\r\n\r\n[B]\r\nz=3\r\n",
       {{"A", "k", "v"}, {"b", "w", "5"}},
       "[A]\r\nx=1\r\nk=v\r\n; trailing\r\n\r\n[B]\r\nz=3\r\nw=5\r\n",
       {{"A", "k", "", 64, "v"}, {"B", "w", "", 64, "5"}}},
      {"missing section added at the end",
       "[A]\r\nx=1\r\n",
       {{"New", "k", "v"}, {"new", "j", "w"}},
       "[A]\r\nx=1\r\n[New]\r\nk=v\r\nj=w\r\n",
       {{"NEW", "J", "", 64, "w"}}},
      {"LF file stays LF; a missing final newline is fine",
       "[A]\nx=1",
       {{"A", "y", "2"}},
       "[A]\nx=1\ny=2\n",
       {{"A", "x", "", 64, "1"}}},
      {"new file is CRLF",
       std::nullopt,
       {{"S", "k", "v"}},
       "[S]\r\nk=v\r\n",
       {{"S", "k", "", 64, "v"}}},
      {"a value cannot forge lines; bad names are not written",
       "[A]\r\n",
       {{"A", "k", "v\r\n[Control]\r\nPassword=x"}, {"A", "a=b", "1"}, {"x]y", "k", "1"}},
       "[A]\r\nk=v\r\n",
       {{"Control", "Password", "none", 64, "none"}}},
      {"a write interrupted before the rename leaves the old file",
       "[A]\r\nx=1\r\n",
       {{"A", "x", "2"}},
       std::nullopt,
       {{"A", "x", "", 64, "1"}},
       true},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    std::string path = dir.file("manager.ini");
    if (c.before) {
      ASSERT_TRUE(WriteFileAtomic(path, *c.before));
    }

    Profile p(path);
    if (c.failBeforeRename) p.setBeforeRenameHook([] { return false; });
    for (const Write& w : c.writes) p.setString(w.section, w.key, w.value);
    EXPECT_EQ(p.save(), !c.failBeforeRename);

    auto after = ReadFile(path);
    if (c.after) {
      ASSERT_TRUE(after);
      EXPECT_EQ(*after, *c.after);
    } else {
      EXPECT_EQ(after, c.before);
    }
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"manager.ini"}) << "temp file left";

    Profile reread(path);
    for (const Read& r : c.reads) {
      EXPECT_EQ(reread.getString(r.section, r.key, r.def, r.size), r.want)
          << r.section << "/" << r.key;
    }
  }
}

TEST(Profile, GetIntLikeTheProfileReader) {
  Profile p;
  p.loadText("[N]\na=12abc\nb= -5 \nc=abc\nd=\ne=+7\nf=4294967297\n");
  EXPECT_EQ(p.getInt("n", "a", 9), 12);
  EXPECT_EQ(p.getInt("N", "b", 9), -5);
  EXPECT_EQ(p.getInt("N", "c", 9), 0);  // present, not a number
  EXPECT_EQ(p.getInt("N", "d", 9), 9);  // empty reads as missing
  EXPECT_EQ(p.getInt("N", "e", 9), 7);
  EXPECT_EQ(p.getInt("N", "f", 9), 1);  // wraps at 32 bits
  EXPECT_EQ(p.getInt("N", "none", 9), 9);
  EXPECT_EQ(p.getInt("none", "a", 9), 9);
}

TEST(Profile, ListRemoveAndClear) {
  Profile p;
  p.loadText("[A]\r\nx=1\r\nX=2\r\ny=3\r\n[B]\r\nz=1\r\n[a]\r\nw=1\r\n[C]\r\nc=1\r\n");
  EXPECT_EQ(p.sectionNames(), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(p.keyNames("a"), (std::vector<std::string>{"x", "y"}));
  EXPECT_TRUE(p.hasKey("b", "Z"));
  EXPECT_FALSE(p.hasKey("b", "x"));

  p.removeKey("a", "X");  // the first one only
  EXPECT_EQ(p.getString("A", "x", "", 64), "2");
  p.removeSection("b");
  p.clearSection("C");
  p.setInt("C", "n", -42);
  EXPECT_TRUE(p.dirty());
  EXPECT_EQ(p.text(), "[A]\r\nX=2\r\ny=3\r\n[a]\r\nw=1\r\n[C]\r\nn=-42\r\n");
}

TEST(Profile, LookupsFollowEveryKindOfWrite) {
  test::TempDir dir;
  Profile p(dir.file("big.ini"));
  std::string text;
  for (int i = 0; i < 300; ++i)
    text += "[ID" + std::to_string(i) + "]\nTitle=T" + std::to_string(i) + "\n";
  p.loadText(text);
  EXPECT_EQ(p.getString("id150", "title", "", 64), "T150");

  p.setString("ID10", "Extra", "e");  // a line inserted mid-file
  p.setString("ID299", "Last", "l");  // appended at the end
  p.setString("New", "K", "n");       // a section appended
  p.removeKey("ID20", "Title");
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "before save" : "after save");
    EXPECT_EQ(p.getString("ID10", "extra", "", 64), "e");
    EXPECT_EQ(p.getString("ID11", "Title", "", 64), "T11");
    EXPECT_EQ(p.getString("id299", "LAST", "", 64), "l");
    EXPECT_EQ(p.getString("new", "k", "", 64), "n");
    EXPECT_EQ(p.getString("ID20", "Title", "gone", 64), "gone");
    EXPECT_EQ(p.getString("ID21", "Title", "", 64), "T21");
    ASSERT_TRUE(p.save());
  }
}

TEST(Profile, BomKeptAndUnreadableFileNeverReplaced) {
  test::TempDir dir;
  std::string path = dir.file("lang.ini");
  ASSERT_TRUE(WriteFileAtomic(path, "\xEF\xBB\xBF[Main]\nk=v\n"));
  Profile p(path);
  EXPECT_EQ(p.getString("main", "k", "", 64), "v");
  p.setString("Main", "j", "w");
  ASSERT_TRUE(p.save());
  EXPECT_EQ(ReadFile(path), "\xEF\xBB\xBF[Main]\nk=v\nj=w\n");

  // A path that exists but cannot be read as a file: the write is refused.
  std::string folder = dir.file("folder.ini");
  ASSERT_TRUE(MakeDirs(folder));
  EXPECT_FALSE(WriteProfileString(folder, "A", "k", "v"));
  EXPECT_TRUE(IsDirectory(folder));

  EXPECT_TRUE(WriteProfileString(dir.file("one.ini"), "A", "k", "7"));
  EXPECT_EQ(ReadProfileInt(dir.file("one.ini"), "a", "K", 0), 7);
  EXPECT_EQ(ReadProfileString(dir.file("missing.ini"), "a", "k", "def", 64), "def");
}

}  // namespace
}  // namespace lark
