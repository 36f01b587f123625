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

// The tick of a dialog that reads with `readSub` and writes with another
// sub-command (Contactor, Notify By Service): a failed or timed-out read
// shows MSG4, a write MSG1 and gives Save (1015) back. The outcome only when
// the service did it (a read with its whole block).
std::optional<NotifyOutcome> PollReadOrWrite(DialogBase& d, uint8_t readSub);

}  // namespace lark
