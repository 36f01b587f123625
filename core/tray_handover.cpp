#include "core/tray_handover.h"

#include <cstdint>

#include "common/bytes.h"
#include "platform/key_store.h"

namespace lark {

namespace {

// Leading blanks, a sign and decimal digits, as the C library reads a number;
// nullopt when there are no digits. Stops before overflowing 64 bits.
std::optional<int64_t> LeadingNumber(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  if (i >= s.size() || s[i] < '0' || s[i] > '9') return std::nullopt;
  int64_t v = 0;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    if (v > (INT64_MAX - 9) / 10) break;
    v = v * 10 + (s[i] - '0');
  }
  return negative ? -v : v;
}

std::string CutValue(std::string_view s) { return std::string(CutUtf8(s, kTrayValueMax)); }

}  // namespace

bool TrayRegistryOp(KeyStore& keys, int operation, std::string* text) {
  switch (operation) {
    case 0:
      return keys.createKey(kTrayKey);
    case 1:
      keys.remove(kTrayKey, kKeepAliveValue);
      keys.remove(kTrayKey, kTrayCommandValue);
      return true;
    case 2: {
      int64_t next = 0;
      if (auto old = keys.read(kTrayKey, kKeepAliveValue)) {
        auto n = LeadingNumber(*old);
        // The tray reads the counter as a signed 32-bit number: wrap to 0.
        if (n && *n >= 0 && *n < INT32_MAX) next = *n + 1;
      }
      return keys.write(kTrayKey, kKeepAliveValue, std::to_string(next));
    }
    case 3: {
      auto v = keys.read(kTrayKey, kKeepAliveValue);
      if (!v) return false;
      if (text) *text = CutValue(*v);
      return true;
    }
    case 4:
      return keys.write(kTrayKey, kTrayCommandValue, text ? CutValue(*text) : std::string());
    case 5: {
      // Read and clear in one step, so a command is acted on once even when
      // the tray writes again in between.
      auto v = keys.takeAndClear(kTrayKey, kTrayCommandValue);
      if (!v) return false;
      if (text) *text = CutValue(*v);
      return true;
    }
    default:
      return false;
  }
}

void TrayHandOver::start() {
  TrayRegistryOp(keys_, 0, nullptr);
  TrayRegistryOp(keys_, 1, nullptr);
}

void TrayHandOver::finish() { TrayRegistryOp(keys_, 1, nullptr); }

void TrayHandOver::onSecondTick() {
  if (monitoring()) TrayRegistryOp(keys_, 2, nullptr);
  std::string command;
  if (TrayRegistryOp(keys_, 5, &command) && !command.empty()) runCommand(command);
}

void TrayHandOver::runCommand(std::string_view text) {
  int64_t action = LeadingNumber(text).value_or(0);
  if (action == 0) {
    if (monitoringState() >= kMonitoringStopping) return;
    state_.store(kMonitoringStopping);
    std::string name = hooks_.stopMonitoring ? hooks_.stopMonitoring() : std::string();
    savedMap_ = name.empty() ? std::string() : name + ".UMF";
    state_.store(kMonitoringStopped);
  } else if (action == 1) {
    // While monitoring there is nothing to restart; reloading here would
    // empty the tree when no map was saved yet.
    if (monitoring()) return;
    if (hooks_.reloadMap) hooks_.reloadMap(savedMap_);
    state_.store(kMonitoring);
  }
}

}  // namespace lark
