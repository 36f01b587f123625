// The output and battery panels beside the UPS mimics: a caption and rows of
// up to three values (per phase or per battery string) from the node's block,
// one table per panel with a column per family.
#pragma once

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_rows.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"

namespace lark {

struct PanelOptions {
  bool secondVoltage = false;  // the output's second voltage row (three-phase mimic)
  bool binary = true;          // serve the binary block (not in the single-path mimic)
};

// Each starts with its caption at the cursor's row.
void DrawOutputPanel(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
                     PanelOptions options);
void DrawBatteryPanel(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
                      PanelOptions options);

// Where a battery panel `width` wide that ends at `right` under the rectifier
// starts: never left of the Internal column, so a narrow window does not put
// it over the Parameters; held right, it reaches the battery and then starts
// under the battery's caption instead of at `top`.
CanvasPoint BatteryPanelPlace(const DiagramLayout& l, const DiagramEnv& env, int right, int width, int top);

// The output panel right of a mimic whose output end stands at x0 + 8u:
// pushed left and down when it would come within 10 pixels of the main
// window's right edge, and below the battery's caption when it reaches it.
void DrawOutputPanelBeside(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                           const DiagramLayout& l, int x0, PanelOptions options);

}  // namespace lark
