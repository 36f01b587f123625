// The one-line mimic of the 9315 UPS (CommType 5, code 3): a bypass line on
// top, the main line through CB1, rectifier, the battery joint with CB2,
// inverter and CB3, the powered lines green over grey, and the output,
// inverter and battery panels. Drawn with the TRV5200 mimic's pieces.
#pragma once
#include <cstdint>
#include <vector>

#include "console/diagram/mimic_trv5200.h"

namespace lark {

enum class PwLine : uint8_t {
  kMainIn,       // main source to CB1
  kToRectifier,  // CB1 on
  kRectifierToInverter,
  kBatteryTap,         // the main line down to CB2
  kBatteryLead,        // CB2 down to the battery
  kBatteryToInverter,  // the battery joint along to the inverter
  kInverterOut,        // inverter to CB3
  kOutputLine,         // CB3 to the output
  kBypassIn,           // bypass source to the static switch
  kBypassLine,
  kBypassDrop,
  kBypassOut,
};
// The powered lines of the main, bypass and battery groups, each once, in
// enum order. None while bit 40 is set.
std::vector<PwLine> Pw9315GreenLines(uint64_t mask);
const GridLine& PwLineAt(PwLine line);

// Bypass input, main input, output, bypass, rectifier, inverter, battery.
std::vector<OneLinePicture> Pw9315Pictures(uint64_t mask);
const std::vector<OneLineSwitch>& Pw9315Breakers();

void DrawPw9315Mimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                     const DiagramLayout& l);

}  // namespace lark
