// The Event.log download: pieces of 32768 bytes until a shorter one, the file
// replacing the last copy only when whole, and pieces whose header does not
// match what was asked refused.
#include "console/dialogs/logs/event_log_download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// The service's reply to 11/5 for `piece` of a file, at `offset`.
std::vector<uint8_t> Reply(uint32_t offset, const std::string& piece, int64_t length = -1) {
  std::vector<uint8_t> f(kEventLogPieceReplyOff, 0);
  f[0] = 1;
  f[1] = 2;
  f[4] = 11;
  f[5] = 21;
  f[6] = 5;
  PutChunkHeader(f, 7,
                 FileChunkHeader{offset, static_cast<uint32_t>(length < 0 ? piece.size() : length),
                                 "Demo\\Event.log"});
  f.insert(f.end(), piece.begin(), piece.end());
  return f;
}

std::string Bytes(size_t n, char seed) {
  std::string s(n, seed);
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i % 7);
  return s;
}

using Step = EventLogDownload::Step;

TEST(EventLogDownload, PiecesUntilAShorterOne) {
  for (const size_t size : {size_t{0}, size_t{32767}, size_t{32768}, size_t{65541}}) {
    SCOPED_TRACE(size);
    test::TempDir dir;
    const std::string monitor = dir.file("Monitor");
    EventLogDownload d(monitor);
    const auto first = d.Start("Demo");
    const FileChunkHeader asked{0, kEventLogPiece, "Demo\\Event.log"};
    std::array<uint8_t, kFileChunkHeaderSize> golden{};
    PutChunkHeader(golden, 0, asked);
    EXPECT_EQ(first, golden);

    const std::string file = Bytes(size, 'a');
    size_t requests = 1;
    for (uint32_t offset = 0;; offset += kEventLogPiece) {
      const std::string piece = file.substr(std::min<size_t>(offset, size), kEventLogPiece);
      const Step step = d.OnReply(Reply(offset, piece));
      if (step != Step::kAskNext) {
        EXPECT_EQ(step, Step::kComplete);
        break;
      }
      ++requests;
      EXPECT_EQ(u32At(d.nextRequest(), 0), offset + kEventLogPiece);
    }
    // An exact multiple of the piece needs one more request, answered empty.
    EXPECT_EQ(requests, size / kEventLogPiece + 1);
    EXPECT_EQ(ReadFile(d.path()), file);
    EXPECT_FALSE(FileExists(d.path() + ".part"));
  }
}

TEST(EventLogDownload, BadPiecesAndFailedWritesKeepTheLastCopy) {
  const std::string piece(100, 'p');
  struct Case {
    const char* name;
    std::vector<uint8_t> reply;
  };
  std::vector<uint8_t> cut = Reply(0, "");
  cut.pop_back();
  const Case cases[] = {
      {"another offset", Reply(32768, piece)},
      {"more bytes counted than carried", Reply(0, piece, 101)},
      {"fewer bytes counted than carried", Reply(0, piece, 99)},
      {"more than a piece", Reply(0, std::string(kEventLogPiece + 1, 'x'))},
      {"a header cut short", cut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempDir dir;
    EventLogDownload d(dir.file("Monitor"));
    ASSERT_TRUE(MakeDirs(dir.file("Monitor")));
    ASSERT_TRUE(WriteFileAtomic(d.path(), "last copy"));
    d.Start("Demo");
    EXPECT_EQ(d.OnReply(c.reply), Step::kFailed);
    EXPECT_EQ(ReadFile(d.path()), "last copy");
  }

  // A Monitor folder that cannot be written: the download fails.
  test::TempDir dir;
  ASSERT_TRUE(WriteFileAtomic(dir.file("Monitor"), "a file, not a folder"));
  EventLogDownload d(dir.file("Monitor"));
  d.Start("Demo");
  EXPECT_EQ(d.OnReply(Reply(0, piece)), Step::kFailed);

  // A failure after the first piece leaves the last copy as it was.
  test::TempDir again;
  EventLogDownload e(again.file("Monitor"));
  ASSERT_TRUE(MakeDirs(again.file("Monitor")));
  ASSERT_TRUE(WriteFileAtomic(e.path(), "last copy"));
  e.Start("Demo");
  ASSERT_EQ(e.OnReply(Reply(0, std::string(kEventLogPiece, 'n'))), Step::kAskNext);
  EXPECT_EQ(e.OnReply(Reply(0, piece)), Step::kFailed);
  EXPECT_EQ(ReadFile(e.path()), "last copy");
  EXPECT_FALSE(FileExists(e.path() + ".part"));

  // Whole pieces for ever: the file stops at its bound, the piece file gone.
  EventLogDownload endless(again.file("Monitor"));
  endless.Start("Demo");
  const std::string whole(kEventLogPiece, 'w');
  uint64_t pieces = 0;
  Step step = Step::kAskNext;
  for (uint32_t offset = 0;
       step == Step::kAskNext && pieces <= kEventLogDownloadMax / kEventLogPiece + 1;
       offset += kEventLogPiece, ++pieces)
    step = endless.OnReply(Reply(offset, whole));
  EXPECT_EQ(step, Step::kFailed);
  EXPECT_EQ(pieces, kEventLogDownloadMax / kEventLogPiece + 1);
  EXPECT_EQ(ReadFile(e.path()), "last copy");
  EXPECT_FALSE(FileExists(e.path() + ".part"));
}

}  // namespace
}  // namespace lark
