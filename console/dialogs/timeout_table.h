// What a dialog does when its request times out: one row per dialog, found by
// its OpenDialogId, or for dialogs not listed by id, by the pending command.
// The status line's key may depend on the pending command or sub-command.
#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace lark {

class DialogBase;

enum class TimeoutWhen : uint8_t { kAlways, kCommandIs, kSubIs, kSubEven, kSubOdd };

struct TimeoutKey {
  TimeoutWhen when;
  uint8_t value;
  const char* key;
};

enum class TimeoutAfter : uint8_t {
  kNothing,  // the status line only
  kButtons,  // enable `buttons`, in order
  kClose,    // the 1 s failure pause, then result 0
};

struct TimeoutRow {
  int32_t id;                       // OpenDialogId, or -1: any dialog
  std::array<uint8_t, 2> commands;  // pending command (0: unused); both 0 with an id: any
  const char* section;              // null: no status line
  std::array<TimeoutKey, 4> keys;   // the first that matches; none: no status line
  TimeoutAfter after;
  std::array<int16_t, 3> buttons;   // kButtons, up to the first 0
  bool linkLoadFailed;              // the link goes to state 4, sub-state 3
  int16_t disable;                  // a button greyed as well, or 0
};

std::span<const TimeoutRow> TimeoutTable();
// The row for a dialog and its pending request, or null.
const TimeoutRow* FindTimeoutRow(std::optional<uint32_t> openDialogId, uint8_t command, uint8_t sub);
// The status line key of `row` for the pending request, or null.
const char* TimeoutMessageKey(const TimeoutRow& row, uint8_t command, uint8_t sub);
// Runs the reaction on `dialog` (its timer is already dead).
void RunTimeoutReaction(DialogBase& dialog);

}  // namespace lark
