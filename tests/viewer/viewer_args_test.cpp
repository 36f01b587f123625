// The viewer's command line: fields as argv, conversions, the refusals that
// exit 2, and the start values per device kind.
#include "viewer/data/viewer_args.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "viewer/data/graph_model.h"

namespace lark {
namespace {

std::vector<std::string> Line(std::vector<std::string> tail = {}) {
  std::vector<std::string> f = {"UPS \"North\" 2", "Demo\\5", "/opt/lark", "12", "/var/hist",
                                "-2147483647",     "3",       "0",         "0",  "0"};
  f.insert(f.end(), tail.begin(), tail.end());
  return f;
}

TEST(ViewerArgsTest, FieldsAndConversions) {
  const ViewerArgs a = *ParseViewerArgs(Line(), nullptr).args;
  EXPECT_EQ(a.title, "UPS \"North\" 2");  // a quote in the title shifts nothing
  EXPECT_EQ(a.mapName, "Demo");
  EXPECT_EQ(a.pathId, 5);
  EXPECT_EQ(a.historyRoot, "/var/hist");
  // Bit 31 of the low number stays in the low half; the high half is its own.
  EXPECT_EQ(a.mask, 0x80000001ull | (3ull << 32));
  EXPECT_FALSE(a.fromDatabase);
  EXPECT_FALSE(a.textFile);
}

TEST(ViewerArgsTest, OptionalDatabaseFields) {
  struct Case {
    std::vector<std::string> tail;
    const char* env;
    bool fromDb;
    std::string account, password;
  } cases[] = {
      {{"7"}, nullptr, false, "", ""},  // ends after the node id: month files
      {{"7", "lark"}, nullptr, true, "", ""},
      {{"7", "", "night shift", "pw 1"}, nullptr, true, "night shift", "pw 1"},
      {{"7", "lark", "ops"}, "from-env", true, "ops", "from-env"},
      {{"7", "lark", "ops", "given"}, "from-env", true, "ops", "given"},
  };
  for (const Case& c : cases) {
    const ViewerArgs a = *ParseViewerArgs(Line(c.tail), c.env).args;
    EXPECT_EQ(a.nodeId, 7);
    EXPECT_EQ(a.fromDatabase, c.fromDb);
    EXPECT_EQ(a.account, c.account);
    EXPECT_EQ(a.password, c.password);
  }
}

TEST(ViewerArgsTest, RefusedLines) {
  auto with = [](size_t i, const std::string& v) {
    auto f = Line();
    f[i] = v;
    return f;
  };
  const std::vector<std::vector<std::string>> bad = {
      {"t", "Demo\\5", "/opt", "12", "/h", "0", "0", "0", "0"},  // too few
      Line({"1", "dsn", "acc", "pw", "extra"}),                  // too many
      with(1, "..\\5"),
      with(1, "Demo"),
      with(1, "Demo\\5x"),
      with(1, "/5"),
      with(1, "a/b\\5"),
      with(1, "Demo\\..\\5"),
      with(1, "Demo\\"),
  };
  for (const auto& f : bad) {
    const ViewerArgsResult r = ParseViewerArgs(f, nullptr);
    EXPECT_FALSE(r.args) << f[1];
    EXPECT_FALSE(r.error.empty());
  }
}

TEST(ViewerArgsTest, DepthAndRoot) {
  struct Case {
    std::string depth, root;
    int want;
    std::string wantRoot;
  } cases[] = {{"6", "/h", 6, "/h"},       {"0", "NONE", 1, "/opt/lark"},
               {"-5", "", 1, "/opt/lark"}, {"99999999999", "C:\\hist", 100, "C:/hist"},
               {"abc", "/h", 1, "/h"},     {"100", "/h", 100, "/h"}};
  for (const Case& c : cases) {
    auto f = Line();
    f[3] = c.depth;
    f[4] = c.root;
    const ViewerArgs a = *ParseViewerArgs(f, nullptr).args;
    EXPECT_EQ(a.historyDepth, c.want) << c.depth;
    EXPECT_EQ(a.historyRoot, c.wantRoot);
  }
}

TEST(ViewerArgsTest, StartValuesPerKind) {
  struct Case {
    int cls, comm, mib;
    std::array<int, 5> params;
    const char* scale;
    bool textFile;
  } cases[] = {
      {2, 0, 7, {0, 1, 2, 3, 4}, "100", true},      {2, 0, 6, {15, 16, 11, 12, 9}, "200", true},
      {2, 0, 1, {1, 10, 13, 34, 36}, "25", false},  {0, 8, 0, {0, 1, 3, 4, 7}, "100", true},
      {0, 9, 0, {0, 1, 1, 3, 3}, "100", true},      {0, 3, 0, {14, 29, 45, 35, 54}, "25", false},
      {3, 0, 0, {1, 16, 19, 47, 48}, "25", false},  {0, 0, 0, {1, 16, 19, 47, 48}, "25", false},
      {5, 0, 0, {-1, -1, -1, -1, -1}, "25", false},
  };
  for (const Case& c : cases) {
    auto f = Line();
    f[5] = "-1";  // every bit
    f[6] = "-1";
    f[7] = std::to_string(c.cls);
    f[8] = std::to_string(c.comm);
    f[9] = std::to_string(c.mib);
    const ViewerArgs a = *ParseViewerArgs(f, nullptr).args;
    GraphViewState s;
    SetDefaultCurves(a, s);
    EXPECT_EQ(s.params, c.params) << c.cls << "/" << c.comm << "/" << c.mib;
    EXPECT_STREQ(kScales[static_cast<size_t>(s.scale)].text, c.scale);
    EXPECT_EQ(a.textFile, c.textFile);
  }
}

TEST(ViewerArgsTest, DefaultParameterWithClearBitIsNone) {
  auto f = Line();
  f[5] = std::to_string((1 << 1) | (1 << 19));
  f[6] = "0";
  GraphViewState s;
  SetDefaultCurves(*ParseViewerArgs(f, nullptr).args, s);
  EXPECT_EQ(s.params, (std::array<int, 5>{1, -1, 19, -1, -1}));
}

}  // namespace
}  // namespace lark
