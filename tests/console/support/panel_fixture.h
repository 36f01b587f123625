// The painters' inputs for tests: the console's fonts, labels that name
// their own keys ("S3", "CP14", "G12"), the English status words, action
// tables whose titles name family and event, a back buffer, and a node of
// each device family with its block.
#pragma once
#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>
#include <memory>
#include <string>

#include "console/shell/console_context.h"
#include "console/shell/console_texts.h"
#include "console/views/panel_inputs.h"
#include "core/device_node.h"
#include "core/live_data.h"
#include "tests/support/temp_dir.h"

namespace lark::test {

struct PanelFixture {
  ConsoleFonts fonts = MakeConsoleFonts();
  LanguageTexts texts = InitialLanguageTexts();
  ConsoleStatusTexts status = BuildStatusTexts();
  std::shared_ptr<ActionTables> actions = std::make_shared<ActionTables>();
  BackBuffer buffer;
  std::string language = "English";
  CanvasRect page{0, 0, 900, 400};
  CanvasRect pane{0, 0, 200, 500};
  int tabWidth = 905;
  int lineHeight = 13;
  int titleLineHeight = 17;
  LevelColours colours = kDefaultLevelColours;

  PanelFixture() {
    for (size_t i = 0; i < texts.summary.size(); ++i) texts.summary[i] = "S" + std::to_string(i + 1);
    for (size_t i = 0; i < texts.component.size(); ++i) texts.component[i] = "CP" + std::to_string(i + 1);
    for (size_t i = 0; i < texts.powerModule.size(); ++i) texts.powerModule[i] = "PM" + std::to_string(i + 1);
    for (size_t i = 0; i < texts.general.size(); ++i) texts.general[i] = "G" + std::to_string(i + 11);
    texts.common[9] = "T10";
    // Titles "<family word> <event>", level of event i = i % 3.
    for (const ActionFamilyInfo& f : kActionFamilies) {
      ActionTable& t = actions->table(f.family);
      for (size_t row = 0; row < t.size(); row += 2) {
        t[row].setTitle(std::string(f.word) + " " + std::to_string(row / 2));
        t[row].setLevel(static_cast<uint8_t>(row / 2 % 3));
      }
    }
  }
  ActionRow& row(ActionFamily f, int event) { return actions->table(f)[static_cast<size_t>(2 * event)]; }

  // Back buffer made on `reference`, as the main window does on its surface.
  PanelInputs inputs(const Canvas& reference) {
    buffer.Create(reference, fonts.value);
    return PanelInputs{fonts.label, fonts.value, fonts.panel, lineHeight, titleLineHeight, page, pane,
                       tabWidth, colours, language, actions, texts, status, buffer};
  }
};

// Compares `image` with the golden picture at `relative` (under the source
// tree); LARK_UPDATE_GOLDEN=1 rewrites the picture first.
inline void ExpectGoldenPicture(const QImage& image, const std::string& relative) {
  const std::string golden = SourcePath(relative);
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(image.save(QString::fromStdString(golden)));
  }
  QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), want.convertToFormat(QImage::Format_RGB32));
}

// The quoted text of a recorded operation ("TextOut 1,2 \"text\" ...").
inline std::string Quoted(const std::string& op) {
  const size_t a = op.find('"'), b = op.rfind('"');
  return a == std::string::npos || b <= a ? "" : op.substr(a + 1, b - a - 1);
}

// A device of the family: kind, CommType (serial devices) and MibType (SNMP),
// with its blocks as the console allocates them.
inline std::unique_ptr<DeviceNode> MakeDevice(uint8_t kind, int16_t commType = 0, uint8_t mib = kMibMakerUps) {
  auto n = std::make_unique<DeviceNode>();
  n->setNodeKind(kind);
  n->setCommType(kind == kNodeSerial ? commType : 0);
  n->setMibType(kind == kNodeSnmp ? mib : 0);
  AllocateNodeBlocks(*n);
  return n;
}

}  // namespace lark::test
