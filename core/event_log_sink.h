// Where every subsystem sends its event-log lines. The event log file is the
// real writer; tests use a recording fake.
#pragma once
#include <cstdint>
#include <string_view>

namespace lark {

// Levels of an event: 0 Serious, 1 Warning, 2 Information.
enum EventLevel : uint32_t { kLevelSerious = 0, kLevelWarning = 1, kLevelInformation = 2 };
// The code of the service's own messages.
inline constexpr int32_t kSystemEventCode = 1000;

class EventLogSink {
 public:
  virtual ~EventLogSink() = default;
  // number: node id (0 for the service itself); code: action-row index or 1000.
  virtual void WriteEventLog(int32_t number, uint32_t level, int32_t code,
                             std::string_view text) = 0;
};

}  // namespace lark
