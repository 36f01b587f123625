// What the notification dialogs accept from the keyboard before anything goes
// to the service: mail addresses and phone numbers the senders can take as
// they are, host names and the GSM modem's "COMn" port. A refused field
// names its [MessageBox] text, so every dialog refuses it in the same words.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace lark {

// [MessageBox] numbers of the refusals (the list full texts are M_23, M_24, M_27).
inline constexpr int kBadMailAddress = 70;
inline constexpr int kBadPhoneNumber = 78;
inline constexpr int kBadHostName = 79;
inline constexpr int kBadComPort = 80;
inline constexpr int kContactNameEmpty = 81;
inline constexpr int kContactListFull = 82;
inline constexpr int kMonitorIniNotWritten = 83;

inline constexpr int kComPortMax = 255;

// Not empty, at most 63 bytes, no blank and no control character.
bool IsSafeHostName(std::string_view host);
// "COMn" (any case) with n in 1..255; the number, else nullopt.
std::optional<int> ParseComPort(std::string_view text);
// The port as the settings keep it: "" stays "" (no modem), "com5" becomes
// "COM5"; nullopt for anything else.
std::optional<std::string> NormalizeComPort(std::string_view text);
// A typed text as one field: tabs, line ends and other control characters
// become blanks, surrounding blanks go, cut to `maxBytes` between characters.
std::string FieldFromTyped(std::string_view typed, size_t maxBytes);

}  // namespace lark
