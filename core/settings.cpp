#include "core/settings.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>

#include "common/bytes.h"
#include "common/password.h"
#include "core/event_log.h"
#include "core/event_log_sink.h"
#include "core/legacy_maps.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "platform/text.h"

namespace lark {

namespace {

constexpr const char* kLevelSections[3] = {"Reaction.Serious", "Reaction.Warning",
                                           "Reaction.Information"};
constexpr const char* kColorKeys[3] = {"Serious", "Warning", "Information"};

// Large enough that the profile never cuts: cuts are made here, at a
// character boundary.
constexpr size_t kWholeValue = 1 << 16;
// Encoded passwords are read whole (4 characters per 3 bytes) so the longest
// password the dialogs accept survives a restart.
constexpr size_t kEncodedReadSize = 4 * ((kOdbcPasswordMax + 1 + 2) / 3) + 64;

// A value as the fixed-size reader would keep it: at most readSize - 1 bytes.
std::string Text(const Profile& p, std::string_view sec, std::string_view key, std::string_view def,
                 size_t readSize) {
  std::string v = p.getString(sec, key, def, kWholeValue);
  return std::string(CutUtf8(v, readSize > 0 ? readSize - 1 : 0));
}

int32_t Number(const Profile& p, std::string_view sec, std::string_view key, std::string_view def,
               size_t readSize) {
  return LeadingInt(Text(p, sec, key, def, readSize));
}

bool Bool(const Profile& p, std::string_view sec, std::string_view key, std::string_view def,
          size_t readSize) {
  return IsYes(Text(p, sec, key, def, readSize));
}

std::string Cut(std::string_view v, size_t max) { return std::string(CutUtf8(v, max)); }

std::optional<uint32_t> ScanHex(std::string_view v) {
  size_t i = 0;
  while (i < v.size() && (v[i] == ' ' || v[i] == '\t')) ++i;
  if (i + 1 < v.size() && v[i] == '0' && (v[i + 1] == 'x' || v[i + 1] == 'X')) i += 2;
  uint32_t out = 0;
  size_t digits = 0;
  for (; i < v.size(); ++i, ++digits) {
    char c = v[i];
    int d;
    if (c >= '0' && c <= '9') {
      d = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      d = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      d = c - 'A' + 10;
    } else {
      break;
    }
    out = (out << 4) | static_cast<uint32_t>(d);
  }
  if (digits == 0) return std::nullopt;
  return out;
}

std::string DecodeStored(std::string_view encoded, size_t max) {
  auto dec = DecodePassword(encoded);
  if (!dec) return std::string();
  std::string s = *dec;
  size_t z = s.find('\0');
  if (z != std::string::npos) s.resize(z);
  return Cut(s, max);
}

const char* YesNo(bool b) { return b ? "Yes" : "No"; }

// A map name from the settings is joined to the install folder later: keep
// the file name only, and nothing that could leave the folder.
std::string SafeMapName(std::string_view v) {
  std::string name = Cut(AfterLastBackslash(v), kMapNameMax);
  if (!name.empty() && !IsSafeName(name)) return std::string();
  return name;
}

// Moves `path` to a backup name that does not exist yet; an existing backup is
// never replaced. Returns the name used, or nullopt.
std::optional<std::string> MoveToBackup(const std::string& path) {
  for (int i = 0; i < 10; ++i) {
    std::string bak = path + ".bak" + (i == 0 ? std::string() : "." + std::to_string(i));
    if (renameat2(AT_FDCWD, path.c_str(), AT_FDCWD, bak.c_str(), RENAME_NOREPLACE) == 0) {
      return bak;
    }
    if (errno == EEXIST) continue;
    if (errno == EINVAL || errno == ENOSYS) {
      // File systems without RENAME_NOREPLACE: check, then move.
      struct stat st;
      if (lstat(bak.c_str(), &st) == 0) continue;
      if (rename(path.c_str(), bak.c_str()) == 0) return bak;
    }
    return std::nullopt;
  }
  return std::nullopt;
}

// "COMn" (any case) with n in 1..255, else 0.
int ComNumber(std::string_view key) {
  if (key.size() < 4 || key.size() > 6 || !EqualNoCase(key.substr(0, 3), "COM")) return 0;
  int n = 0;
  for (char c : key.substr(3)) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n <= 255 ? n : 0;
}

void ReadMain(const Profile& p, ServiceSettings& s, const std::string& installDir) {
  s.language = Text(p, "Main", "Language", "English", 64);
  if (s.language.empty()) s.language = "English";
  s.autoLoadMap = SafeMapName(Text(p, "Main", "Load File", "", 256));
  s.maxEventLog = Number(p, "Main", "Max Event Log", "10000", 10);
  s.serialPortPaths.clear();
  for (const std::string& key : p.keyNames("Serial Ports")) {
    int com = ComNumber(key);
    if (com > 0) s.serialPortPaths[com] = Text(p, "Serial Ports", key, "", 256);
  }

  s.controlPasswordEnabled = Bool(p, "Control", "Password.Enable", "No", 32) ? 1 : 0;
  std::string enc = Text(p, "Control", "Password.Password", "", kEncodedReadSize);
  if (!enc.empty()) s.controlPassword = DecodeStored(enc, kPasswordMax);

  s.snmpPolling = Number(p, "Polling", "SNMP Polling", "1000", 10);
  s.snmpTimeout = Number(p, "Polling", "SNMP Timeout", "60", 10);
  s.serialPolling = Number(p, "Polling", "Serial Polling", "300", 10);
  s.serialTimeout = Number(p, "Polling", "Serial Timeout", "3", 10);
  s.gprsPolling = Number(p, "Polling", "GPRS Polling", "5", 10);
  s.gprsTimeout = Number(p, "Polling", "GPRS Timeout", "10", 10);

  s.historyPeriod = Number(p, "History", "Period", "60", 10);
  s.historyStorage = Number(p, "History", "Storage", "12", 10);
  std::string dir = Text(p, "History", "Directory", "NONE", 260);
  s.historyDirectory = (dir == "NONE" || dir.empty()) ? Cut(installDir, kDirectoryMax) : dir;

  s.smtpServer = Text(p, "SMTP", "Server", "", 64);
  s.smtpSender = Text(p, "SMTP", "Sender", "", 64);
  s.smtpPassword = Text(p, "SMTP", "Password", "", 32);

  s.gsmPort = Text(p, "GSM Modem", "Port", "", 32);
  s.gsmBaud = Number(p, "GSM Modem", "Baud", "9600", 10);

  static constexpr const char* kColorDefaults[3] = {"0x0000ff", "0x00a0a0", "0x00a000"};
  for (int i = 0; i < 3; ++i) {
    if (auto c = ScanHex(Text(p, "Color", kColorKeys[i], kColorDefaults[i], 10))) {
      s.levelColors[i] = *c;
    }
  }

  for (int i = 0; i < 3; ++i) {
    const char* sec = kLevelSections[i];
    uint32_t m = 0;
    if (Bool(p, sec, "Broadcast.Enable", "Yes", 32)) m |= kReactBroadcast;
    if (Bool(p, sec, "email.Enable", "No", 32)) m |= kReactEmail;
    if (Bool(p, sec, "Audio.Enable", "Yes", 32)) m |= kReactAudio;
    if (Bool(p, sec, "SMS.Enable", "No", 32)) m |= kReactSms;
    s.reactionMasks[i] = m;
    s.audioInterval[i] = Number(p, sec, "Audio.Interval", "60", 32);
    std::string cyc =
        Text(p, sec, "Audio.Cycle", i == kLevelIndexInformation ? "One Time" : "Periodically", 32);
    s.audioCycle[i] = strcasecmp(cyc.c_str(), "One Time") == 0 ? 0 : 1;
  }

  s.illuminationMin = Number(p, "Inverter", "Illumination.MinValue", "15", 8);
}

void WriteMain(Profile& p, const ServiceSettings& s) {
  p.setString("Main", "Language", s.language);
  p.setString("Main", "Load File", s.autoLoadMap);
  p.setInt("Main", "Max Event Log", s.maxEventLog);

  p.setString("Control", "Password.Enable", YesNo(s.controlPasswordEnabled != 0));
  p.setString("Control", "Password.Password", EncodePassword(s.controlPassword));

  p.setInt("Polling", "SNMP Polling", s.snmpPolling);
  p.setInt("Polling", "SNMP Timeout", s.snmpTimeout);
  p.setInt("Polling", "Serial Polling", s.serialPolling);
  p.setInt("Polling", "Serial Timeout", s.serialTimeout);
  p.setInt("Polling", "GPRS Polling", s.gprsPolling);
  p.setInt("Polling", "GPRS Timeout", s.gprsTimeout);

  p.setInt("History", "Period", s.historyPeriod);
  p.setInt("History", "Storage", s.historyStorage);
  p.setString("History", "Directory", s.historyDirectory);

  p.setString("SMTP", "Server", s.smtpServer);
  p.setString("SMTP", "Sender", s.smtpSender);
  p.setString("SMTP", "Password", s.smtpPassword);

  p.setString("GSM Modem", "Port", s.gsmPort);
  p.setInt("GSM Modem", "Baud", s.gsmBaud);

  for (int i = 0; i < 3; ++i) {
    const char* sec = kLevelSections[i];
    uint32_t m = s.reactionMasks[i];
    p.setString(sec, "Broadcast.Enable", YesNo(m & kReactBroadcast));
    p.setString(sec, "email.Enable", YesNo(m & kReactEmail));
    p.setString(sec, "Audio.Enable", YesNo(m & kReactAudio));
    p.setInt(sec, "Audio.Interval", s.audioInterval[i]);
    p.setString(sec, "Audio.Cycle", s.audioCycle[i] == 0 ? "One Time" : "Periodically");
    p.setString(sec, "SMS.Enable", YesNo(m & kReactSms));
  }
}

// Copies every section of `from` into `to` (used to carry list sections that
// were appended to an old-format file into its replacement).
void CopySections(const Profile& from, Profile& to) {
  for (const std::string& sec : from.sectionNames()) {
    for (const std::string& key : from.keyNames(sec)) {
      to.setString(sec, key, from.getString(sec, key, "", kWholeValue));
    }
  }
}

template <size_t N>
int32_t CountNonEmpty(const std::array<std::string, N>& rows) {
  int32_t n = 0;
  for (const auto& r : rows) n += r.empty() ? 0 : 1;
  return n;
}

void ReadDatabaseValues(const Profile& p, ServiceSettings& s, const std::string& installDir) {
  s.databaseEnabled = Bool(p, "Database", "Enable", "No", 32) ? 1 : 0;
  s.odbcSource = Text(p, "Database", "ODBC.Source", "", 64);
  s.odbcAccount = Text(p, "Database", "ODBC.Account", "", 32);
  std::string enc = Text(p, "Database", "ODBC.Password", "", kEncodedReadSize);
  if (!enc.empty()) s.odbcPassword = DecodeStored(enc, kOdbcPasswordMax);
  s.logTableName = Text(p, "Database", "ODBC.LogTblName", "", 33);
  if (s.logTableName.empty()) s.logTableName = s.odbcSource.empty() ? "obj_log" : "log";

  auto month = [&](const char* key) {
    int32_t v = Number(p, "Backup", key, "1", 32);
    return static_cast<uint8_t>(v);
  };
  std::string base = JoinPath(installDir, "Backup");
  s.upsLogMonths = month("UPSLog.Month");
  s.upsLogDelete = Bool(p, "Backup", "UPSLog.Delete", "No", 32) ? 1 : 0;
  s.upsLogBackupDir = Text(p, "Backup", "UPSLog.Directory", base + "/upslog/", 256);
  s.opLogMonths = month("OPLog.Month");
  s.opLogDelete = Bool(p, "Backup", "OPLog.Delete", "No", 32) ? 1 : 0;
  s.opLogBackupDir = Text(p, "Backup", "OPLog.Directory", base + "/oplog/", 256);
  s.historyMonths = month("History.Month");
  s.historyDelete = Bool(p, "Backup", "History.Delete", "Yes", 32) ? 1 : 0;
  s.historyBackupDir = Text(p, "Backup", "History.Directory", base + "/histval/", 256);
  SanitizeSettings(s);
}

void ReadContactors(const Profile& p, ServiceSettings& s) {
  for (int i = 0; i < kListRows; ++i) {
    std::string sec = "Contactor" + std::to_string(i + 1);
    ContactorRecord& c = s.contactors[i];
    c.name = Text(p, sec, "Name", "", 33);
    c.email1 = Text(p, sec, "e-mail1", "", 65);
    c.email2 = Text(p, sec, "e-mail2", "", 65);
    c.phone1 = Text(p, sec, "Phone1", "", 33);
    c.phone2 = Text(p, sec, "Phone2", "", 33);
    c.remark = Text(p, sec, "Remark", "", 65);
  }
}

void ReadRecipientItems(const Profile& p, ServiceSettings& s) {
  for (int i = 0; i < kListRows; ++i) {
    std::string sec = "Item" + std::to_string(i + 1);
    RecipientItem& r = s.recipients[i];
    r.name = Text(p, sec, "Name", "", kRecipientNameMax + 1);
    for (int k = 0; k < kRecipientNodeIds; ++k) {
      int32_t id = Number(p, sec, "ID.Index" + std::to_string(k + 1), "-1", 16);
      r.nodeIds[k] = static_cast<int16_t>(id);
    }
    r.outgoingSlot = -1;
  }
}

void ReadEmailList(const Profile& p, ServiceSettings& s) {
  for (int i = 0; i < kListRows; ++i) {
    s.emailList.addresses[i] = Text(p, "e-mail", "Address" + std::to_string(i + 1), "", 64);
  }
  s.emailList.count = CountNonEmpty(s.emailList.addresses);
}

void ReadBroadcastList(const Profile& p, ServiceSettings& s) {
  s.broadcastList.wholeDomain = Bool(p, "Broadcast", "Domain", "No", 32) ? 1 : 0;
  for (int i = 0; i < kListRows; ++i) {
    s.broadcastList.hosts[i] = Text(p, "Broadcast", "Host" + std::to_string(i + 1), "", 64);
  }
  s.broadcastList.count = CountNonEmpty(s.broadcastList.hosts);
}

void ReadSmsPhoneList(const Profile& p, ServiceSettings& s) {
  for (int i = 0; i < kListRows; ++i) {
    s.smsList.phones[i] = Text(p, "SMS", "Phone" + std::to_string(i + 1), "", 64);
  }
  s.smsList.count = CountNonEmpty(s.smsList.phones);
}

}  // namespace

// ---- helpers ----

bool IsYes(std::string_view v) { return v.size() == 3 && strncasecmp(v.data(), "Yes", 3) == 0; }

int32_t LeadingInt(std::string_view v) {
  size_t i = 0;
  while (i < v.size() && (v[i] == ' ' || v[i] == '\t' || v[i] == '\n' || v[i] == '\r' ||
                          v[i] == '\v' || v[i] == '\f')) {
    ++i;
  }
  bool neg = false;
  if (i < v.size() && (v[i] == '+' || v[i] == '-')) neg = v[i++] == '-';
  int64_t n = 0;
  for (; i < v.size() && v[i] >= '0' && v[i] <= '9'; ++i) {
    n = n * 10 + (v[i] - '0');
    if (n > static_cast<int64_t>(INT32_MAX) + 1) n = static_cast<int64_t>(INT32_MAX) + 1;
  }
  if (neg) n = -n;
  if (n > INT32_MAX) n = INT32_MAX;
  if (n < INT32_MIN) n = INT32_MIN;
  return static_cast<int32_t>(n);
}

std::string AfterLastBackslash(std::string_view v) {
  size_t p = v.find_last_of("\\/");
  return std::string(p == std::string_view::npos ? v : v.substr(p + 1));
}

std::vector<std::string_view> SplitTextLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t nl = text.find('\n', start);
    if (nl == std::string_view::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    size_t end = nl;
    if (end > start && text[end - 1] == '\r') --end;
    lines.push_back(text.substr(start, end - start));
    start = nl + 1;
  }
  return lines;
}

