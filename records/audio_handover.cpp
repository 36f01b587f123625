#include "records/audio_handover.h"

#include <string>

#include "core/device_node.h"
#include "core/group_totals.h"
#include "platform/key_store.h"

namespace lark {

namespace {

std::string ValueName(int i) { return std::to_string(i); }

}  // namespace

void ResetAudioSlots(KeyStore& keys) {
  keys.createKey(kAudioKey);
  for (int i = 0; i < kAudioSlotValues; ++i) keys.remove(kAudioKey, ValueName(i));
}

void ClearAudioSlots(KeyStore& keys, std::string_view name) {
  if (!name.empty()) {
    keys.write(kAudioKey, name, "");
    return;
  }
  for (int i = 0; i < kAudioSlotValues; ++i) {
    if (keys.read(kAudioKey, ValueName(i))) keys.write(kAudioKey, ValueName(i), "");
  }
}

int HandOverSound(KeyStore& keys, std::string_view soundFile) {
  if (soundFile.empty()) return 0;
  for (char c : soundFile) {
    if (c == ';' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return 0;
  }
  std::string entry(soundFile);
  entry.push_back(';');
  int taken = 0;
  for (int i = 0; i < kAudioSlotValues; ++i) {
    // Only values a tray program created get sounds.
    if (!keys.read(kAudioKey, ValueName(i))) continue;
    if (keys.append(kAudioKey, ValueName(i), entry, kAudioValueMax)) ++taken;
  }
  return taken;
}

void InitInverterValues(KeyStore& keys) {
  keys.createKey(kInverterKey);
  for (int i = 0; i < kInverterValues; ++i) keys.write(kInverterKey, ValueName(i), "");
}

std::array<int32_t, kInverterValues> InverterSummary(const DeviceNode& root) {
  // One read of the group's nine values, so a recomputation in progress on a
  // poll thread is never seen half done.
  static constexpr std::array<GroupTotal, kInverterValues> kOrder = {
      GroupTotal::kS0, GroupTotal::kS1, GroupTotal::kS2, GroupTotal::kS3,
      GroupTotal::kS6, GroupTotal::kA0, GroupTotal::kA1};
  const GroupTotalsValues totals = ReadGroupTotals(root);
  std::array<int32_t, kInverterValues> values{};
  for (size_t i = 0; i < values.size(); ++i) values[i] = totals[static_cast<size_t>(kOrder[i])];
  return values;
}

int WriteInverterValues(KeyStore& keys, const std::array<int32_t, kInverterValues>& values) {
  int written = 0;
  for (int i = 0; i < kInverterValues; ++i) {
    std::string text = std::to_string(values[static_cast<size_t>(i)]);
    // Every write is a synced file replacement on the loop thread: skip
    // the values that already read the same, which is nearly all of them.
    if (keys.read(kInverterKey, ValueName(i)) == text) continue;
    if (keys.write(kInverterKey, ValueName(i), text)) ++written;
  }
  return written;
}

}  // namespace lark
