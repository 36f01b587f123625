// The Diagram tab plugged into the console: the detail tabs' Diagram painter,
// with its environment built from the console's context at each paint.
#pragma once

#include "console/diagram/diagram_env.h"

namespace lark {

class ConsoleContext;

// Fonts, colours, texts, the tree, today's date and the main window's edges
// as they are now; `area` is the Diagram page's client rectangle.
DiagramEnv MakeDiagramEnv(const ConsoleContext& ctx, CanvasRect area);

// Fills the detail tabs' Diagram painter (page 1).
void InstallDiagramTab(ConsoleContext& ctx);

}  // namespace lark