int PathExists(const std::string& path, int mode) {
  if (path.empty()) return 0;
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  bool dir = S_ISDIR(st.st_mode);
  return (mode == 0 ? dir : !dir) ? 1 : 0;
}

int32_t EventLogLimit(int32_t value) {
  // The key is read into 10 characters: nine digits come back whole.
  constexpr int32_t kLargestRead = 999999999;
  if (value < 1) return kDefaultMaxEventLog;
  return std::clamp(value, kEventLogMinLines, kLargestRead);
}

void SanitizeSettings(ServiceSettings& s) {
  auto floor = [](int32_t& v, int32_t min, int32_t def) {
    if (v < min) v = def;
  };
  s.maxEventLog = EventLogLimit(s.maxEventLog);
  floor(s.snmpPolling, 1, 1000);
  floor(s.snmpTimeout, 1, 60);
  floor(s.serialPolling, 1, 300);
  floor(s.serialTimeout, 1, 3);
  floor(s.gprsPolling, 1, 5);
  floor(s.gprsTimeout, 1, 10);
  floor(s.historyPeriod, 1, 60);
  floor(s.historyStorage, 0, 12);  // 0 = no recording
  floor(s.gsmBaud, 1, 9600);
  for (int i = 0; i < 3; ++i) {
    floor(s.audioInterval[i], 1, 60);
    if (s.audioCycle[i] != 0) s.audioCycle[i] = 1;
  }
  floor(s.illuminationMin, 0, 15);
  auto months = [](uint8_t& v) {
    if (v < 1) v = 1;
  };
  months(s.upsLogMonths);
  months(s.opLogMonths);
  months(s.historyMonths);
}

