// The Canvas rules and the drawing kit: pixel probes on the image backend,
// recorded operations for what a painter asks for, one golden picture.
#include "console/views/drawing_kit.h"

#include <gtest/gtest.h>

#include <QImage>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

constexpr ColorRef kRed = 0x0000ff, kGreen = 0x00ff00, kWhite = 0xffffff;
constexpr int kRow = 16;  // text row of the dial in these tests

// The set of pixels of `img` that differ from white.
std::vector<std::pair<int, int>> Inked(const ImageCanvas& c) {
  std::vector<std::pair<int, int>> out;
  for (int y = 0; y < c.image()->height(); ++y)
    for (int x = 0; x < c.image()->width(); ++x)
      if (c.Pixel(x, y) != kWhite) out.emplace_back(x, y);
  return out;
}

TEST(CanvasTest, RectangleLeavesOutRightAndBottomEdge) {
  ImageCanvas c(20, 20);
  DrawFilledRect(c, 2, 3, 8, 9, kGreen, kRed);
  EXPECT_EQ(c.Pixel(2, 3), kRed);   // frame, top-left
  EXPECT_EQ(c.Pixel(7, 8), kRed);   // frame, last pixel inside
  EXPECT_EQ(c.Pixel(4, 5), kGreen); // inside
  EXPECT_EQ(c.Pixel(8, 5), kWhite); // right coordinate left out
  EXPECT_EQ(c.Pixel(5, 9), kWhite); // bottom coordinate left out
  EXPECT_EQ(Inked(c).size(), 36u);
}

TEST(CanvasTest, SolidRectCoversWhatFilledRectCovers) {
  struct Case { int l, t, r, b; } cases[] = {{0, 0, 10, 10}, {3, 4, 4, 5}, {5, 1, 17, 3}};
  for (const auto& k : cases) {
    ImageCanvas framed(20, 20), solid(20, 20);
    DrawFilledRect(framed, k.l, k.t, k.r, k.b, kGreen, kRed);
    DrawSolidRect(solid, k.l, k.t, k.r, k.b, kGreen);
    EXPECT_EQ(Inked(framed), Inked(solid)) << k.l << "," << k.t << "," << k.r << "," << k.b;
    for (auto [x, y] : Inked(solid)) EXPECT_EQ(solid.Pixel(x, y), kGreen);
  }
  RecordingCanvas rec;
  DrawSolidRect(rec, 1, 2, 3, 4, kGreen);
  EXPECT_EQ(rec.ops(), std::vector<std::string>{"Rectangle 1,2,4,5 pen null brush 00ff00"});
}

TEST(CanvasTest, LineLeavesOutItsEndPoint) {
  struct Case { int x1, y1, x2, y2; size_t pixels; } cases[] = {
      {0, 0, 10, 0, 10}, {0, 0, 0, 7, 7}, {0, 0, 5, 5, 5}, {9, 9, 9, 9, 0}};
  for (const auto& k : cases) {
    ImageCanvas c(20, 20);
    DrawLine(c, k.x1, k.y1, k.x2, k.y2, kRed, 1);
    EXPECT_EQ(Inked(c).size(), k.pixels) << k.x2 << "," << k.y2;
    EXPECT_EQ(c.Pixel(k.x2, k.y2), kWhite);
  }
}

TEST(CanvasTest, DottedLineIsThreeOnThreeOff) {
  ImageCanvas c(20, 3);
  DrawDottedLine(c, 0, 1, 12, 1, kRed, 1);
  std::string row;
  for (int x = 0; x < 13; ++x) row += c.Pixel(x, 1) == kRed ? '#' : '.';
  EXPECT_EQ(row, "###...###....");
}

TEST(CanvasTest, ColourRefIsBlueGreenRed) {
  ImageCanvas c(4, 4);
  DrawSolidRect(c, 0, 0, 3, 3, 0x0000ff);
  EXPECT_EQ(c.image()->pixelColor(1, 1), QColor(255, 0, 0));
}

