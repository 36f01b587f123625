#include "console/dialogs/notify/notify_fields.h"

#include "common/bytes.h"

namespace lark {

namespace {
constexpr size_t kHostMax = 63;
}  // namespace

bool IsSafeHostName(std::string_view host) {
  if (host.empty() || host.size() > kHostMax) return false;
  for (unsigned char c : host) {
    if (c <= ' ' || c == 0x7f) return false;
  }
  return true;
}

std::optional<int> ParseComPort(std::string_view t) {
  if (t.size() < 4 || t.size() > 6) return std::nullopt;
  for (size_t i = 0; i < 3; ++i) {
    if ((t[i] & ~0x20) != "COM"[i]) return std::nullopt;
  }
  if (t[3] == '0') return std::nullopt;
  int n = 0;
  for (char c : t.substr(3)) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  if (n < 1 || n > kComPortMax) return std::nullopt;
  return n;
}

std::optional<std::string> NormalizeComPort(std::string_view text) {
  if (text.empty()) return std::string();
  const std::optional<int> n = ParseComPort(text);
  if (!n) return std::nullopt;
  return "COM" + std::to_string(*n);
}

std::string FieldFromTyped(std::string_view typed, size_t maxBytes) {
  std::string s(typed);
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < ' ' || c == 0x7f) c = ' ';
  }
  const size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  s = s.substr(b, s.find_last_not_of(' ') - b + 1);
  return std::string(CutUtf8(s, maxBytes));
}

}  // namespace lark