// ---- SettingsStore ----

SettingsStore::SettingsStore(std::string installDir, EventLogSink* log)
    : installDir_(std::move(installDir)), log_(log) {}

std::string SettingsStore::iniPath() const { return ResolveNoCase(installDir_, "manager.ini"); }

void SettingsStore::Report(uint32_t level, std::string_view text) {
  if (log_) log_->WriteEventLog(0, level, kSystemEventCode, text);
}

void SettingsStore::LoadManagerIni(ServiceSettings& s) {
  std::string path = iniPath();
  s.language = "English";
  Profile p(path);
  ReadMain(p, s, installDir_);

  if (ConvertOldManagerIni(s)) {
    SanitizeSettings(s);
    std::optional<std::string> bak = MoveToBackup(path);
    if (!bak) {
      // Without a backup the old file is the only copy of its values: leave it
      // alone and run on the converted values in memory.
      Report(kLevelWarning, "The old settings file could not be kept as a backup; not converted");
      return;
    }
    Report(kLevelInformation, "The old settings file was converted; the old file is " + *bak);
    Profile fresh(path);
    CopySections(p, fresh);
    WriteMain(fresh, s);
    if (!fresh.save()) Report(kLevelWarning, "manager.ini could not be written");
    return;
  }
  SaveManagerIni(s);
}

