// SMS-SUBMIT PDUs for a GSM modem in PDU mode, with the text in UCS-2.
//
//   00 31 00 0B 91 2143658709F1 00 08 A7 04 00680069
//   |  |  |  |  |  |            |  |  |  |  user data: UTF-16 units, high byte first
//   |  |  |  |  |  |            |  |  |  user-data length in octets
//   |  |  |  |  |  |            |  |  validity: 24 hours
//   |  |  |  |  |  |            |  data coding: UCS-2
//   |  |  |  |  |  digits in swapped pairs, F-padded  (protocol id 00 before it)
//   |  |  |  |  91 international ("+"), 81 unknown
//   |  |  |  digit count
//   |  |  message reference
//   |  first octet: SMS-SUBMIT, relative validity, status report (0x71 with a header)
//   no service-centre address: the modem's own
//
// A text longer than one message goes as a concatenated message: each part
// starts its user data with the header 05 00 03 <ref> <parts> <part>.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

inline constexpr size_t kSmsMaxNumberDigits = 20;
inline constexpr size_t kSmsSingleUnits = 70;  // UCS-2 units in one message
inline constexpr size_t kSmsPartUnits = 67;    // units in one part of a linked message
inline constexpr size_t kSmsMaxParts = 16;     // longer texts are cut

// An optional "+" and 1 to 20 digits: nothing a modem command could be fed.
bool IsValidSmsNumber(std::string_view number);

// UTF-8 to UTF-16 units: bad bytes become U+FFFD, characters above U+FFFF a
// surrogate pair.
std::u16string Utf8ToUtf16(std::string_view text);

// True when the text mode of the modem cannot carry the text (bytes other
// than printable ASCII and LF).
bool NeedsPduMode(std::string_view text);

struct SmsPdu {
  std::string hex;  // upper-case hex, from the leading "00"; no Ctrl-Z
  int octets = 0;   // the length AT+CMGS announces: the octets after the leading "00"
};

// The PDUs of one message to `number` (which must pass IsValidSmsNumber):
// one, or up to kSmsMaxParts linked parts with reference `ref`.
std::vector<SmsPdu> EncodeSmsPdu(std::string_view number, std::string_view text, uint8_t ref);

}  // namespace lark
