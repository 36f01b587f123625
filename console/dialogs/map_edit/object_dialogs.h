// The progress dialogs that carry the map's structural edits to the service:
// Add (153), Cut (154), Paste (155), Remove (156) and Remove All (157). Each
// sends its request as it opens, shows only bar 1015, and closes by itself:
// 1 once the service made the change, 0 when it refused, did not answer in
// time, or the request could not be queued. The map's edit commands make the
// same change in the console's tree on 1.
#pragma once
#include "console/dialogs/dialog_base.h"
#include "console/dialogs/reply_timer.h"

namespace lark {

class ConsoleMap;

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
