// The panel value boxes: what each row asks the canvas for, how stacked
// boxes merge, one golden picture.
#include "console/views/value_boxes.h"

#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/views/drawing_kit.h"
#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

constexpr ColorRef kRed = 0x0000ff, kBlue = 0xff0000;

ValueBoxFonts Fonts() {
  ValueBoxFonts f;
  f.label = QFont("Arial");
  f.label.setPixelSize(11);
  f.label.setBold(true);
  f.value = QFont("Arial");
  f.value.setPixelSize(11);
  f.lineHeight = 13;
  return f;
}

// Label column 15..75, value columns 30 wide after 5-pixel gaps.
TEST(ValueBoxTest, RowsOfValuesAndTexts) {
  struct Case {
    const char* name;
    int32_t v1, v2, v3;
    bool tenths;
    ColorRef colour;
    bool drew;
    std::vector<std::string> texts;  // the DrawText lines after the label's
  } cases[] = {
      {"value 1 unknown", -1, 5, 7, false, kBlue, false, {}},
      {"value 2 skipped", 5, -1, 7, false, kBlue, true,
       {"DrawText 80,20,110,36 \"5\" format 1 colour ff0000 transparent",
        "DrawText 115,20,145,36 \"7\" format 1 colour ff0000 transparent",
        "DrawText 150,20,170,36 \"V\" format 0 colour ff0000 transparent"}},
      {"tenths", 2205, 7, 0, true, kBlue, true,
       {"DrawText 80,20,110,36 \"220.5\" format 1 colour ff0000 transparent",
        "DrawText 115,20,145,36 \"0.7\" format 1 colour ff0000 transparent",
        "DrawText 150,20,180,36 \"0.0\" format 1 colour ff0000 transparent",
        "DrawText 185,20,205,36 \"V\" format 0 colour ff0000 transparent"}},
      {"whole", 2205, -1, -1, false, kBlue, true,
       {"DrawText 80,20,110,36 \"2205\" format 1 colour ff0000 transparent",
        "DrawText 115,20,135,36 \"V\" format 0 colour ff0000 transparent"}},
      {"colour 0 keeps the label's", 1, -1, -1, false, 0, true,
       {"DrawText 80,20,110,36 \"1\" format 1 colour 0000ff transparent",
        "DrawText 115,20,135,36 \"V\" format 0 colour 0000ff transparent"}},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(k.name);
    RecordingCanvas rec;
    rec.SetBkMode(BkMode::kTransparent);
    rec.SetTextColor(kRed);
    EXPECT_EQ(DrawValueBox(rec, Fonts(), "Input", k.v1, k.v2, k.v3, 10, 20, 200, 36, 60, 30,
                           k.tenths, "V", k.colour),
              k.drew);
    if (!k.drew) {
      EXPECT_TRUE(rec.ops().empty());
      continue;
    }
    auto texts = rec.opsNamed("DrawText");
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts[0], "DrawText 15,20,75,36 \"Input\" format 0 colour 0000ff transparent");
    texts.erase(texts.begin());
    EXPECT_EQ(texts, k.texts);
  }

  RecordingCanvas rec;
  rec.SetBkMode(BkMode::kTransparent);
  EXPECT_FALSE(DrawValueText(rec, Fonts(), "Model", nullptr, kBlue, 10, 20, 200, 36, 60, 0));
  EXPECT_TRUE(rec.ops().empty());
  EXPECT_TRUE(DrawValueText(rec, Fonts(), "Model", "", kBlue, 10, 20, 200, 36, 60, 0));
  EXPECT_EQ(rec.opsNamed("Rectangle"),
            std::vector<std::string>{"Rectangle 10,20,200,36 pen solid 1 3990ab brush 91f7ff"});
  EXPECT_EQ(rec.opsNamed("DrawText"),
            (std::vector<std::string>{
                "DrawText 15,20,75,36 \"Model\" format 0 colour 000000 transparent",
                "DrawText 80,20,197,36 \"\" format 0 colour ff0000 transparent"}));
}

TEST(ValueBoxTest, CaptionIsAFolderTab) {
  RecordingCanvas rec;
  rec.SetBkMode(BkMode::kTransparent);
  rec.SelectFont(Fonts().label);
  const int w = rec.TextWidth("Battery");
  ASSERT_GT(w, 0);
  DrawCaptionBox(rec, Fonts(), "Battery", 10, 20, 200, 60, kRed);
  const int L = 10, T = 20, R = 200, H = 13;
  std::string poly = "Polygon";
  for (auto [x, y] : std::vector<std::pair<int, int>>{
           {L + 2, T + H}, {L + 2, T + 1}, {L + 3, T}, {L + w + 13, T}, {L + w + 13 + H, T + H},
           {R - 2, T + H}, {R - 1, T + H + 1}, {R - 1, T + 2 * H}, {L, T + 2 * H},
           {L, T + H + 1}, {L + 1, T + H}})
    poly += " " + std::to_string(x) + "," + std::to_string(y);
  EXPECT_EQ(rec.ops(), (std::vector<std::string>{
                           "Rectangle 10,20,201,61 pen null brush ffffff",
                           poly + " pen solid 1 3990ab brush 83f9ff",
                           "DrawText 20,21,200,60 \"Battery\" format 0 colour 0000ff transparent"}));
}

// Three boxes, each top on the one above's bottom, right edge 150.
void DrawStack(Canvas& c, int top) {
  c.SetBkMode(BkMode::kTransparent);
  const char* labels[] = {"Input", "Output", "Load"};
  const int32_t values[] = {2305, 2298, 35};
  for (int i = 0; i < 3; ++i) {
    c.SetTextColor(0x000000);
    EXPECT_TRUE(DrawValueBox(c, Fonts(), labels[i], values[i], -1, -1, 10, top + 16 * i, 150,
                             top + 16 * (i + 1), 50, 40, i < 2, i < 2 ? "V" : "%", kBlue));
  }
}

TEST(ValueBoxTest, StackedBoxesMergeIntoOneColumn) {
  ImageCanvas c(170, 90);
  DrawStack(c, 20);
  for (int joint : {36, 52}) {
    for (int y = joint - 1; y <= joint + 1; ++y)
      EXPECT_EQ(c.Pixel(147, y), kValueBoxFill) << "joint " << joint << " y " << y;
    EXPECT_EQ(c.Pixel(10, joint), kValueBoxFrame) << joint;
  }
  for (int k = 0; k < 3; ++k) {
    for (int y = 20 + k; y < 68 + k; ++y)
      EXPECT_EQ(c.Pixel(150 + k, y), kValueBoxShadow[k]) << "shadow " << k << " y " << y;
    EXPECT_EQ(c.Pixel(80, 68 + k), kValueBoxShadow[k]) << "bottom " << k;
  }
}

// A caption over three stacked boxes for a person to look at.
// LARK_UPDATE_GOLDEN=1 rewrites it.
TEST(GoldenTest, CaptionAndValueBoxes) {
  ImageCanvas img(170, 100);
  img.SetBkMode(BkMode::kTransparent);
  img.SelectFont(Fonts().label);
  DrawCaptionBox(img, Fonts(), "Parameters", 5, 5, 160, 40, 0x000000);
  DrawStack(img, 34);
  const std::string golden = test::SourcePath("tests/console/golden/value_boxes.png");
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(img.image()->save(QString::fromStdString(golden)));
  }
  QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  EXPECT_EQ(img.image()->convertToFormat(QImage::Format_RGB32),
            want.convertToFormat(QImage::Format_RGB32));
}

}  // namespace
}  // namespace lark