bool SettingsStore::SaveManagerIni(ServiceSettings& s) {
  SanitizeSettings(s);
  Profile p(iniPath());
  WriteMain(p, s);
  if (p.save()) return true;
  Report(kLevelWarning, "manager.ini could not be written");
  return false;
}

bool SettingsStore::ConvertOldManagerIni(ServiceSettings& s) {
  std::optional<std::string> path = FindNoCase(installDir_, "Manager.ini");
  if (!path || IsDirectory(*path)) return false;
  std::optional<std::string> text = ReadFile(*path);
  if (!text) return false;
  return ConvertOldSettingsText(*text, s);
}

void ReadSettingsText(std::string_view iniText, ServiceSettings& s, const std::string& installDir) {
  Profile p;
  p.loadText(iniText);
  ReadMain(p, s, installDir);
  ReadDatabaseValues(p, s, installDir);
  ReadContactors(p, s);
  ReadRecipientItems(p, s);
  ReadEmailList(p, s);
  ReadBroadcastList(p, s);
  ReadSmsPhoneList(p, s);
  SanitizeSettings(s);
}

bool ConvertOldSettingsText(std::string_view body, ServiceSettings& s) {
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  std::vector<std::string_view> lines = SplitTextLines(body);
  // A blank or comment line ahead of the first section does not make a file
  // old; the old format never began with either.
  size_t first = 0;
  while (first < lines.size() && (lines[first].find_first_not_of(" \t") == std::string_view::npos ||
                                  lines[first].front() == ';')) {
    ++first;
  }
  if (first >= lines.size()) return false;
  if (lines[first].substr(lines[first].find_first_not_of(" \t")).front() == '[') return false;
  // Sections appended to an old file (lists saved before the conversion ran)
  // are not old values: the old part ends where they begin.
  for (size_t i = first; i < lines.size(); ++i) {
    if (!lines[i].empty() && lines[i].front() == '[') {
      lines.resize(i);
      break;
    }
  }

  s.controlPassword.clear();
  s.controlPasswordEnabled = 0;
  s.snmpPolling = 1000;
  s.snmpTimeout = 30;
  s.serialPolling = 300;
  s.serialTimeout = 3;

  // Line n of the file (counted from 1); nullopt past the end.
  auto line = [&](size_t n) -> std::optional<std::string_view> {
    if (n < 1 || n > lines.size()) return std::nullopt;
    return lines[n - 1];
  };
  if (auto v = line(7)) s.autoLoadMap = SafeMapName(*v);
  if (auto v = line(8)) s.snmpTimeout = LeadingInt(*v) / 1000;
  if (auto v = line(9)) s.maxEventLog = LeadingInt(*v);
  auto poll = line(41);
  if (!poll) return true;
  s.snmpPolling = LeadingInt(*poll);
  if (s.snmpPolling < 10) s.snmpPolling = 200;
  if (!line(42)) return true;
  if (auto v = line(43)) s.smtpServer = Cut(*v, kSmtpServerMax);
  if (auto v = line(44)) s.smtpSender = Cut(*v, kSmtpSenderMax);
  if (auto v = line(45)) s.smtpPassword = Cut(*v, kSmtpPasswordMax);
  if (auto v = line(46)) s.gsmPort = Cut(*v, kGsmPortMax);
  if (auto v = line(47)) s.gsmBaud = LeadingInt(*v);
  // 74 ignored lines, then a presence line and one more ignored line.
  constexpr size_t kPresence = 47 + 74 + 1;
  if (!line(kPresence)) return true;
  if (auto v = line(kPresence + 2)) {
    s.serialPolling = LeadingInt(*v);
  } else {
    return true;
  }
  if (auto v = line(kPresence + 3)) {
    s.controlPassword = Cut(*v, kPasswordMax);
  } else {
    return true;
  }
  if (auto v = line(kPresence + 4)) s.controlPasswordEnabled = LeadingInt(*v) != 0 ? 1 : 0;
  return true;
}