TEST(DrawingKitTest, SysRectAndBevelRecordTheirColours) {
  RecordingCanvas rec;
  DrawSysFilledRect(rec, 0, 0, 5, 5, kColorWindow);
  EXPECT_EQ(rec.ops().back(), "Rectangle 0,0,5,5 pen solid 1 404040 brush ffffff");
  rec.clear();
  DrawBevel(rec, 10, 20, 50, 40, true, 1);
  ASSERT_EQ(rec.ops().size(), 12u);
  EXPECT_EQ(rec.ops()[0], "Line 10,20 10,40 pen solid 1 c0c0c0");
  EXPECT_EQ(rec.ops()[3], "Line 10,40 50,40 pen solid 1 808080");
  EXPECT_EQ(rec.ops()[7], "Line 14,22 14,39 pen solid 1 808080");   // first ridge's shadow
  EXPECT_EQ(rec.ops()[11], "Line 18,22 18,39 pen solid 1 808080");  // second ridge
}

TEST(DrawingKitTest, PieSegment) {
  const CanvasRect r{0, 0, 100, 100};
  RecordingCanvas rec;
  DrawPieSegment(rec, r, 40, 40, kRed);  // equal points: nothing, never the whole ellipse
  EXPECT_TRUE(rec.ops().empty());
  DrawPieSegment(rec, r, -30, 210, kRed);
  ASSERT_EQ(rec.ops().size(), 1u);
  EXPECT_EQ(rec.ops()[0], "Pie 0,0,100,100 100,79 0,79 pen solid 1 0000ff brush 0000ff");
  // The upper 240 degrees: the top is red, below the centre's bottom rays it stays white.
  ImageCanvas img(101, 101);
  DrawPieSegment(img, r, -30, 210, kRed);
  EXPECT_EQ(img.Pixel(50, 5), kRed);
  EXPECT_EQ(img.Pixel(50, 40), kRed);
  EXPECT_EQ(img.Pixel(50, 95), kWhite);
}

// The dial gauge's recorded operations, drawn into a recording back buffer.
struct Dial {
  RecordingCanvas target;
  BackBuffer buffer;
  Dial() { buffer.Create(target, DefaultCanvasFont()); }
  const RecordingCanvas& bb() const { return static_cast<const RecordingCanvas&>(*buffer.canvas()); }
  void draw(const DialScale& s, int32_t value, CanvasRect area = {0, 0, 200, 160}) {
    DrawDialGaugeScale(buffer, s, target, area, value, kDefaultLevelColours, kRow);
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& op : bb().opsNamed("DrawText")) {
      const auto a = op.find('"'), b = op.find('"', a + 1);
      out.push_back(op.substr(a + 1, b - a - 1));
    }
    return out;
  }
  // The needle's tip, or false when no needle is drawn.
  bool tip(int* x, int* y) const {
    const auto polys = bb().opsNamed("Polygon");
    return polys.size() == 1 && std::sscanf(polys[0].c_str(), "Polygon %d,%d", x, y) == 2;
  }
};

TEST(DialGaugeTest, ValueTextAndNeedle) {
  // Area 200 x 160 with a 16-pixel row: radius 77, centre (97, 93).
  struct Case {
    int32_t value;
    const char* text;  // nullptr: no text and no needle
    int side;          // needle: -1 lower left (0), +1 lower right (full scale)
  } cases[] = {
      {0, "0V", -1},
      {2305, "230.5V", 0},
      {-1, nullptr, 0},
      {9000, "900V", +1},         // above full scale: own text, needle at the right end
      {INT32_MAX, "214748364.7V", +1},  // no overflow on the way to the angle
  };
  for (const auto& k : cases) {
    Dial d;
    d.draw({400, "V", 0, 0}, k.value);
    const auto texts = d.texts();
    const std::vector<std::string> labels{"400", "300", "200", "100", "0"};
    ASSERT_GE(texts.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(texts.begin(), texts.begin() + 5), labels);
    int x = 0, y = 0;
    if (k.text == nullptr) {
      EXPECT_EQ(texts.size(), 5u);
      EXPECT_FALSE(d.tip(&x, &y));
      continue;
    }
    ASSERT_EQ(texts.size(), 6u) << k.value;
    EXPECT_EQ(texts[5], k.text);
    ASSERT_TRUE(d.tip(&x, &y)) << k.value;
    if (k.side == -1) {
      EXPECT_EQ(std::make_pair(x, y), std::make_pair(97 - 65, 93 + 37));
    }
    if (k.side == +1) {
      EXPECT_EQ(std::make_pair(x, y), std::make_pair(97 + 65, 93 + 37));
    }
    EXPECT_EQ(d.target.ops(), std::vector<std::string>{"BitBlt 0,0 200x160 from 0,0"});
  }
}

