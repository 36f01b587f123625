// The progress dialogs that carry the map's structural edits to the service:
// Add (153), Cut (154), Paste (155), Remove (156) and Remove All (157). Each
// sends its request as it opens, shows only bar 1015, and closes by itself:
// 1 once the service made the change, 0 when it refused, did not answer in
// time, or the request could not be queued. The map's edit commands make the
// same change in the console's tree on 1.
#pragma once
#include <cstdint>
#include <optional>

#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"

namespace lark {

class ConsoleMap;
class DeviceNode;

inline constexpr int kAddObjectResource = 153;
inline constexpr int kRemoveAllObjectResource = 157;
inline constexpr uint32_t kObjectRequestTimeoutMs = 10000;

// What an object dialog asks of the service: the command, its sub-command
// and the node it names (the current group, or its selected child for Cut
// and Remove).
struct ObjectRequest {
  uint8_t command = 0;
  uint8_t sub = 0;
  uint16_t nodeId = 0;
};
// Empty for a resource outside 153-157, or without the node it names.
std::optional<ObjectRequest> ObjectDialogRequest(int resource, uint8_t kindToAdd, const DeviceNode* group,
                                                 const DeviceNode* selected);

class ObjectDialog : public DialogBase {
 public:
  ObjectDialog(ConsoleDialogs& env, int resource, QWidget* owner);
  void Init() override;
  void OnReply(const ReplyView& reply);
};

// The object dialogs behind `map`'s edit commands; the property dialogs the
// add sequence opens come from the dialog registry.
void InstallObjectDialogs(ConsoleDialogs& env, ConsoleMap& map);

}  // namespace lark