void SettingsStore::LoadDatabaseIni(ServiceSettings& s) {
  ReadDatabaseValues(Profile(iniPath()), s, installDir_);
}

bool SettingsStore::SaveDatabaseIni(ServiceSettings& s) {
  SanitizeSettings(s);
  Profile p(iniPath());
  p.setString("Database", "Enable", YesNo(s.databaseEnabled != 0));
  p.setString("Database", "ODBC.Source", s.odbcSource);
  p.setString("Database", "ODBC.Account", s.odbcAccount);
  p.setString("Database", "ODBC.Password", EncodePassword(s.odbcPassword));
  p.setString("Database", "ODBC.LogTblName", s.logTableName);
  p.setInt("Backup", "UPSLog.Month", s.upsLogMonths);
  p.setString("Backup", "UPSLog.Delete", YesNo(s.upsLogDelete != 0));
  p.setString("Backup", "UPSLog.Directory", s.upsLogBackupDir);
  p.setInt("Backup", "OPLog.Month", s.opLogMonths);
  p.setString("Backup", "OPLog.Delete", YesNo(s.opLogDelete != 0));
  p.setString("Backup", "OPLog.Directory", s.opLogBackupDir);
  p.setInt("Backup", "History.Month", s.historyMonths);
  p.setString("Backup", "History.Delete", YesNo(s.historyDelete != 0));
  p.setString("Backup", "History.Directory", s.historyBackupDir);
  return p.save();
}

