// Everything the Diagram tab's painters take from the console besides the
// node: fonts and line heights, level colours, texts, today's date and the
// main window's edges. Built by the installer at each paint, so a language
// or settings change shows on the next one.
#pragma once
#include <QFont>
#include <array>
#include <string>

#include "console/views/drawing_kit.h"
#include "console/views/panel_inputs.h"
#include "console/views/value_boxes.h"
#include "core/language_texts.h"

namespace lark {

class DeviceNode;

struct DiagramDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

struct DiagramEnv {
  CanvasRect area;      // the Diagram page's client rectangle (all pages share its size)
  QFont label;               // PanelLabelFont
  QFont value;               // PanelValueFont
  int valueLineHeight = 0;   // L = ValueLineHeight
  QFont panel;          // PanelFont
  int panelLineHeight = 0;
  LevelColours levels = kDefaultLevelColours;
  const LanguageTexts* texts = nullptr;   // CP_n, T_8, T_9
  std::array<std::string, 4> relayNames;  // CP_38..CP_41 as copied at the language load
  const DeviceNode* root = nullptr;       // the tree, for the panels that name other nodes
  DiagramDate today;                      // local date, from the console's clock
  int tabAreaWidth = 0;                   // P: property pane's right + 3 to the client's right
  int paneRight = 0;                      // S: the property pane's right edge
  int clientRight = 0;                    // R: the main window client's right edge

  int lineHeight() const { return valueLineHeight; }
  // The value boxes' fonts, referring to this environment's.
  ValueBoxFonts boxes() const { return {label, value, valueLineHeight}; }
  // [Component] CP_n, "" when absent.
  std::string component(int n) const;
  // [Common] T_n, "" when absent.
  std::string common(int n) const;
};

// Section captions; labels, values, titles and underlines are in the
// panels' kPanelTextColour.
inline constexpr ColorRef kDiagramCaption = 0x4080ff;

}  // namespace lark
