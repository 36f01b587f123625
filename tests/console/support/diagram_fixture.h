// The Diagram tab's inputs for tests: labels that read back as their keys
// (CP_n, T_n), pinned fonts and a page of fixed size, a node of each family
// with its block, and the recorded texts of a paint.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "console/diagram/diagram_env.h"
#include "console/views/recording_canvas.h"
#include "core/device_node.h"
#include "core/live_data.h"

namespace lark::test {

// Labels read back as their keys: CP_n and T_n.
inline LanguageTexts KeyTexts() {
  LanguageTexts t;
  for (int n = 1; n <= kComponentTextCount; ++n)
    t.component[static_cast<size_t>(n - 1)] = "CP_" + std::to_string(n);
  for (int n : {8, 9}) t.common[static_cast<size_t>(n - 1)] = "T_" + std::to_string(n);
  return t;
}

struct Env {
  LanguageTexts texts = KeyTexts();
  DiagramEnv env;
  Env() {
    env.label = QFont("Arial");
    env.label.setPixelSize(11);
    env.label.setBold(true);
    env.value = QFont("Arial");
    env.value.setPixelSize(11);
    env.valueLineHeight = 13;
    env.panel = QFont("Arial");
    env.panel.setPixelSize(14);
    env.panelLineHeight = 17;
    env.texts = &texts;
    env.relayNames = {"Door", "Fan", "Smoke", "Water"};
    env.today = {2026, 12, 11};
    env.area = {0, 0, 760, 420};
    env.tabAreaWidth = 780;
    env.paneRight = 200;
    env.clientRight = 963;  // S + 3 + P
  }
};

using Node = std::unique_ptr<DeviceNode>;

inline Node MakeNode(uint8_t kind, int16_t comm, uint8_t code = 0) {
  auto n = std::make_unique<DeviceNode>();
  n->setNodeKind(kind);
  n->setCommType(comm);
  n->setUpsTypeCode(code);
  if (kind == kNodeSnmp) n->ensureBlock(BlockKind::kSnmp);
  if (kind == kNodeGprs) n->ensureBlock(BlockKind::kGprs);
  if (kind == kNodeSerial) {
    const BlockKind b = comm == kCommThreePhase                  ? BlockKind::kBinary
                        : comm == kCommAscii || comm == kCommPlc ? BlockKind::kAscii
                                                                 : BlockKind::kModbus;
    n->ensureBlock(b);
  }
  return n;
}

inline LiveDataBlock& Block(const Node& n) { return *PrimaryBlock(*n); }

// The quoted texts of the recorded DrawText calls, in order.
inline std::vector<std::string> Texts(const RecordingCanvas& rec) {
  std::vector<std::string> out;
  for (const auto& op : rec.opsNamed("DrawText")) {
    const size_t a = op.find('"'), b = op.find('"', a + 1);
    out.push_back(op.substr(a + 1, b - a - 1));
  }
  return out;
}

// The colour a recorded DrawText of `text` was drawn in.
inline std::string ColourOf(const RecordingCanvas& rec, const std::string& text) {
  for (const auto& op : rec.opsNamed("DrawText"))
    if (op.find("\"" + text + "\"") != std::string::npos)
      return op.substr(op.find(" colour ") + 8, 6);
  return "none";
}

}  // namespace lark::test
