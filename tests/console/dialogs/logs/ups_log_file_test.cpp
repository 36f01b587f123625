// The UPS's own event log: the step record both ways, the entry layouts, the
// counts bounded by the bytes received, the event texts and the file.
#include "console/dialogs/logs/ups_log_file.h"

#include <gtest/gtest.h>

#include <vector>

namespace lark {
namespace {

// An E9 entry (9 bytes) or E8 entry (8 bytes) at its place in `b`.
void PutE9(std::vector<uint8_t>& b, size_t n, uint16_t index, uint8_t code, bool highFirst = true) {
  uint8_t* e = &b[n * 9];
  e[0] = static_cast<uint8_t>(highFirst ? index >> 8 : index);
  e[1] = static_cast<uint8_t>(highFirst ? index : index >> 8);
  const uint8_t when[6] = {26, 3, 11, 9, 8, 7};
  std::copy(when, when + 6, e + 2);
  e[8] = code;
}
void PutE8(std::vector<uint8_t>& b, size_t n, uint8_t source, uint8_t code) {
  uint8_t* e = &b[n * 8];
  e[0] = source;
  const uint8_t when[6] = {26, 12, 31, 23, 59, 58};
  std::copy(when, when + 6, e + 1);
  e[7] = code;
}

const UpsLogHeading kHeading{"Three-phase UPS", "HT33", 1, {2026, 12, 11, 5, 1, 2, 3, 0}};
const std::string kHead =
    "UPS Title=Three-phase UPS\r\nUPS Model=HT33\r\nUPS ID=1\r\nDownload Time=2026/12/11 "
    "01:02:03\r\n";

TEST(UpsLogFile, StepRecordBothWays) {
  // The request: operation and node id, every other byte zero.
  const std::array<uint8_t, 20> golden = {2, 0, 0, 0, 13, 0, 0, 0, 0, 0,
                                          0, 0, 0, 0, 0,  0, 0, 0, 0, 0};
  EXPECT_EQ(UpsLogRequest(kUpsLogFetch, 13), golden);

  std::vector<uint8_t> reply(kUpsLogEntriesReplyOff, 0);
  putU32(reply, 7 + 8, 2);
  putI32(reply, 7 + 12, -3);
  putU32(reply, 7 + 16, 100);
  const std::optional<UpsLogStatus> s = ParseUpsLogStatus(reply);
  ASSERT_TRUE(s);
  EXPECT_EQ(s->form, 2u);
  EXPECT_EQ(s->progress, -3);
  EXPECT_EQ(s->total, 100u);
  reply.pop_back();  // a short frame holds no record
  EXPECT_FALSE(ParseUpsLogStatus(reply));
}

TEST(UpsLogFile, EntriesOfEachLayout) {
  std::vector<uint8_t> b(kUpsLogEntryBytes, 0);
  PutE9(b, 0, 0x0102, 0x77);
  PutE9(b, 1, 0x0304, 0x80);
  const std::vector<UpsLogEntry> high = ReadUpsLogEntries(b, UpsLogLayout::kE9HighFirst, 2);
  EXPECT_EQ(high, (std::vector<UpsLogEntry>{{0x0102, 2026, 3, 11, 9, 8, 7, 0x77},
                                            {0x0304, 2026, 3, 11, 9, 8, 7, 0x80}}));
  const std::vector<UpsLogEntry> low = ReadUpsLogEntries(b, UpsLogLayout::kE9LowFirst, 1);
  EXPECT_EQ(low.at(0).first, 0x0201);

  // E8 records are numbered from 1: the first eight bytes hold none.
  std::vector<uint8_t> e8(kUpsLogEntryBytes, 0);
  PutE8(e8, 0, 9, 9);
  PutE8(e8, 1, 3, 0x21);
  EXPECT_EQ(ReadUpsLogEntries(e8, UpsLogLayout::kE8, 1),
            (std::vector<UpsLogEntry>{{3, 2026, 12, 31, 23, 59, 58, 0x21}}));
}

TEST(UpsLogFile, CountsAreBoundedByTheBytesReceived) {
  const std::vector<uint8_t> full(kUpsLogEntryBytes, 1), shortFrame(100, 1);
  const struct {
    UpsLogLayout layout;
    size_t full, cut;
  } cases[] = {{UpsLogLayout::kE9HighFirst, 511, 11}, {UpsLogLayout::kE8, 574, 11}};
  for (const auto& c : cases) {
    EXPECT_EQ(ReadUpsLogEntries(full, c.layout, 65535).size(), c.full);
    EXPECT_EQ(ReadUpsLogEntries(shortFrame, c.layout, 65535).size(), c.cut);
    EXPECT_TRUE(ReadUpsLogEntries({}, c.layout, 65535).empty());
  }
  EXPECT_EQ(ReadUpsLogTexts(full, 65535).size(), 23u);
  EXPECT_TRUE(ReadUpsLogTexts(shortFrame, 65535).empty());
}

TEST(UpsLogFile, EventTexts) {
  const struct {
    uint8_t code;
    bool hvdc;
    const char* text;
  } cases[] = {
      {0x00, false, "Mains Input Voltage Abnormal"},
      {0x2E, false, ""},
      {0x77, false, "PM Interblock Loss"},
      {0x78, false, ""},
      {0x7F, false, ""},
      {0x80, false, "Inverter Status: Inhibit UPS Output"},
      {0x90, false, "ECO mode"},
      {0x91, false, ""},
      {0x00, true, "Input voltage normal"},
      {0x06, true, ""},
      {0x8F, true, "PM current sharing abnormal"},  // 143
      {0x90, true, ""},                             // 144
  };
  for (const auto& c : cases)
    EXPECT_EQ(UpsEventDescription(c.code, c.hvdc), c.text) << int{c.code} << c.hvdc;
}

TEST(UpsLogFile, E8FileLeavesOutEmptyEntriesAndCodesWithoutText) {
  std::vector<uint8_t> b(kUpsLogEntryBytes, 0);
  PutE8(b, 1, 0, 0x21);    // the system
  PutE8(b, 2, 255, 0x21);  // empty
  PutE8(b, 3, 4, 0x78);    // between the tables
  PutE8(b, 4, 4, 0x90);
  PutE8(b, 5, 4, 0x91);
  PutE8(b, 6, 7, 0x2E);  // in a table without text: the line stays
  EXPECT_EQ(UpsLogFileText(kHeading, UpsLogLayout::kE8, b, 6, false),
            kHead +
                "ID\tDate\t\tTime\t\tCode\tEvent Description\r\n"
                "System\t2026/12/31\t23:59:58\t0x21\tEPO On\r\n"
                "ID4\t2026/12/31\t23:59:58\t0x90\tECO mode\r\n"
                "ID7\t2026/12/31\t23:59:58\t0x2E\t\r\n");
  // Type 6: its own table to 143, and the first column as in every E8 file.
  std::vector<uint8_t> h(kUpsLogEntryBytes, 0);
  PutE8(h, 1, 1, 143);
  PutE8(h, 2, 1, 144);
  EXPECT_EQ(UpsLogFileText(kHeading, UpsLogLayout::kE8, h, 2, true),
            kHead +
                "ID\tDate\t\tTime\t\tCode\tEvent Description\r\n"
                "ID1\t2026/12/31\t23:59:58\t0x8F\tPM current sharing abnormal\r\n");
}

TEST(UpsLogFile, E9FileKeepsEveryEntry) {
  std::vector<uint8_t> b(kUpsLogEntryBytes, 0);
  PutE9(b, 0, 1, 0x10);
  PutE9(b, 1, 300, 0x78);
  EXPECT_EQ(UpsLogFileText(kHeading, UpsLogLayout::kE9HighFirst, b, 2, false),
            kHead +
                "Index\tDate\t\tTime\t\tCode\tEvent Description\r\n"
                "1\t2026/03/11\t09:08:07\t0x10\tBattery Replacement\r\n"
                "300\t2026/03/11\t09:08:07\t0x78\t\r\n");
}

TEST(UpsLogFile, TextEntriesBecomeLines) {
  std::vector<uint8_t> b(kUpsLogEntryBytes, 0);
  const std::string first = "event 1 on\r\nbattery", third(200, 'z');
  std::copy(first.begin(), first.end(), b.begin());
  std::copy(third.begin(), third.end(), b.begin() + 400);  // a whole entry has no NUL
  EXPECT_EQ(UpsLogFileText(kHeading, UpsLogLayout::kText, b, 3, false),
            kHead + "event 1 on  battery\r\n" + third + "\r\n");
}

TEST(UpsLogFile, NamesAndModel) {
  EXPECT_EQ(UpsLogFileName("Three-phase UPS", 13), "UPSEventLog_Three-phase UPS(13).txt");
  EXPECT_EQ(UpsLogFileName("../x", 1), "UPSEventLog__._x(1).txt");
  EXPECT_EQ(UpsLogFileName("a/b", 2), "UPSEventLog_a_b(2).txt");
  EXPECT_EQ(UpsLogFileName(".hidden", 3), "UPSEventLog__hidden(3).txt");

  std::vector<uint8_t> ascii(1448, 'M'), binary(1184, 'B');
  EXPECT_EQ(UpsLogModel(ascii, 0), std::string(17, 'M'));  // no terminator: cut at the field
  EXPECT_EQ(UpsLogModel(binary, 1), std::string(31, 'B'));
  binary[760] = 0;
  EXPECT_EQ(UpsLogModel(binary, 1), "BBBB");
  EXPECT_EQ(UpsLogModel(CBytes(ascii).first(1020), 0), "");

  EXPECT_EQ(UpsLogLayoutOf(1, 0), UpsLogLayout::kE9HighFirst);
  EXPECT_EQ(UpsLogLayoutOf(0, 1), UpsLogLayout::kText);
  EXPECT_EQ(UpsLogLayoutOf(0, 2), UpsLogLayout::kE8);
}

}  // namespace
}  // namespace lark
