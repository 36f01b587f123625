// Decoding of single answers into an AsciiLiveData image, and the frame helpers.
#include "devices/ascii_answer.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/live_data.h"
#include "devices/ascii_live_data.h"

namespace lark {
namespace {

struct Image {
  LiveDataBlock block{BlockKind::kAscii};
  std::vector<uint8_t> bytes = block.copyOut();
  AsciiImage img{Bytes(bytes.data(), bytes.size())};
};

TEST(AsciiFrames, RequestsAndHeaders) {
  EXPECT_EQ(BuildQueryFrame(1, "STB", false), "~01P003STB");
  EXPECT_EQ(BuildQueryFrame(12, "MOD", true), "~12P003MOD" + Sum8Text(asBytes("~12P003MOD")));
  EXPECT_EQ(BuildCommandFrame(1, "P007EVT51;10", false), "~01P008EVT51;10");
  EXPECT_EQ(WithLengthDigits("S004BTT10"), "S005BTT10");
  EXPECT_EQ(RequestCode(asBytes("~01P003STB")), "STB");
  EXPECT_EQ(RequestCode(asBytes("~01S004TST3")), "");

  struct Case {
    std::string bytes;
    int bus;
    AsciiHeader want;
  };
  for (const Case& c : std::vector<Case>{{"~01D", 1, AsciiHeader::kOk},
                                         {"~01", 1, AsciiHeader::kNeedMore},
                                         {"~02A", 1, AsciiHeader::kBad},
                                         {"~zzA", 1, AsciiHeader::kBad},
                                         {"~0:A", 1, AsciiHeader::kBad},
                                         {"x01A", 1, AsciiHeader::kBad},
                                         {"~99R", 99, AsciiHeader::kOk}}) {
    EXPECT_EQ(CheckAnswerHeader(asBytes(c.bytes), c.bus), c.want) << c.bytes;
  }
  EXPECT_EQ(AnswerDataLength(asBytes("~01D012")), 12);
  EXPECT_EQ(AnswerDataLength(asBytes("~01D1 2")), -1);
  EXPECT_EQ(AnswerDataLength(asBytes("~01D01")), -1);
}

TEST(AsciiFields, ValuesAndSplitting) {
  struct Case {
    const char* text;
    int32_t want;
  };
  for (const Case& c : std::vector<Case>{{"", -1},
                                         {"0", 0},
                                         {"230", 230},
                                         {"-5", -5},
                                         {" 12x", 12},
                                         {"abc", 0},
                                         {"99999999999", INT32_MAX},
                                         {"-99999999999", INT32_MIN}}) {
    EXPECT_EQ(FieldValue(c.text), c.want) << c.text;
  }
  auto f = SplitFields("1;;3;");
  ASSERT_EQ(f.size(), 4u);
  EXPECT_EQ(f[1], "");
  EXPECT_EQ(f[3], "");
  EXPECT_EQ(SplitFields(std::string(1000, ';')).size(), 256u);
}

// "STA" alarms rise at the (N+1)th answer in a row: 6th without sums, 3rd with.
TEST(AsciiStatus, StaAlarmDebounce) {
  for (bool sums : {false, true}) {
    Image m;
    m.img.setChecksumFlag(sums);
    const int rises = sums ? 3 : 6;
    AnswerEffects fx;
    std::string on = "1;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;1";
    std::string off = "0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;1";
    for (int i = 1; i <= rises; ++i) {
      ApplyStatusAnswer(m.img, 4, on, 0, &fx);
      EXPECT_EQ(m.img.maskBit(ascii_off::kCurrentMask, 0), i == rises) << "answer " << i;
    }
    // Falling takes N + 1 quiet answers too.
    for (int i = 1; i <= rises; ++i) {
      ApplyStatusAnswer(m.img, 4, off, 0, &fx);
      EXPECT_EQ(m.img.maskBit(ascii_off::kCurrentMask, 0), i < rises) << "quiet " << i;
    }
    // Alarm 19 is active at 0; a short answer leaves the missing alarms alone.
    for (int i = 0; i < rises; ++i)
      ApplyStatusAnswer(m.img, 4, "0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;0;;0", 0, &fx);
    EXPECT_TRUE(m.img.maskBit(ascii_off::kCurrentMask, 19));
    EXPECT_FALSE(m.img.capability(44));
    EXPECT_TRUE(m.img.capability(42));
    ApplyStatusAnswer(m.img, 4, "1", 0, &fx);
    EXPECT_TRUE(m.img.maskBit(ascii_off::kCurrentMask, 19));
  }
}

TEST(AsciiStatus, SourceBitsAndModules) {
  Image m;
  AnswerEffects fx;
  ApplyStatusAnswer(m.img, 0, "0;1;0;0;0;0;0;0;0;0;5", 0, &fx);  // STB
  EXPECT_TRUE(m.img.maskBit(ascii_off::kCurrentMask, 20));
  EXPECT_TRUE(m.img.capability(63));
  struct Case {
    int source;
    uint8_t upsType;
    int bit;  // -1 none of 21..23
  };
  for (const Case& c :
       std::vector<Case>{{1, 0, 21}, {2, 0, 22}, {2, 3, 23}, {5, 0, 22}, {0, 0, -1}, {4, 0, -1}}) {
    ApplyStatusAnswer(m.img, 2, std::to_string(c.source), c.upsType, &fx);  // STO
    for (int b = 21; b <= 23; ++b) {
      EXPECT_EQ(m.img.maskBit(ascii_off::kCurrentMask, b), b == c.bit) << c.source << " bit " << b;
    }
  }
  ApplyStatusAnswer(m.img, 20, "2;1;2;3;7;9;9;9", 0, &fx);  // PIS, module 7 ignored
  EXPECT_EQ(m.img.slot(125), 1 + 256 * 2 + 65536 * 3);
  EXPECT_EQ(m.img.slot(124), -1);
  ApplyStatusAnswer(m.img, 23, "6;1;2;3", 0, &fx);  // PIV module 6
  EXPECT_EQ(m.img.slot(163), 1);
  EXPECT_EQ(m.img.slot(165), 3);
  ApplyStatusAnswer(m.img, 15, std::string("\x01\x02\x03", 3), 0, &fx);  // SDC, short
  EXPECT_EQ(m.img.slot(98), 0x0201);
  EXPECT_EQ(m.img.slot(99), -1);
  // PMS alarm (source bit 7) rises like the STA alarms.
  for (int i = 0; i < 6; ++i) ApplyStatusAnswer(m.img, 18, "3;128", 0, &fx);
  EXPECT_TRUE(m.img.maskBit(ascii_off::kExtCurrentMask, 0));
}

TEST(AsciiIdent, RatingsKeepUnknownsAndSetTheState) {
  Image m;
  AnswerEffects fx;
  ApplyIdentAnswer(m.img, 7, "2300;;500;-1;1;1;1;1;1;1;1;1;1;3", &fx);  // RAT
  EXPECT_EQ(m.img.slot(0), 2300);
  EXPECT_EQ(m.img.slot(1), -1);  // empty stays unknown
  EXPECT_EQ(m.img.slot(3), -1);  // -1 is not divided into 0
  EXPECT_EQ(fx.upsTypeCode, 3);
  EXPECT_FALSE(m.img.capability(61));
  ApplyIdentAnswer(m.img, 1, "VERYLONGMODELNAME-XYZ;4", &fx);  // MOD
  EXPECT_EQ(m.img.text(ascii_off::kModel, ascii_off::kModelSize), "VERYLONGMODELNAM");
  EXPECT_TRUE(m.img.capability(52));
  ApplyIdentAnswer(m.img, 2, "Maker", &fx);  // MNU clears the mask
  EXPECT_EQ(m.img.capabilities(), 0u);
}

TEST(AsciiStatus, EventRecordsAndTextsStayInTheBuffer) {
  Image m;
  AnswerEffects fx;
  ApplyStatusAnswer(m.img, 27, "60;0;1", 0, &fx);  // AEL
  EXPECT_EQ(m.img.queueHead(), "P007EVT1;25");
  m.img.queuePop();
  ApplyStatusAnswer(m.img, 28, std::string(200, 'r'), 0, &fx);
  EXPECT_EQ(m.img.queueHead(), "P008EVT26;25");
  m.img.queuePop();
  ApplyStatusAnswer(m.img, 28, "", 0, &fx);  // nothing: the read-out ends
  EXPECT_EQ(m.img.queueCount(), 0);

  ApplyStatusAnswer(m.img, 27, "900;0;0", 0, &fx);
  EXPECT_EQ(m.img.slot(175), 500);
  EXPECT_EQ(m.img.queueHead(), "P004ELS1");
  m.img.queuePop();
  fx.logWrites.clear();
  ApplyStatusAnswer(m.img, 29, "24;" + std::string(300, 't'), 0, &fx);
  ASSERT_EQ(fx.logWrites.size(), 1u);
  EXPECT_EQ(fx.logWrites[0].offset, 23u * 200);
  EXPECT_EQ(fx.logWrites[0].bytes.size(), 200u);
  EXPECT_EQ(m.img.eventLogPosition(), 24);
  EXPECT_EQ(m.img.queueCount(), 0);
}

}  // namespace
}  // namespace lark
