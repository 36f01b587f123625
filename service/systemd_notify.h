// Tells systemd (Type=notify) that start-up finished, when NOTIFY_SOCKET is set.
#pragma once
#include <string_view>

namespace lark {

// Sends `state` (e.g. "READY=1") to $NOTIFY_SOCKET; false when unset or on error.
bool NotifySystemd(std::string_view state);

}  // namespace lark
