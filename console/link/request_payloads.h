// The payloads of dialog requests: which (command, sub-command) carries what,
// and builders for the shapes they share. A request whose payload does not
// fit its row, or whose row is not sent at all, is refused before anything
// is queued.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "linkserver/link_records.h"
#include "linkserver/user_records.h"

namespace lark {

// Record sizes carried by the requests.
inline constexpr size_t kNodeImageBytes = 7616;
inline constexpr size_t kMapNameBufferBytes = 256;
inline constexpr size_t kEventLogQueryBytes = 20;
inline constexpr size_t kPlcPointTableBytes = 2406;
inline constexpr size_t kSettingsRecordBytes = kSettingsImageSize;
inline constexpr size_t kNotificationBlockBytes = 12792;
inline constexpr size_t kTrafficRecordBytes = kTraceRequestSize;
inline constexpr size_t kUpsControlRecordBytes = kUpsControlRecordSize;
inline constexpr size_t kScheduleBlockBytes = 472;
inline constexpr size_t kDeviceSettingsBytes = 152;
inline constexpr size_t kUploadChunkMax = 32768;

// Bytes of each alarm-action table page (0, 2, ..., 20): events x two 604-byte rows.
inline constexpr std::array<size_t, 11> kActionTablePageBytes = {43488, 31408, 39864, 28992, 62816, 44696,
                                                                 2416,  49528, 20536, 7248,  31408};

// Whether `payload` is what (command, sub) carries through sendServiceRequest.
bool RequestPayloadFits(uint8_t command, uint8_t sub, CBytes payload);

// A node identifier, high byte first, then `rest`.
std::vector<uint8_t> IdPayload(uint16_t id, CBytes rest = {});
// A text up to its first NUL, with its terminating zero.
std::vector<uint8_t> TextPayload(std::string_view text);

// A typed map name as it goes to the service: ".UMF" added when it has no
// '.'. Refused (nullopt) when empty, longer than the 255 bytes the service's
// buffer holds, or when it could name anything but a plain file in the
// service's folder and the console's Monitor/ folder.
std::optional<std::string> MapFileName(const std::string& typed);
// The 256-byte name buffer of commands 8, 9 and 10.
std::vector<uint8_t> MapNameBuffer(const std::string& name);

}  // namespace lark