TEST(DialGaugeTest, ScaleFromTheNode) {
  DeviceNode snmp;
  snmp.setNodeKind(kNodeSnmp);
  auto& block = snmp.ensureBlock(BlockKind::kSnmp);
  block.setSlot(1, 220);
  EXPECT_EQ(DialScaleFor(snmp, 29).full, 440);  // value 3 unknown: 2 x value 1
  Dial d;
  DrawDialGauge(d.buffer, snmp, d.target, 29, {0, 0, 200, 160}, -1, kDefaultLevelColours, kRow);
  EXPECT_EQ(d.texts(), (std::vector<std::string>{"440", "330", "220", "110", "0"}));
  block.setSlot(1, -1);
  EXPECT_EQ(DialScaleFor(snmp, 29).full, 400);  // both unknown
  EXPECT_EQ(DialScaleFor(snmp, 7).full, 0);     // not a gauge value

  DeviceNode inverter;
  inverter.setNodeKind(kNodeSerial);
  inverter.setCommType(kCommInverter);
  inverter.ensureBlock(BlockKind::kModbus).setSlot(21, 0);
  Dial none;  // full scale 0: no arc, labels, zones or needle; the value still shows
  DrawDialGauge(none.buffer, inverter, none.target, 2, {0, 0, 200, 160}, 50, kDefaultLevelColours,
                kRow);
  EXPECT_TRUE(none.bb().opsNamed("Arc").empty());
  EXPECT_TRUE(none.bb().opsNamed("Polygon").empty());
  EXPECT_EQ(none.texts(), std::vector<std::string>{"5W"});
}

TEST(DialGaugeTest, LimitZonesStayOnTheScale) {
  struct Case {
    int64_t upper, lower;
    size_t pies;  // zone wedges plus the clearing wedges
  } cases[] = {
      {300, 100, 4},   // two zones, each cleared inside
      {0, 0, 0},       // no limits
      {5000, 0, 1},    // an upper limit beyond the scale leaves no zone, only the clearing
      {0, 5000, 2},    // a lower limit beyond the scale colours the whole ring
  };
  for (const auto& k : cases) {
    Dial d;
    d.draw({400, "V", k.upper, k.lower}, 2300);
    const auto pies = d.bb().opsNamed("Pie");
    EXPECT_EQ(pies.size(), k.pies) << k.upper << "/" << k.lower;
    for (const auto& p : pies) {
      int l, t, r, b, x1, y1, x2, y2;
      ASSERT_EQ(std::sscanf(p.c_str(), "Pie %d,%d,%d,%d %d,%d %d,%d", &l, &t, &r, &b, &x1, &y1, &x2,
                            &y2),
                8);
      // Every ray meets the left, top or right side, never the bottom quadrant.
      EXPECT_TRUE(x1 == l || x1 == r || y1 == t) << p;
      EXPECT_TRUE(x2 == l || x2 == r || y2 == t) << p;
    }
  }
}

TEST(DialGaugeTest, AreaBeyondTheBackBufferIsCut) {
  Dial d;
  d.draw({400, "V", 0, 0}, 100, {10, 20, 410, 420});
  EXPECT_EQ(d.target.ops(), std::vector<std::string>{"BitBlt 10,20 300x300 from 0,0"});
  BackBuffer none;  // without a back buffer nothing is drawn
  RecordingCanvas target;
  DrawDialGaugeScale(none, {400, "V", 0, 0}, target, {0, 0, 100, 100}, 5, kDefaultLevelColours,
                     kRow);
  EXPECT_TRUE(target.ops().empty());
}

