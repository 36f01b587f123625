// The Diagram tab's value lists: the "Parameters" column (its variants for
// the TRV5200 and 9315 UPSs and the common one), the environment and relay
// rows of SNMP devices, and the output panel beside the single-phase
// diagram. Each is a table of rows with a source per family.
#pragma once

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_rows.h"
#include "console/diagram/diagram_source.h"

namespace lark {

// The Parameters column from the cursor's row on; `upsTypeCode` 6 leaves out
// the first section.
void DrawParameterRows(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env,
                       int upsTypeCode);
// The empty row, then for an SNMP device with both alarm slots known the
// environment caption, temperature, humidity and relay rows.
void DrawEnvironmentRows(RowCursor& rows, const DiagramSource& src, const DiagramEnv& env);

}  // namespace lark
