// The keyless text encoding of stored passwords (control lock, database
// account, the database's user table): every 3 bytes become 4 characters of
// a 64-character alphabet, low bits first.
//
//   bytes   b0       b1       b2         N = b0 | b1 << 8 | b2 << 16
//   chars   N&63  (N>>6)&63  (N>>12)&63  (N>>18)&63
//   "abc" -> "V7qM"; a short last group is padded with zero bytes: "ab" -> "V74."
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace lark {

inline constexpr std::string_view kPasswordAlphabet =
    "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// The stored form of `plain` (its bytes as given; 4 characters per started
// group of 3). The empty password gives the empty text.
std::string EncodePassword(std::string_view plain);

// Every decoded byte, the zero padding of the last group included;
// nullopt when the length is not a multiple of 4 or a character is outside
// the alphabet.
std::optional<std::string> DecodePasswordBytes(std::string_view encoded);

// The password: the decoded bytes up to the first zero byte.
std::optional<std::string> DecodePassword(std::string_view encoded);

}  // namespace lark
