// The panel value boxes: what each call draws (recorded), the caption's
// outline, stacked boxes merging (pixel probes), and one golden picture.
#include "console/views/value_boxes.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "tests/console/support/panel_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::Quoted;

std::vector<std::string> Texts(const RecordingCanvas& c) {
  std::vector<std::string> out;
  for (const std::string& op : c.opsNamed("DrawText")) out.push_back(Quoted(op));
  return out;
}

// "left,right" of each DrawText's rectangle.
std::vector<std::string> Columns(const RecordingCanvas& c) {
  std::vector<std::string> out;
  for (const std::string& op : c.opsNamed("DrawText")) {
    int l, t, r, b;
    std::sscanf(op.c_str(), "DrawText %d,%d,%d,%d", &l, &t, &r, &b);
    out.push_back(std::to_string(l) + "," + std::to_string(r));
  }
  return out;
}

TEST(ValueBoxesTest, ValueBoxRows) {
  test::PanelFixture f;
  const ValueBoxFonts fonts{f.fonts.label, f.fonts.value, 13};
  struct Case {
    const char* what;
    int32_t v1, v2, v3;
    bool tenths;
    ColorRef colour;
    bool drawn;
    std::vector<std::string> texts;
    std::vector<std::string> columns;  // label (5 + 60), values 40 wide, unit 20
  } cases[] = {
      {"no value 1", -1, 5, 7, false, 0, false, {}, {}},
      {"value 2 missing", 5, -1, 7, false, 0, true, {"In", "5", "7", "V"},
       {"15,75", "80,120", "125,165", "170,190"}},
      {"tenths", 2205, 7, 0, true, 0, true, {"In", "220.5", "0.7", "0.0", "V"},
       {"15,75", "80,120", "125,165", "170,210", "215,235"}},
      {"whole", 2205, -1, -1, false, 0, true, {"In", "2205", "V"}, {"15,75", "80,120", "125,145"}},
  };
  for (const Case& k : cases) {
    RecordingCanvas c;
    c.SetTextColor(0x123456);
    EXPECT_EQ(DrawValueBox(c, fonts, "In", k.v1, k.v2, k.v3, 10, 20, 300, 36, 60, 40, k.tenths, "V",
                           k.colour),
              k.drawn)
        << k.what;
    EXPECT_EQ(Texts(c), k.texts) << k.what;
    EXPECT_EQ(Columns(c), k.columns) << k.what;
    if (!k.drawn) {
      EXPECT_TRUE(c.ops().empty()) << k.what;
    }
  }
  // Colour 0 keeps the label's colour for the values; another is set for them.
  for (ColorRef colour : {ColorRef{0}, ColorRef{0x0000ff}}) {
    RecordingCanvas c;
    c.SetTextColor(0x123456);
    DrawValueBox(c, fonts, "In", 1, -1, -1, 0, 0, 200, 16, 60, 40, false, "V", colour);
    const std::vector<std::string> ops = c.opsNamed("DrawText");
    ASSERT_EQ(ops.size(), 3u);
    EXPECT_NE(ops[0].find("colour 123456"), std::string::npos) << ops[0];
    EXPECT_NE(ops[1].find(colour == 0 ? "colour 123456" : "colour 0000ff"), std::string::npos) << ops[1];
  }
}

TEST(ValueBoxesTest, ValueTextAndCaption) {
  test::PanelFixture f;
  const ValueBoxFonts fonts{f.fonts.label, f.fonts.value, 13};
  RecordingCanvas none;
  EXPECT_FALSE(DrawValueText(none, fonts, "State", nullptr, 0, 0, 0, 200, 16, 60, 0));
  EXPECT_TRUE(none.ops().empty());
  RecordingCanvas empty;
  EXPECT_TRUE(DrawValueText(empty, fonts, "State", "", 0, 0, 0, 200, 16, 60, 0));
  EXPECT_EQ(Texts(empty), (std::vector<std::string>{"State", ""}));
  EXPECT_EQ(Columns(empty), (std::vector<std::string>{"5,65", "70,197"}));

  // The caption's eleven points for a text of width w and L = 13.
  RecordingCanvas c;
  c.SelectFont(f.fonts.label);
  const int w = c.TextWidth("UPS");
  DrawCaptionBox(c, "UPS", 10, 20, 200, 60, 0x0000ff, 13);
  const std::vector<std::string> polygons = c.opsNamed("Polygon");
  ASSERT_EQ(polygons.size(), 1u);
  const std::string want = "Polygon 12,33 12,21 13,20 " + std::to_string(23 + w) + ",20 " +
                           std::to_string(36 + w) + ",33 198,33 199,34 199,46 10,46 10,34 11,33 pen solid 1 3990ab brush 83f9ff";
  EXPECT_EQ(polygons[0], want);
  EXPECT_EQ(c.ops().front(), "Rectangle 10,20,201,61 pen null brush ffffff");  // the area cleared
}

// Three boxes stacked under a caption; LARK_UPDATE_GOLDEN=1 rewrites the picture.
TEST(ValueBoxesTest, StackedBoxesMergeGolden) {
  test::PanelFixture f;
  const ValueBoxFonts fonts{f.fonts.label, f.fonts.value, 13};
  ImageCanvas img(260, 110);
  DrawSysSolidRect(img, 0, 0, 260, 110, kColorWindow);
  img.SelectFont(f.fonts.label);
  img.SetBkMode(BkMode::kTransparent);
  DrawCaptionBox(img, "Module 1", 5, 5, 240, 31, 0x000000, 13);
  int y = 31;
  for (auto [label, v] : {std::pair<const char*, int32_t>{"Voltage", 2205}, {"Current", 153}, {"Temp.", 412}}) {
    img.SetTextColor(0x000000);  // the label's; the values take theirs
    ASSERT_TRUE(DrawValueBox(img, fonts, label, v, -1, -1, 5, y, 240, y + 18, 60, 50, true, "V", 0x0000ff));
    y += 18;
  }
  // At the joints: fill where the upper frame and shadow were; the right
  // shadow runs on.
  for (int joint : {49, 67}) {
    EXPECT_EQ(img.Pixel(100, joint), kBoxFill) << joint;
    EXPECT_EQ(img.Pixel(100, joint + 1), kBoxFill) << joint;
    EXPECT_EQ(img.Pixel(240, joint), kBoxShadow1) << joint;
    EXPECT_EQ(img.Pixel(241, joint), kBoxShadow2) << joint;
    EXPECT_EQ(img.Pixel(242, joint), kBoxShadow3) << joint;
  }
  test::ExpectGoldenPicture(*img.image(), "tests/console/golden/value_boxes.png");
}

}  // namespace
}  // namespace lark
