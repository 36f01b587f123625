// Alarm sounds and the inverter summary handed to the tray programs through
// the key store: "Audio" holds one value "0".."4" per running tray program,
// each a list of sound files each followed by ';'; "Inverter" holds the root
// group's inverter totals "0".."6".
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "core/audio_slots.h"

namespace lark {

class DeviceNode;
class KeyStore;

inline constexpr const char* kInverterKey = "Inverter";
inline constexpr int kInverterValues = 7;

// Creates the Audio key and deletes any slot values left from before (start-up).
void ResetAudioSlots(KeyStore& keys);
// Empties every existing slot value, or with a name that one value.
void ClearAudioSlots(KeyStore& keys, std::string_view name = {});
// Appends "<file>;" to every existing slot value. A name that would break
// the list (';' or control characters) or an empty one is refused. Returns
// how many values took it.
int HandOverSound(KeyStore& keys, std::string_view soundFile);

// Creates the Inverter key with the seven values empty (start-up).
void InitInverterValues(KeyStore& keys);
// The root group's inverter totals in value order "0".."6" (group fields at
// 7184, 7164, 7160, 7188, 7192, 7168, 7172).
std::array<int32_t, kInverterValues> InverterSummary(const DeviceNode& root);
// Writes the seven totals as decimal text into "0".."6" (every second);
// values that already hold that text are left alone. Returns how many were written.
int WriteInverterValues(KeyStore& keys, const std::array<int32_t, kInverterValues>& values);

}  // namespace lark