void SettingsStore::LoadContactors(ServiceSettings& s) { ReadContactors(Profile(iniPath()), s); }

bool SettingsStore::SaveContactors(const ServiceSettings& s) {
  Profile p(iniPath());
  for (int i = 0; i < kListRows; ++i) {
    std::string sec = "Contactor" + std::to_string(i + 1);
    const ContactorRecord& c = s.contactors[i];
    p.setString(sec, "Name", c.name);
    p.setString(sec, "e-mail1", c.email1);
    p.setString(sec, "e-mail2", c.email2);
    p.setString(sec, "Phone1", c.phone1);
    p.setString(sec, "Phone2", c.phone2);
    p.setString(sec, "Remark", c.remark);
  }
  return p.save();
}

void SettingsStore::LoadRecipientItems(ServiceSettings& s) {
  ReadRecipientItems(Profile(iniPath()), s);
}

bool SettingsStore::SaveRecipientItems(const ServiceSettings& s) {
  Profile p(iniPath());
  for (int i = 0; i < kListRows; ++i) {
    std::string sec = "Item" + std::to_string(i + 1);
    const RecipientItem& r = s.recipients[i];
    p.setString(sec, "Name", r.name);
    for (int k = 0; k < kRecipientNodeIds; ++k) {
      p.setInt(sec, "ID.Index" + std::to_string(k + 1), r.nodeIds[k]);
    }
  }
  return p.save();
}

