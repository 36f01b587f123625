// Three-phase UPS units answering on a scripted line (binary protocol), from
// the sample replies the simulator uses. Faults are switched between steps.
#pragma once
#include <map>
#include <memory>
#include <string>

#include "devices/binary/binary_samples.h"
#include "tests/support/scripted_serial_port.h"

namespace lark::test {

class ScriptedThreePhaseUps {
 public:
  explicit ScriptedThreePhaseUps(std::shared_ptr<ScriptedLine> line);
  ThreePhaseUnit& add(int address, bool eightTypes = true);
  ThreePhaseUnit& unit(int address) { return units_.at(address); }

  bool silent = false;    // answer nothing
  std::string nextReply;  // when set, the next reply is this instead (once)

 private:
  std::shared_ptr<ScriptedLine> line_;
  std::map<int, ThreePhaseUnit> units_;
};

}  // namespace lark::test
