// The Diagram tab of a device that is no UPS (an inverter, a sensor, a meter
// or a meter sum, served locally or by SNMP): no UPS mimic, and its readings
// listed in the Parameters column, one row per value the device reports.
#pragma once

#include "console/diagram/diagram_rows.h"

namespace lark {

class DeviceNode;

// An inverter, sensor, meter or meter sum: a local device of those CommTypes
// or an SNMP device of the inverter and sensor MIB.
bool IsUpsLessDevice(const DeviceNode& node);

// A "Readings" caption and a whole-number row "Value n" for each reported
// (non-negative) value of the device's block; rows that would pass `bottom`
// go on in `more` (the column the mimic leaves free).
void DrawReadingRows(RowCursor& rows, RowCursor& more, const DeviceNode& node, int bottom);

}  // namespace lark
