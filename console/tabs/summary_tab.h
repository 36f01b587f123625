// The Summary page: on the left every event the device's family can raise,
// one line each with an icon of its state and level; on the right the main
// state in labelled rows with two dial gauges and bars. It reads the node and
// its family's block as last received and changes nothing.
#pragma once
#include "console/views/canvas.h"
#include "console/views/panel_inputs.h"
#include "core/device_node.h"

namespace lark {

// Paints the Summary of `device` (never a group) on the page `in.page`.
// With `full` the page is cleared first; without it each value row clears
// only its own rectangle.
void PaintSummaryTab(Canvas& c, const PanelInputs& in, const DeviceNode& device, bool full);

}  // namespace lark
