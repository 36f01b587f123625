// The three-phase mimic (UPS type code 3, other than the TRV5200 and 9315
// models): sunken pipes for the static bypass, the maintenance bypass and
// the double-conversion path, the path that carries the load lit by the
// device's events, the rectifier, inverter and battery marked normal or
// faulty, and the output and battery panels beside them. It stands 20
// pixels right of the tab's origin.
#pragma once
#include <cstdint>
#include <vector>

#include "console/diagram/diagram_env.h"
#include "console/diagram/diagram_flow.h"
#include "console/diagram/diagram_source.h"
#include "console/diagram/diagram_tab.h"

namespace lark {

class Canvas;

inline constexpr int kThreePhaseShift = 20;

enum class PhaseSegment : uint8_t {
  kBypassFeed,
  kStaticBypassLine,
  kMaintenanceBranch,
  kMaintenanceLine,  // x0 + u to x0 + 7u
  kMaintenanceOut,   // the maintenance line carried on to the output end
  kUpperRiser,
  kMainsInput,
  kChargerLink,
  kInverterRun,
  kInverterRunFromJoint,  // the inverter run starting at the battery joint
  kMainLine,
  kLowerRiser,
  kBatteryBranch,
  kOutputStub,
};

struct PhaseFill {
  PhaseSegment segment;
  FlowLevel level;
  bool operator==(const PhaseFill&) const = default;
};

// The lit segments in painting order: the charging mark first, then the
// rules of the device's family (SNMP; CommType 0, 2 and GPRS; CommType 1).
// Other devices light nothing.
std::vector<PhaseFill> ThreePhaseLit(const DiagramSource& src);

// What the symbols show.
struct PhaseSymbols {
  bool rectifierFault = false;
  bool inverterFault = false;
  bool batteryFault = false;
};
PhaseSymbols ThreePhaseSymbols(const DiagramSource& src);

// A segment's rectangle, both corners included, for the tab's layout (the
// shift applied here).
CanvasRect PhaseSegmentRect(PhaseSegment s, const DiagramLayout& l);

void DrawThreePhaseMimic(Canvas& c, const DiagramSource& src, const DiagramEnv& env,
                         const DiagramLayout& l);

}  // namespace lark
