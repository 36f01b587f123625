// The ASCII UPS protocol's frames and answer decoding, apart from any port:
// request builders, the answer header check, and the decoders that store an
// answer's fields into an AsciiLiveData image.
//
// Request:  ~ 0 1 P 0 0 3 S T B [C S]        query "STB" to bus address 01
//           0 1 2 3 4 5 6 7 8 9  10 11
//           "~%02dP%03d%s", or "~%02d" + a queued command text whose last two
//           length digits are the text length - 4; then the Sum8 of all
//           preceding bytes as "%02X" when checksums are on.
// Answer:   ~ 0 1 D 0 1 2 2 3 0 ; 5 0 ; 0 ; 1 [C S]
//           0 1 2 3 4 5 6 7 ...
//           address (two decimal digits), letter A (accepted), R (refused) or
//           D (data: three length digits, then the payload of ';'-separated
//           decimal fields); the Sum8 digits when the device checks sums.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "devices/ascii_live_data.h"

namespace lark {

inline constexpr size_t kAsciiRxBufferSize = 257;  // the port's receive buffer
inline constexpr size_t kAsciiHeaderSize = 4;      // "~01D"
inline constexpr size_t kAsciiDataHeaderSize = 7;  // "~01D012"
// The largest payload whose answer fits the receive buffer.
inline constexpr size_t kAsciiMaxPayload = kAsciiRxBufferSize - kAsciiDataHeaderSize;
inline constexpr size_t kAsciiMaxFrame = 37;  // "~01" + 32-byte command + 2 sum digits

inline constexpr int kIdentQueryCount = 12;   // index 0 is never sent
inline constexpr int kStatusCycleCount = 27;  // indices 0..26 are polled
inline constexpr int kStatusQueryCount = 30;  // 27..29 only answered
extern const std::array<const char*, kIdentQueryCount> kIdentQueries;
extern const std::array<const char*, kStatusQueryCount> kStatusQueries;
// Capability bit that gates status query i (-1: always asked).
extern const std::array<int, kStatusCycleCount> kStatusCapabilityBit;
// Capability bit set by position i of the "AL1".."AL3" answers (-1: none).
extern const std::array<std::array<int, 25>, 3> kAlarmListBits;

int IdentIndexOf(std::string_view code);   // -1 when unknown
int StatusIndexOf(std::string_view code);  // -1 when unknown

// Two upper-case hex digits of the Sum8 of `bytes`.
std::string Sum8Text(CBytes bytes);
// "~%02dP%03d%s" plus the checksum when asked.
std::string BuildQueryFrame(int bus, std::string_view code, bool checksum);
// "~%02d" + `text` with its last two length digits set to its length - 4,
// plus the checksum when asked.
std::string BuildCommandFrame(int bus, std::string_view text, bool checksum);
// `text` with the two digits at 2..3 set to its length - 4 (texts of 4..103
// bytes; others come back unchanged).
std::string WithLengthDigits(std::string text);

// Check of the four header bytes "~AAx" for the device at `bus`.
enum class AsciiHeader { kNeedMore, kBad, kOk };
AsciiHeader CheckAnswerHeader(CBytes buf, int bus);
// The payload length of a "D" answer from bytes 4..6; -1 when they are not
// three digits or the buffer is shorter than 7 bytes.
int AnswerDataLength(CBytes buf);
// The query code of a request frame: bytes 7..9 of a "P" request, else empty.
std::string RequestCode(CBytes frame);

// One decimal field: empty gives -1; otherwise the leading number (sign and
// digits after blanks, 0 when there are none), clamped to the i32 range.
int32_t FieldValue(std::string_view field);
// The payload split at ';' (empty fields kept; at most 256 fields).
std::vector<std::string_view> SplitFields(std::string_view payload);

// What an answer asks of the node and the shared event-log buffer; applied by
// the engine after the block lock is released.
struct AnswerEffects {
  int upsTypeCode = -1;  // >= 0: new operating state byte
  int status2 = -1;      // >= 0: new second status byte
  struct LogWrite {
    size_t offset;
    std::string bytes;
    bool clearEntry;  // zero the 200-byte entry at `offset` first
  };
  std::vector<LogWrite> logWrites;
};

// Stores a "D" answer to an identification query (index 1..11).
void ApplyIdentAnswer(AsciiImage& img, int identIndex, std::string_view payload, AnswerEffects* fx);
// Stores a "D" answer to a status query (index 0..29). `upsTypeCode` is the
// node's operating state, which the "STO" decoding looks at.
void ApplyStatusAnswer(AsciiImage& img, int statusIndex, std::string_view payload,
                       uint8_t upsTypeCode, AnswerEffects* fx);
// An "R" answer to `code`: in status polling "PMA".."BCT" lose their
// capability bit; while identifying "AL1".."AL3" skip the remaining lists.
void ApplyRefusal(AsciiImage& img, bool identifying, std::string_view code);

// The debounce step shared by the "STA" alarms and the module alarms: a set
// source counts up and sets the bit when the counter was already `limit` or
// more; a clear source counts down and clears the bit when it was already 0.
void DebounceBit(AsciiImage& img, size_t counterOff, size_t maskOff, int bit, bool source,
                 int limit);

}  // namespace lark
