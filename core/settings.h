// manager.ini: the service's settings values, the notification lists, their
// readers and writers, and the conversion of the old one-value-a-line file.
// Everything here runs on the loop thread; workers only read the values.
#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace lark {

class EventLogSink;

// ReactionMask bits: what an alarm level raises.
inline constexpr uint32_t kReactBroadcast = 1;
inline constexpr uint32_t kReactEmail = 2;
inline constexpr uint32_t kReactAudio = 4;
inline constexpr uint32_t kReactSms = 8;

// Alarm levels as indexes of the per-level arrays.
inline constexpr int kLevelIndexSerious = 0;
inline constexpr int kLevelIndexWarning = 1;
inline constexpr int kLevelIndexInformation = 2;

inline constexpr int kListRows = 20;          // rows of every notification list
inline constexpr int kRecipientNodeIds = 50;  // node IDs of one recipient item

// Widths of the text fields (the longest text kept, without terminator).
inline constexpr size_t kLanguageMax = 64;
inline constexpr size_t kMapNameMax = 255;
inline constexpr size_t kPasswordMax = 31;  // the control-password dialog's limit
inline constexpr size_t kDirectoryMax = 259;
inline constexpr size_t kSmtpServerMax = 63;
inline constexpr size_t kSmtpPasswordMax = 31;
inline constexpr size_t kSmtpSenderMax = 63;
inline constexpr size_t kGsmPortMax = 31;
inline constexpr size_t kOdbcSourceMax = 64;
inline constexpr size_t kOdbcAccountMax = 32;
inline constexpr size_t kOdbcPasswordMax = 32;
inline constexpr size_t kLogTableMax = 32;
inline constexpr size_t kBackupDirMax = 255;
inline constexpr size_t kListEntryMax = 63;  // e-mail, broadcast and SMS rows
inline constexpr size_t kRecipientNameMax = 31;

struct ContactorRecord {
  std::string name;    // 32
  std::string email1;  // 64
  std::string email2;  // 64
  std::string phone1;  // 32
  std::string phone2;  // 32
  std::string remark;  // 64
};

struct RecipientItem {
  std::string name;  // 31
  // -1 = empty; a group's ID stands for its direct children.
  std::array<int16_t, kRecipientNodeIds> nodeIds;
  // Index of the outgoing message slot; -1 none; never stored in the file.
  int32_t outgoingSlot = -1;
  RecipientItem() { nodeIds.fill(-1); }
};

// Rows keep their place; count is the number of non-empty rows.
struct EmailList {
  std::array<std::string, kListRows> addresses;
  int32_t count = 0;
};
struct BroadcastList {
  std::array<std::string, kListRows> hosts;
  int32_t count = 0;
  int32_t wholeDomain = 0;
};
struct SmsPhoneList {
  std::array<std::string, kListRows> phones;
  int32_t count = 0;
};

struct ServiceSettings {
  // [Main]
  std::string language = "English";
  std::string autoLoadMap;  // file name only, with its extension
  int32_t maxEventLog = 10000;
  // [Control]
  int32_t controlPasswordEnabled = 0;
  std::string controlPassword;  // decoded
  // [Polling]
  int32_t snmpPolling = 1000;   // ms
  int32_t snmpTimeout = 60;     // s
  int32_t serialPolling = 300;  // ms
  int32_t serialTimeout = 3;    // s
  int32_t gprsPolling = 5;      // s
  int32_t gprsTimeout = 10;     // s
  // [History]
  int32_t historyPeriod = 60;    // s
  int32_t historyStorage = 12;   // months
  std::string historyDirectory;  // resolved; never "NONE" once loaded
  // [SMTP]
  std::string smtpServer;
  std::string smtpPassword;  // plain text
  std::string smtpSender;
  // [GSM Modem]
  // [Serial Ports] "COMn" = device path: where a port's device lies on this
  // machine when it is not the COMn link or /dev/ttyS(n-1). Read only.
  std::map<int, std::string> serialPortPaths;
  std::string gsmPort;
  int32_t gsmBaud = 9600;
  // [Color]: Serious, Warning, Information (0x00BBGGRR)
  std::array<uint32_t, 3> levelColors{0x0000ff, 0x00a0a0, 0x00a000};
  // [Reaction.*]
  std::array<uint32_t, 3> reactionMasks{
      kReactBroadcast | kReactAudio, kReactBroadcast | kReactAudio, kReactBroadcast | kReactAudio};
  std::array<int32_t, 3> audioInterval{60, 60, 60};  // s
  std::array<int32_t, 3> audioCycle{1, 1, 0};        // 0 one time, 1 periodically
  // [Inverter]
  int32_t illuminationMin = 15;
  // [Database]
  uint8_t databaseEnabled = 0;
  std::string odbcSource;
  std::string odbcAccount;
  std::string odbcPassword;  // decoded
  std::string logTableName;
  // [Backup]
  uint8_t upsLogMonths = 1;
  uint8_t opLogMonths = 1;
  uint8_t historyMonths = 1;
  uint8_t upsLogDelete = 0;
  uint8_t opLogDelete = 0;
  uint8_t historyDelete = 1;
  std::string upsLogBackupDir;
  std::string opLogBackupDir;
  std::string historyBackupDir;
  // Notification lists.
  std::array<ContactorRecord, kListRows> contactors;
  std::array<RecipientItem, kListRows> recipients;
  EmailList emailList;
  BroadcastList broadcastList;
  SmsPhoneList smsList;
};

