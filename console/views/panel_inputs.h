// What the device panels (Summary, Module, Diagram, property pane) read
// besides the node: fonts and row heights, the tab area, the level colours,
// the language, the action tables, the texts and the back buffer. The shell
// fills one per refresh from its context; everything is borrowed for the
// call and never kept.
#pragma once
#include <QFont>
#include <memory>
#include <string_view>

#include "console/views/canvas.h"
#include "console/views/drawing_kit.h"
#include "console/views/status_lists.h"
#include "core/action_tables.h"
#include "core/language_texts.h"

namespace lark {

// Headings, labels, event titles and plain values of every panel.
inline constexpr ColorRef kPanelTextColour = Rgb(68, 117, 188);

struct PanelInputs {
  const QFont& labelFont;   // PanelLabelFont: Arial 11 px bold
  const QFont& valueFont;   // PanelValueFont: Arial 11 px
  const QFont& titleFont;   // PanelTitleFont: Arial 14 px
  int lineHeight;           // L: height + leading of the value font
  int titleLineHeight;      // T: height + leading of the title font
  CanvasRect page;          // client rectangle of a tab page
  CanvasRect pane;          // client rectangle of the property pane
  int tabAreaWidth;         // width of the tab control's area
  LevelColours levelColours;           // Serious, Warning, Information
  std::string_view languageName;       // the console's language folder name
  std::shared_ptr<const ActionTables> actions;  // null: no titles, level Information
  const LanguageTexts& texts;          // [Summary], [Component], [General], ...
  const ConsoleStatusTexts& status;
  BackBuffer& backBuffer;              // the dial gauges compose here
};

}  // namespace lark
