// What the SNMP batch configuration reads and writes besides its controls:
// which cards offer FTP, the FTP client's script and the checks that keep
// every word of it one word, and the texts that come back (the downloaded
// file, the client's log). No Qt, so the readers can be fuzzed alone.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace lark {

enum class ConfigFile { kSystem, kSnmp };  // configure.ini, snmp.ini
const char* ConfigFileName(ConfigFile file);

// The refusals' [MessageBox] numbers.
inline constexpr int kRefuseFtpLogin = 115;     // empty account, '"' or a control character
inline constexpr int kRefuseCardAddress = 116;  // neither dotted nor a host name
inline constexpr int kRefuseInstallPath = 117;  // the install folder cannot stand in the script
// A downloaded file larger than this is no card's configuration.
inline constexpr size_t kMaxConfigFileBytes = 1 << 20;

// The firmware text of a card's SnmpLiveData (up to its NUL or the field's
// end) read as a number: at least 1.14 offers FTP ("2.1c" reads 2.1).
bool FirmwareOffersFtp(CBytes field);

struct FtpTransfer {
  bool put = false;
  ConfigFile file = ConfigFile::kSystem;
  std::string address;  // the card's
  std::string account;
  std::string password;
  std::string installDir;  // the local copy is <installDir>/Ftp/<name>
};
// 0, or kRefuseFtpLogin: the account empty, or either holding '"' or a
// control character, which could break out of its place in the script.
int CheckFtpLogin(std::string_view account, std::string_view password);
// 0, or the refusal of a field that could break out of its place in the script.
int CheckFtpTransfer(const FtpTransfer& t);
// Dotted text or a host name: letters, digits, '-' and '.', not led by '-'.
bool IsPlainHostAddress(std::string_view address);
// The client's standard input for a checked transfer (`ftp -n -v`): the
// account and password stand quoted on the one `user` line, so nothing of
// them is ever read as a command of its own.
std::string FtpScript(const FtpTransfer& t);

// A download is whole when it holds the cards' end marker "[End]".
bool DownloadComplete(std::string_view text);
// The client's log says the put went through: a 226 or 250 reply after the
// line that names the put's files ("local: ...").
bool PutConfirmed(std::string_view log);
// The file's lines without their ends, joined by '\n', for the edit.
std::string EditTextOf(std::string_view file);
// The edit's non-empty lines, each ended by CR LF, for the file.
std::string FileTextOf(std::string_view edit);

}  // namespace lark
