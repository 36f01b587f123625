// The notification dialogs' requests: command 20 is not one the reply
// dispatcher serves, so each of them polls its own request on timer 1032
// and reads the outcome here.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "common/bytes.h"

namespace lark {

class DialogBase;

inline constexpr uint8_t kNotifyDone = 39;  // command 20's success code
inline constexpr uint32_t kNotifyTimeoutMs = 5000;

struct NotifyOutcome {
  enum Kind { kTimedOut, kFailed, kDone } kind;
  std::vector<uint8_t> frame;  // the reply, empty after a time-out
  // The notification block a read brings from byte 7; empty when short.
  CBytes block() const;
};

// One tick of timer 1032: nullopt while the request is still out.
std::optional<NotifyOutcome> PollNotifyRequest(DialogBase& d);

}  // namespace lark
