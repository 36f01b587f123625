// The property pane: identification, connection, rating and nominal values
// of the selected device, painted from outside into the pane's persistent
// picture whenever the selection changes or the tabs repaint in full.
#pragma once
#include "console/views/canvas.h"
#include "console/views/panel_inputs.h"
#include "core/device_node.h"

namespace lark {

// Each label and value text is cut to this many bytes, at a character
// boundary.
inline constexpr size_t kPaneTextMax = 67;

// Paints the pane (client rectangle `in.pane`) for `device`, or clears it
// when there is none. `paneHeight` is the pane's rectangle height, which
// sets the row gap.
void PaintPropertyPane(Canvas& c, const PanelInputs& in, const DeviceNode* device, int paneHeight);

}  // namespace lark
