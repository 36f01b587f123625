// The desktop popup: starts the outside program Larknote once per target
// with the message as one argument (never through a shell).
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace lark {

struct BroadcastList;

// The longest popup message, in bytes (cut at a character boundary).
inline constexpr size_t kPopupMessageMax = 260;
inline constexpr const char* kPopupProgram = "Larknote";

// Who receives popups: the whole domain ("*"), else each host in order.
struct PopupTargets {
  bool wholeDomain = false;
  std::vector<std::string> hosts;  // empty names are skipped
};

// The targets of the notification setup's broadcast list.
PopupTargets PopupTargetsFrom(const BroadcastList& list);

// "Monday, January 6, 2025 14:03:09": the long date and 24-hour time of the
// default (English) locale, as alarm texts show them.
std::string LongDateTime(const WallTime& t);
// "<LongDateTime> <text>", cut to kPopupMessageMax bytes.
std::string FormatPopupMessage(const WallTime& now, std::string_view text);
// One argv per target: {program, "*" or host, message}.
std::vector<std::vector<std::string>> PopupCommandLines(const std::string& program,
                                                        const PopupTargets& targets,
                                                        const std::string& message);

// Starts a process from an argv; returns its pid or -1 (platform Spawn in the service).
using SpawnFn = std::function<pid_t(const std::vector<std::string>&)>;

// Shows `text` on the targets' desktops through <installDir>/Larknote. An
// empty text does nothing. Returns how many programs were started. The
// children are reaped by the service's one-second ReapChildren.
int LaunchPopup(std::string_view text, const PopupTargets& targets, const std::string& installDir,
                const Clock& clock, const SpawnFn& spawn);

}  // namespace lark
