// The transfer panel of a PLC (CommType 4), which takes the whole Diagram
// page: the bypass UPS on the left with its switch and the bus running
// right, and for each point of the PLC's table a transfer-switch box fed
// from the bus and its own input, with the UPS it serves below it. Lines
// and contacts follow the PLC's input and output bits; the UPS boxes take
// the alarm level of the nodes they name, looked up at each paint.
#pragma once

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_source.h"

namespace lark {

class Canvas;
class DeviceNode;

// Input bit p is bit p mod 8 of value slot p / 8, output bit p of slot
// 20 + p / 8. A bit outside the value array, or of a slot without a
// reading, reads clear.
bool PlcBit(const DiagramSource& src, int p, bool output);

inline constexpr ColorRef kPlcActive = 0x5cc0c0;
inline constexpr ColorRef kPlcGrey = 0xc0c0c0;
inline constexpr ColorRef kPlcFrame = 0x808080;

void PaintPanelIcons(Canvas& c, const DeviceNode& plc, CanvasRect area, int panelLineHeight,
                     const DiagramEnv& env);

}  // namespace lark
