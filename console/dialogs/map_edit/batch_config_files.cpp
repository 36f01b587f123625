#include "console/dialogs/map_edit/batch_config_files.h"

namespace lark {

namespace {

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Could stand between double quotes of the script as one word.
bool QuotableWord(std::string_view s) {
  for (char c : s)
    if (c == '"' || IsControl(c)) return false;
  return true;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Each line of `text` without its LF (nor a CR before it); a last line
// without an end counts, an end at the very end opens none.
template <class F>
void ForEachLine(std::string_view text, F&& f) {
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find('\n', pos);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(pos, end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    f(line);
    pos = end + 1;
  }
}

}  // namespace

const char* ConfigFileName(ConfigFile file) {
  return file == ConfigFile::kSystem ? "configure.ini" : "snmp.ini";
}

bool FirmwareOffersFtp(CBytes field) {
  std::string_view text(reinterpret_cast<const char*>(field.data()), field.size());
  text = text.substr(0, text.find('\0'));
  size_t i = text.find_first_not_of(' ');
  if (i == std::string_view::npos) return false;
  while (i < text.size() && text[i] == '0') ++i;  // leading zeros say nothing
  const size_t whole = i;
  while (i < text.size() && IsDigit(text[i])) ++i;
  const std::string_view major = text.substr(whole, i - whole);
  if (major.size() > 1 || (major.size() == 1 && major[0] > '1')) return true;
  if (major != "1") return false;
  // 1.x: the first two decimals decide, later ones cannot lift 1.13x to 1.14.
  if (i < text.size() && text[i] == '.')
    ++i;
  else
    i = text.size();
  int minor = 0;
  for (int d = 0; d < 2; ++d) {
    const bool digit = i < text.size() && IsDigit(text[i]);
    minor = minor * 10 + (digit ? text[i++] - '0' : 0);
    if (!digit) i = text.size();
  }
  return minor >= 14;
}

bool IsPlainHostAddress(std::string_view address) {
  if (address.empty() || address.size() > 253 || address[0] == '-' || address[0] == '.')
    return false;
  for (char c : address)
    if (!(IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '.'))
      return false;
  return true;
}

int CheckFtpLogin(std::string_view account, std::string_view password) {
  return account.empty() || !QuotableWord(account) || !QuotableWord(password) ? kRefuseFtpLogin : 0;
}

int CheckFtpTransfer(const FtpTransfer& t) {
  if (int refusal = CheckFtpLogin(t.account, t.password)) return refusal;
  if (!IsPlainHostAddress(t.address)) return kRefuseCardAddress;
  if (t.installDir.empty() || !QuotableWord(t.installDir)) return kRefuseInstallPath;
  return 0;
}

std::string FtpScript(const FtpTransfer& t) {
  const std::string name = ConfigFileName(t.file);
  const std::string local = "\"" + t.installDir + "/Ftp/" + name + "\"";
  std::string s = "open " + t.address + "\n";
  // The client takes "" for no word at all and would then read the password
  // from the next line: an empty password is that line, left empty.
  s += t.password.empty() ? "user \"" + t.account + "\"\n\n"
                          : "user \"" + t.account + "\" \"" + t.password + "\"\n";
  s += "binary\n";
  s += t.put ? "put " + local + " " + name + "\n" : "get " + name + " " + local + "\n";
  s += "bye\n";
  return s;
}

bool DownloadComplete(std::string_view text) {
  return text.find("[End]") != std::string_view::npos;
}

bool PutConfirmed(std::string_view log) {
  bool named = false, confirmed = false;
  ForEachLine(log, [&](std::string_view line) {
    if (line.starts_with("local:")) {
      named = true;
      confirmed = false;
    } else if (named && (line.starts_with("226 ") || line.starts_with("250 "))) {
      confirmed = true;
    }
  });
  return confirmed;
}

std::string EditTextOf(std::string_view file) {
  std::string out;
  out.reserve(file.size());
  bool first = true;
  ForEachLine(file, [&](std::string_view line) {
    if (!first) out += '\n';
    out += line;
    first = false;
  });
  return out;
}

std::string FileTextOf(std::string_view edit) {
  std::string out;
  out.reserve(edit.size() + edit.size() / 8);
  for (size_t pos = 0; pos < edit.size();) {
    size_t end = edit.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = edit.size();
    if (end > pos) {
      out.append(edit.substr(pos, end - pos));
      out += "\r\n";
    }
    pos = end + 1;
  }
  return out;
}

}  // namespace lark
