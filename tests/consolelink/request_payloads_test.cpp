// Dialog request payloads: each row's shape, refusals that queue nothing, the
// schedule and settings senders, the typed map names, and the upload
// reader on files that are not plain files.
#include "console/link/request_payloads.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "console/link/service_link.h"
#include "console/link/upload_reader.h"
#include "linkserver/link_transfer.h"
#include "platform/paths.h"
#include "tests/support/fake_reactor.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

std::vector<uint8_t> Bytes0(size_t n) { return std::vector<uint8_t>(n, 'x'); }
std::vector<uint8_t> Text(size_t chars) {
  auto v = Bytes0(chars);
  v.push_back(0);
  return v;
}
std::vector<uint8_t> Upload(uint32_t length, size_t data) {
  std::vector<uint8_t> v(kFileChunkHeaderSize + data, 0);
  PutChunkHeader(v, 0, FileChunkHeader{0, length, "a.bmp"});
  return v;
}

TEST(RequestPayloads, EachRowTakesItsShapeOnly) {
  struct Case {
    uint8_t command, sub;
    std::vector<uint8_t> payload;
    bool fits;
  } cases[] = {
      {2, 0, {}, true},
      {2, 0, {1}, false},
      {3, 0, TextPayload("Demo.UMF"), true},
      {3, 0, Bytes0(8), false},              // no terminating zero
      {3, 0, {'a', 0, 'b', 0}, false},        // a zero inside
      {4, 0, Bytes0(264), true},
      {4, 0, Bytes0(263), false},
      {8, 1, Bytes0(256), true},
      {11, 4, TextPayload("select"), true},
      {11, 6, Bytes0(20), true},
      {11, 3, {}, false},                     // not sent
      {12, 4, Bytes0(906 + 68), true},
      {12, 4, Bytes0(906), false},
      {12, 13, TextPayload("x"), true},
      {12, 17, {}, false},
      {13, 0, IdPayload(0x1234), true},
      {13, 0, {}, false},
      {14, 2, IdPayload(1, Bytes0(7616 + 8)), true},
      {14, 4, IdPayload(1, Bytes0(2406)), true},
      {14, 6, IdPayload(1, Bytes0(8)), true},
      {14, 8, IdPayload(1), false},
      {15, 0, IdPayload(1, Text(7616 + 4)), true},
      {15, 0, IdPayload(1, Bytes0(7616)), false},
      {18, 1, IdPayload(1), true},
      {18, 2, IdPayload(1), false},
      {19, 1, Bytes0(8068), true},
      {19, 0, Bytes0(8068), false},
      {20, 1, Bytes0(12792), true},
      {20, 2, {}, true},
      {21, 1, Bytes0(43488), true},
      {21, 9, Bytes0(62816), true},
      {21, 21, Bytes0(31408), true},
      {21, 3, Bytes0(43488), false},
      {21, 31, Bytes0(8068), true},
      {21, 33, Bytes0(4), true},
      {21, 23, {}, false},
      {22, 2, Bytes0(32), true},
      {22, 3, {}, false},
      {24, 2, Bytes0(32), true},
      {24, 2, TextPayload("secret"), false},  // the service reads a 32-byte field
      {24, 3, {}, false},
      {25, 3, {}, true},
      {25, 4, Bytes0(20), true},
      {26, 0, Bytes0(44), true},
      {31, 0, {}, true},
      {31, 1, Bytes0(264), true},
      {32, 0, Upload(1000, 1000), true},
      {32, 0, Upload(1000, 999), false},
      {32, 0, Upload(40000, 40000), false},   // over one chunk
      {35, 0, {}, false},
      {0, 0, {}, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RequestPayloadFits(c.command, c.sub, c.payload), c.fits)
        << int(c.command) << "/" << int(c.sub) << " with " << c.payload.size() << " bytes";
}

struct LinkFixture {
  test::TempDir dir;
  test::FakeReactor reactor;
  FakeClock clock{1000};
  DeviceTree tree;
  LinkShell shell;
  ServiceLink link{reactor, clock, tree, shell, dir.path(), [] { return 0; }};
};

TEST(RequestPayloads, RefusedRequestsQueueNothingAndDropTheirTimer) {
  LinkFixture f;
  EXPECT_FALSE(f.link.sendServiceRequest(500, kLinkCmdEventLog, 3, 10000, {}));
  EXPECT_EQ(f.link.queues().count(3), 0);
  EXPECT_EQ(f.reactor.timers.count(kTimerReply), 0u);
  EXPECT_FALSE(f.link.sendScheduleRequest(0, 5000, Bytes0(kScheduleBlockBytes)));
  EXPECT_FALSE(f.link.sendScheduleRequest(1, 5000, Bytes0(kScheduleBlockBytes - 1)));
  EXPECT_FALSE(f.link.sendSettingsRequest(0, 5000, Bytes0(kDeviceSettingsBytes + 1)));
  EXPECT_EQ(f.link.queues().count(3), 0);

  ASSERT_TRUE(f.link.sendScheduleRequest(1, 5000, Bytes0(kScheduleBlockBytes)));
  ASSERT_TRUE(f.link.sendSettingsRequest(7, 5000, Bytes0(kDeviceSettingsBytes)));
  ASSERT_TRUE(f.link.sendServiceRequest(500, kLinkCmdGetMapList, 0, 10000, {}));
  EXPECT_EQ(f.link.queues().count(3), 3);
  EXPECT_EQ(f.link.queues().peek(3)->data.size(), 6u + kScheduleBlockBytes);
  EXPECT_EQ(f.reactor.timers.count(kTimerReply), 1u);
}

TEST(RequestPayloads, MapNamesAsSentOrRefused) {
  struct Case {
    std::string typed;
    std::optional<std::string> sent;
  };
  const Case cases[] = {{"a", "a.UMF"},
                        {"a.b", "a.b"},
                        {std::string(251, 'n'), std::string(251, 'n') + ".UMF"},
                        {std::string(252, 'n'), std::nullopt},  // 256 bytes: no room for the terminator
                        {"..\\x", std::nullopt},
                        {"a/b", std::nullopt},
                        {"a\\b", std::nullopt},
                        {".hidden", std::nullopt},
                        {"a\tb", std::nullopt},
                        {std::string("a\0b", 3), std::nullopt},
                        {"", std::nullopt}};
  for (const Case& c : cases) EXPECT_EQ(MapFileName(c.typed), c.sent) << c.typed;
  EXPECT_EQ(MapNameBuffer(std::string(300, 'n')), [] {
    std::vector<uint8_t> b(kMapNameBufferBytes, 'n');
    b.back() = 0;  // the name cut before the terminator
    return b;
  }());
}

TEST(UploadReader, ReadsPlainFilesOnlyAndEndsWithAnEmptyChunk) {
  test::TempDir dir;
  const std::string file = dir.file("picture.bmp");
  WriteFileAtomic(file, std::string(1000, 'p'));
  const std::string big = dir.file("big.bmp");
  WriteFileAtomic(big, std::string(kUploadChunkMax, 'b'));
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::vector<uint8_t> buf(kUploadChunkMax);

  struct Step {
    std::string path;
    bool cont;
    uint32_t ask;
    bool ok;
    uint32_t got;
  } steps[] = {
      {file, false, 4096, true, 1000},
      {file, true, 4096, true, 0},
      {file, false, 100, true, 100},  // starts again
      {file, true, 4096, true, 900},
      {big, false, kUploadChunkMax, true, kUploadChunkMax},
      {big, true, kUploadChunkMax, true, 0},
      {fifo, false, 4096, false, 0},         // would block for a writer
      {"/dev/zero", false, 4096, false, 0},  // would never end
      {dir.path(), false, 4096, false, 0},
      {dir.file("missing"), false, 4096, false, 0},
      {file, false, kUploadChunkMax + 1, false, 0},
  };
  UploadReader reader;
  for (const Step& s : steps) {
    uint32_t length = s.ask;
    EXPECT_EQ(reader.ReadUploadChunk(s.path, s.cont, length, buf), s.ok) << s.path << " " << s.ask;
    if (s.ok) {
      EXPECT_EQ(length, s.got) << s.path;
    }
  }
}

}  // namespace
}  // namespace lark
