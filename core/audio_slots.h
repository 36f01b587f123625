// Names of the "Audio" key shared by the service, which appends sound file
// names, and the tray programs, which each own one value and play it.
#pragma once
#include <cstddef>

namespace lark {

inline constexpr const char* kAudioKey = "Audio";
// Values "0" to "4": one per running tray program.
inline constexpr int kAudioSlotValues = 5;
// A tray program drops a list longer than this unplayed; a value whose tray
// died is not emptied until another tray takes it over, so appends stop at
// this length.
inline constexpr size_t kAudioValueMax = 259;

}  // namespace lark
