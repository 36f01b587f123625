// The Diagram tab of the selected device: the "Parameters" column of
// measured values on the left and the "Internal" column with the device's
// mimic on the right, drawn straight onto the page from the node's block at
// every paint.
#pragma once

#include "console/diagram/diagram_env.h"

namespace lark {

class Canvas;
class DeviceNode;

// The tab's set-up for one paint; tests read it back.
struct DiagramLayout {
  int gap = 0;         // extra height of a row
  int margin = 0;      // m, left margin of the first column (0..20)
  int labelWidth = 0;  // first column
  int valueWidth = 0;
  int panelWidth = 0;  // first column: label + 4 value columns + 15
  int column = 0;      // c: panel width + 10
  int firstLeft = 0;   // first column's title row
  int titleTop = 0;
  int firstRowTop = 0;       // first value row
  int secondLeft = 0;        // "Internal" title row
  int secondLabelWidth = 0;  // second column (the mimic panels)
  int secondPanelWidth = 0;
  int pipe = 0;  // w, pipe width
  int u = 0;     // diagram unit
  int x0 = 0;
  int y0 = 0;
  bool mimic = false;  // a diagram fits (u >= 1)
};

DiagramLayout ComputeDiagramLayout(Canvas& page, const DeviceNode& node, const DiagramEnv& env);

// The mimic a node gets, by kind, CommType and UpsTypeCode.
enum class DiagramMimic : uint8_t {
  kNone,
  kSinglePhase,  // codes 0..2, CommType other than 1
  kPlcPanel,     // CommType 4: the whole page
  kTrv5200,      // code 3, CommType 3
  kPw9315,       // code 3, CommType 5
  kThreePhase,   // code 3, other CommTypes
  kSinglePath,   // code 6
};
DiagramMimic ChooseDiagramMimic(const DeviceNode& node);

void PaintDiagramTab(Canvas& page, const DeviceNode& node, bool full, const DiagramEnv& env);

}  // namespace lark
