// An event-log sink that keeps every line, for assertions.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "core/event_log_sink.h"

namespace lark::test {

struct LoggedEvent {
  int32_t number;
  uint32_t level;
  int32_t code;
  std::string text;
};

class RecordingEventLog final : public EventLogSink {
 public:
  void WriteEventLog(int32_t number, uint32_t level, int32_t code, std::string_view text) override {
    std::lock_guard<std::mutex> g(mu_);
    events_.push_back({number, level, code, std::string(text)});
  }
  std::vector<LoggedEvent> events() const {
    std::lock_guard<std::mutex> g(mu_);
    return events_;
  }

 private:
  mutable std::mutex mu_;
  std::vector<LoggedEvent> events_;
};

}  // namespace lark::test
