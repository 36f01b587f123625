// The Diagram tab plugged into the console: the painter's environment built
// from the console's context at each paint.
#pragma once

#include "console/diagram/diagram_env.h"

namespace lark {

class ConsoleContext;

// Fonts, colours, texts, the tree, today's date and the main window's edges
// as they are now; `area` is the Diagram page's client rectangle.
DiagramEnv MakeDiagramEnv(const ConsoleContext& ctx, CanvasRect area);

}  // namespace lark