TEST(BarMeterTest, SegmentsAndColours) {
  RecordingCanvas rec;
  DrawBarMeter(rec, 150, 100, 100, 150, 0, 0, 213, 10, kDefaultLevelColours);
  const auto rects = rec.opsNamed("Rectangle");
  ASSERT_EQ(rects.size(), 21u);  // step 7, 21 segments of 10 pixels
  EXPECT_EQ(rects[0], "Rectangle 2,2,12,10 pen null brush 00a000");
  EXPECT_EQ(rects[14], "Rectangle 142,2,152,10 pen null brush 00a000");  // threshold 98
  EXPECT_EQ(rects[15], "Rectangle 152,2,162,10 pen null brush 0000ff");  // threshold 105
  EXPECT_EQ(rec.opsNamed("Line").size(), 4u);

  struct Case { int32_t full, warn, serious, value; size_t lit; } cases[] = {
      {100, 60, 80, 0, 0},      // 0 lights nothing
      {100, 60, 80, -1, 0},     // unknown
      {100, 60, 80, 50, 10},    // thresholds 0..45
      {100, 60, 80, 65, 13},
      {10, 5, 8, 5, 0},         // below a full scale of 20: nothing drawn at all
      {0, 0, 0, 5, 0},
  };
  for (const auto& k : cases) {
    RecordingCanvas r;
    DrawBarMeter(r, k.full, k.warn, k.serious, k.value, 0, 0, 102, 10, kDefaultLevelColours);
    size_t lit = 0;
    for (const auto& op : r.opsNamed("Rectangle")) lit += op.find("808080") == std::string::npos;
    EXPECT_EQ(lit, k.lit) << k.full << " " << k.value;
    if (k.full < 20) {
      EXPECT_TRUE(r.ops().empty());
    }
  }
  RecordingCanvas w;
  DrawBarMeter(w, 100, 60, 80, 100, 0, 0, 102, 10, kDefaultLevelColours);
  const auto segs = w.opsNamed("Rectangle");
  EXPECT_NE(segs[12].find("00a000"), std::string::npos);  // 60: information
  EXPECT_NE(segs[13].find("00a0a0"), std::string::npos);  // 65: warning
  EXPECT_NE(segs[17].find("0000ff"), std::string::npos);  // 85: serious
}

TEST(PaneEdgesTest, ThreeGroovesOfThreeLines) {
  RecordingCanvas rec;
  DrawPaneEdges(rec, {203, 153, 800, 600}, {150, 0, 784, 150});
  ASSERT_EQ(rec.ops().size(), 9u);
  EXPECT_EQ(rec.ops()[0], "Line 0,150 800,150 pen solid 1 ffffff");
  EXPECT_EQ(rec.ops()[1], "Line 200,153 200,600 pen solid 1 ffffff");
  EXPECT_EQ(rec.ops()[2], "Line 147,0 147,150 pen solid 1 ffffff");
  EXPECT_EQ(rec.ops()[8], "Line 149,0 149,150 pen solid 1 808080");
}

// SRCAND keeps the surface under white and darkens it under a colour; the
// recording says which blit it was.
TEST(CanvasTest, ImageBlitCopiesOrAnds) {
  QImage image(3, 1, QImage::Format_RGB32);
  image.setPixelColor(0, 0, QColor(255, 255, 255));
  image.setPixelColor(1, 0, QColor(0, 255, 255));
  image.setPixelColor(2, 0, QColor(0, 0, 0));
  struct Case {
    RasterOp op;
    ColorRef want[3];
  } cases[] = {{RasterOp::kSrcCopy, {0xffffff, 0xffff00, 0x000000}},
               {RasterOp::kSrcAnd, {0x00ffff, 0x00ff00, 0x000000}}};
  for (const Case& k : cases) {
    ImageCanvas c(3, 1);
    DrawSolidRect(c, 0, 0, 3, 1, 0x00ffff);  // yellow
    c.BitBltImage(0, 0, image, k.op);
    for (int x = 0; x < 3; ++x) EXPECT_EQ(c.Pixel(x, 0), k.want[x]) << x;
  }
  RecordingCanvas rec;
  rec.BitBltImage(1, 2, image);
  rec.BitBltImage(1, 2, image, RasterOp::kSrcAnd);
  EXPECT_EQ(rec.ops(), (std::vector<std::string>{"BitBlt 1,2 3x1 image", "BitBlt 1,2 3x1 image and"}));
}

// A dial gauge and a bar meter, drawn for a person to look at and kept as a
// golden picture. LARK_UPDATE_GOLDEN=1 rewrites it.
TEST(GoldenTest, DialAndBar) {
  ImageCanvas img(220, 200);
  BackBuffer buffer;
  QFont value("Arial");
  value.setPixelSize(11);
  buffer.Create(img, value);
  DrawDialGaugeScale(buffer, {440, "V", 250, 190}, img, {10, 0, 210, 160}, 2305,
                     kDefaultLevelColours, kRow);
  DrawBarMeter(img, 150, 100, 120, 131, 10, 170, 205, 185, kDefaultLevelColours);
  const std::string golden = test::SourcePath("tests/console/golden/dial_and_bar.png");
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(img.image()->save(QString::fromStdString(golden)));
  }
  QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  const QImage got = img.image()->convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(got, want.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace lark
