// The end of the single-phase mimic (codes 0 and 1): the rectifier and
// inverter pictures with their captions and the battery panel under the
// rectifier.
#pragma once

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"

namespace lark {

class Canvas;

void DrawSinglePhaseParts(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                          const DiagramLayout& l);

}  // namespace lark
