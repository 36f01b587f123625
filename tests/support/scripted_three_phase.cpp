#include "tests/support/scripted_three_phase.h"

namespace lark::test {

ScriptedThreePhaseUps::ScriptedThreePhaseUps(std::shared_ptr<ScriptedLine> line)
    : line_(std::move(line)) {
  line_->setResponder([this](const std::string& frame) {
    if (silent) return;
    if (!nextReply.empty()) {
      std::string r;
      r.swap(nextReply);
      line_->feed(r);
      return;
    }
    if (frame.size() < 2) return;
    auto it = units_.find(static_cast<uint8_t>(frame[1]));
    if (it == units_.end()) return;
    line_->feed(ThreePhaseReply(it->second, asBytes(frame)));
  });
}

ThreePhaseUnit& ScriptedThreePhaseUps::add(int address, bool eightTypes) {
  ThreePhaseUnit u;
  u.address = address;
  u.eightTypes = eightTypes;
  return units_[address] = u;
}

}  // namespace lark::test
