// Database answers in pages: a page is taken only where it was asked, with the
// first reply's total and its bytes inside the frame; anything else drops
// the result instead of writing outside it or asking the same page forever.
#include "console/link/result_pages.h"

#include <gtest/gtest.h>

#include <vector>

namespace lark {
namespace {

// A reply frame of command 12 carrying `page` and `carried` bytes of `text`
// from the page's offset (bytes past the text are 'x').
std::vector<uint8_t> Reply(const ResultPage& page, size_t carried, const std::string& text) {
  std::vector<uint8_t> f(kResultPieceReplyOff + carried, 'x');
  f[0] = 1;
  f[1] = 2;
  putBe16(f, 2, static_cast<uint16_t>((f.size() - 4) & 0xffff));
  f[4] = 12;
  f[5] = 23;
  f[6] = 12;
  PutResultPage(f, kResultPageReplyOff, page);
  for (size_t i = 0; i < carried && page.offset + i < text.size(); ++i) {
    f[kResultPieceReplyOff + i] = static_cast<uint8_t>(text[page.offset + i]);
  }
  return f;
}

std::string Text(size_t n) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + i % 26);
  return s;
}

using Step = ResultPages::Step;

struct Piece {
  ResultPage page;
  size_t carried;
  Step expect;
};

TEST(ResultPages, PageSequences) {
  const std::string t = Text(4500);
  struct Case {
    const char* name;
    std::vector<Piece> pieces;
  };
  const Case cases[] = {
      {"whole in the first reply", {{{10, 0, 10}, 10, Step::kComplete}}},
      {"empty result", {{{0, 0, 0}, 0, Step::kComplete}}},
      {"three pages",
       {{{4500, 0, 2000}, 2000, Step::kAskNext},
        {{4500, 2000, 2000}, 2000, Step::kAskNext},
        {{4500, 4000, 500}, 500, Step::kComplete}}},
      {"extra bytes after the piece are not part of it", {{{10, 0, 10}, 30, Step::kComplete}}},
      {"an empty page before the total",
       {{{4500, 0, 2000}, 2000, Step::kAskNext}, {{4500, 2000, 0}, 0, Step::kBad}}},
      {"a count past the frame", {{{4500, 0, 2000}, 1999, Step::kBad}}},
      {"one byte a piece", {{{4500, 0, 1}, 1, Step::kBad}}},
      {"a short piece before the last",
       {{{4500, 0, 2000}, 2000, Step::kAskNext}, {{4500, 2000, 1999}, 1999, Step::kBad}}},
      {"a wrong offset",
       {{{4500, 0, 2000}, 2000, Step::kAskNext}, {{4500, 1999, 2000}, 2000, Step::kBad}}},
      {"a first page not at 0", {{{4500, 100, 2000}, 2000, Step::kBad}}},
      {"the total changes",
       {{{4500, 0, 2000}, 2000, Step::kAskNext}, {{9000, 2000, 2000}, 2000, Step::kBad}}},
      {"a page past the total",
       {{{4500, 0, 2000}, 2000, Step::kAskNext}, {{4500, 2000, 2501}, 2501, Step::kBad}}},
      {"a count near 2^32", {{{4500, 0, 0xffffffffu}, 10, Step::kBad}}},
      {"a 6-MB total", {{{6u << 20, 0, 2000}, 2000, Step::kBad}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultPages pages;
    bool first = true;
    for (const Piece& p : c.pieces) {
      const std::vector<uint8_t> frame = Reply(p.page, p.carried, t);
      EXPECT_EQ(first ? pages.First(frame) : pages.Next(frame), p.expect);
      first = false;
    }
    if (c.pieces.back().expect == Step::kComplete) {
      EXPECT_EQ(pages.text(), t.substr(0, c.pieces.front().page.total));
    } else if (c.pieces.back().expect == Step::kBad) {
      EXPECT_TRUE(pages.text().empty());
      // A dropped result takes no further page.
      EXPECT_EQ(pages.Next(Reply({4500, 0, 10}, 10, t)), Step::kBad);
    }
  }
}

TEST(ResultPages, ShortFramesAndPagesWithoutAQueryAreRefused) {
  ResultPages pages;
  const std::vector<uint8_t> whole = Reply({10, 0, 10}, 10, Text(10));
  EXPECT_EQ(pages.Next(whole), Step::kBad);  // no query under way
  const std::vector<uint8_t> cut(whole.begin(), whole.begin() + kResultPieceReplyOff - 1);
  EXPECT_EQ(pages.First(cut), Step::kBad);
  // The largest text the service sends is taken.
  EXPECT_EQ(pages.First(Reply({kResultTextMax, 0, 2000}, 2000, Text(2000))), Step::kAskNext);
}

TEST(ResultPages, NextRequestAsksFromTheEndOfTheLastPage) {
  ResultPages pages;
  ASSERT_EQ(pages.First(Reply({4500, 0, 2000}, 2000, Text(4500))), Step::kAskNext);
  const std::array<uint8_t, 12> golden = {0x94, 0x11, 0, 0, 0xd0, 0x07, 0, 0, 0xd0, 0x07, 0, 0};
  EXPECT_EQ(pages.nextRequest(), golden);  // 4500, 2000, 2000
  ASSERT_EQ(pages.Next(Reply({4500, 2000, 2000}, 2000, Text(4500))), Step::kAskNext);
  EXPECT_EQ(GetResultPage(pages.nextRequest(), 0), (ResultPage{4500, 4000, kResultPieceAsked}));
}

}  // namespace
}  // namespace lark
