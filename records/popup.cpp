#include "records/popup.h"

#include <cstdio>

#include "common/bytes.h"
#include "core/settings.h"
#include "platform/paths.h"

namespace lark {

namespace {

constexpr const char* kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                      "Thursday", "Friday", "Saturday"};
constexpr const char* kMonthNames[12] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};

}  // namespace

PopupTargets PopupTargetsFrom(const BroadcastList& list) {
  PopupTargets t;
  t.wholeDomain = list.wholeDomain != 0;
  t.hosts.assign(list.hosts.begin(), list.hosts.end());
  return t;
}

std::string LongDateTime(const WallTime& t) {
  const char* day = kDayNames[(t.dayOfWeek % 7 + 7) % 7];
  const char* month = kMonthNames[(t.month >= 1 && t.month <= 12) ? t.month - 1 : 0];
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s, %s %d, %04d %02d:%02d:%02d", day, month, t.day, t.year,
                t.hour, t.minute, t.second);
  return buf;
}

std::string FormatPopupMessage(const WallTime& now, std::string_view text) {
  std::string message = LongDateTime(now);
  message.push_back(' ');
  message.append(text);
  return std::string(CutUtf8(message, kPopupMessageMax));
}

std::vector<std::vector<std::string>> PopupCommandLines(const std::string& program,
                                                        const PopupTargets& targets,
                                                        const std::string& message) {
  std::vector<std::vector<std::string>> lines;
  if (targets.wholeDomain) {
    lines.push_back({program, "*", message});
    return lines;
  }
  for (const auto& host : targets.hosts) {
    if (host.empty()) continue;
    lines.push_back({program, host, message});
  }
  return lines;
}

int LaunchPopup(std::string_view text, const PopupTargets& targets, const std::string& installDir,
                const Clock& clock, const SpawnFn& spawn) {
  if (text.empty()) return 0;
  // The screen saver switch of the original desktop has no counterpart here:
  // the message program itself decides how to get the user's attention.
  std::string message = FormatPopupMessage(clock.now(), text);
  std::string program = ResolveNoCase(installDir, kPopupProgram);
  int started = 0;
  for (const auto& argv : PopupCommandLines(program, targets, message)) {
    if (spawn(argv) > 0) ++started;
  }
  return started;
}

}  // namespace lark
