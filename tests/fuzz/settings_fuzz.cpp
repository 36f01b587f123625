// manager.ini text from disk: every settings reader, the old one-value-a-line
// conversion, and a write of what was read.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/settings.h"
#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  lark::ServiceSettings s;
  lark::ReadSettingsText(text, s, "/opt/lark");
  lark::ConvertOldSettingsText(text, s);
  lark::SanitizeSettings(s);
  if (s.serialPolling <= 0 || s.snmpPolling <= 0 || s.historyPeriod <= 0) __builtin_trap();
  return 0;
}