void SettingsStore::LoadEmailList(ServiceSettings& s) {
  if (auto old = ImportOldEmailList(installDir_, s.emailList)) {
    if (SaveEmailList(s)) unlink(old->c_str());
    return;
  }
  ReadEmailList(Profile(iniPath()), s);
}

bool SettingsStore::SaveEmailList(const ServiceSettings& s) {
  Profile p(iniPath());
  for (int i = 0; i < kListRows; ++i) {
    p.setString("e-mail", "Address" + std::to_string(i + 1), s.emailList.addresses[i]);
  }
  return p.save();
}

void SettingsStore::LoadBroadcastList(ServiceSettings& s) {
  if (auto old = ImportOldBroadcastList(installDir_, s.broadcastList)) {
    if (SaveBroadcastList(s)) unlink(old->c_str());
    return;
  }
  ReadBroadcastList(Profile(iniPath()), s);
}

bool SettingsStore::SaveBroadcastList(const ServiceSettings& s) {
  Profile p(iniPath());
  p.setString("Broadcast", "Domain", YesNo(s.broadcastList.wholeDomain != 0));
  for (int i = 0; i < kListRows; ++i) {
    p.setString("Broadcast", "Host" + std::to_string(i + 1), s.broadcastList.hosts[i]);
  }
  return p.save();
}

void SettingsStore::LoadSmsPhoneList(ServiceSettings& s) {
  if (auto old = ImportOldSmsList(installDir_, s.smsList)) {
    if (SaveSmsPhoneList(s)) unlink(old->c_str());
    return;
  }
  ReadSmsPhoneList(Profile(iniPath()), s);
}

bool SettingsStore::SaveSmsPhoneList(const ServiceSettings& s) {
  Profile p(iniPath());
  for (int i = 0; i < kListRows; ++i) {
    p.setString("SMS", "Phone" + std::to_string(i + 1), s.smsList.phones[i]);
  }
  return p.save();
}

void SettingsStore::LoadAll(ServiceSettings& s) {
  LoadBroadcastList(s);
  LoadSmsPhoneList(s);
  LoadManagerIni(s);
  LoadContactors(s);
  LoadDatabaseIni(s);
  LoadRecipientItems(s);
  LoadEmailList(s);
}

}  // namespace lark