// The settings file and where it lies. The file is found without case
// ("Manager.ini" from an older install is used under its own name).
class SettingsStore {
 public:
  // `log` may be null; it hears about conversions and failed writes.
  SettingsStore(std::string installDir, EventLogSink* log = nullptr);

  const std::string& installDir() const { return installDir_; }
  std::string iniPath() const;

  // Reads [Main] .. [Inverter] into `s`, converts an old-format file, and
  // always ends by rewriting the file with SaveManagerIni.
  void LoadManagerIni(ServiceSettings& s);
  // [Main], [Control], [Polling], [History], [SMTP], [GSM Modem],
  // [Reaction.*] in that order. False when the file could not be written.
  bool SaveManagerIni(ServiceSettings& s);

  void LoadDatabaseIni(ServiceSettings& s);
  bool SaveDatabaseIni(ServiceSettings& s);

  void LoadContactors(ServiceSettings& s);
  bool SaveContactors(const ServiceSettings& s);
  // Sets every outgoing slot to -1.
  void LoadRecipientItems(ServiceSettings& s);
  bool SaveRecipientItems(const ServiceSettings& s);
  // The three list loaders first import the old list file; an imported list
  // is written to manager.ini before the old file is deleted.
  void LoadEmailList(ServiceSettings& s);
  bool SaveEmailList(const ServiceSettings& s);
  void LoadBroadcastList(ServiceSettings& s);
  bool SaveBroadcastList(const ServiceSettings& s);
  void LoadSmsPhoneList(ServiceSettings& s);
  bool SaveSmsPhoneList(const ServiceSettings& s);

  // Start-up order: broadcast, SMS, manager.ini, contactors, database,
  // recipients, e-mail.
  void LoadAll(ServiceSettings& s);

  // The old one-value-a-line test and reader; true when the file was old
  // (the values then stand in `s`). Exposed for tests.
  bool ConvertOldManagerIni(ServiceSettings& s);

 private:
  void Report(uint32_t level, std::string_view text);
  std::string installDir_;
  EventLogSink* log_;
};

// Every reader above applied to INI text in memory (no conversion, no
// write); for tools and the fuzz target.
void ReadSettingsText(std::string_view iniText, ServiceSettings& s, const std::string& installDir);
// The old one-value-a-line test and reader on file text; true when the text
// is old (its values then stand in `s`).
bool ConvertOldSettingsText(std::string_view text, ServiceSettings& s);

// Keeps numbers that later divide or drive timers in range: a value below
// its floor takes its default.
void SanitizeSettings(ServiceSettings& s);
// "Max Event Log" as the service runs it, from manager.ini and from a
// console alike: below 1 the default, never below the least number of lines
// that keeps the file on (a few lines would stop logging), and no more digits
// than the reader takes back.
int32_t EventLogLimit(int32_t value);

// 1 when `path` is an existing directory (mode 0) or an existing
// non-directory (mode 1); an empty path gives 0.
int PathExists(const std::string& path, int mode);

// Profile value helpers shared with the map store and the console's copy.
bool IsYes(std::string_view v);          // "Yes" without case
int32_t LeadingInt(std::string_view v);  // atoi with saturation
// What follows the last '\' or '/'.
std::string AfterLastBackslash(std::string_view v);
// Splits text into lines, removing a trailing "\r\n" or "\n" only; a last line
// without a line break is kept whole, and a final line break adds no line.
std::vector<std::string_view> SplitTextLines(std::string_view text);

}  // namespace lark
