// The records of the user database command (12) and of the control password
// (24/2), as the service and the console both read and write them. Text
// fields are zero-padded; a reader stops at the field's last byte when the
// terminator is missing.
//
//   LoginRecord, 68 bytes (answer of 12/2 and 12/7; payload of 12/3, 12/7, 12/11)
//   0 u8 access switch (1: accounts in use)   1 u8 database state (2 connected)
//   2 char[33] account   35 char[32] password, encoded   67 u8 user level
//
//   DatabaseSettingsRecord, 906 bytes (answer of 12/0; payload of 12/1, 12/4)
//   0 u8 in use   1 char[65] source   66 char[33] account   99 char[33] password
//   132 + 258 k, k = 0 UPS event log, 1 operation log, 2 history:
//       +0 u8 months kept   +1 u8 delete backed-up rows   +2 char[256] backup folder
//
//   AccountRecord, 360 bytes (payload of 12/14, 12/15, 12/16)
//   0 char[33] account   33 char[33] real name   66 char[34] password, encoded
//   100 u32 level   104 char[256] remark
//
//   ResultPage, 12 bytes, the piece header of a query's answer
//   0 u32 total bytes   4 u32 offset of this piece   8 u32 bytes in this piece
//
//   ControlPasswordField, 32 bytes (payload of 24/2): the plain text, zero-padded
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/bytes.h"

namespace lark {

struct ServiceSettings;

// ---- LoginRecord ----
inline constexpr size_t kLoginRecordSize = 68;
inline constexpr size_t kLoginOffSwitch = 0, kLoginOffState = 1;
inline constexpr size_t kLoginOffAccount = 2, kLoginAccountSize = 33;
inline constexpr size_t kLoginOffPassword = 35, kLoginPasswordSize = 32;
inline constexpr size_t kLoginOffLevel = 67;

struct LoginRecord {
  uint8_t accessSwitch = 0;
  uint8_t databaseState = 0;
  std::string account;
  std::string password;  // encoded
  uint8_t level = 0;
  bool operator==(const LoginRecord&) const = default;
};
LoginRecord GetLoginRecord(CBytes b, size_t off);  // the caller checks the size
void PutLoginRecord(Bytes b, size_t off, const LoginRecord& r);
std::array<uint8_t, kLoginRecordSize> LoginRecordImage(const LoginRecord& r);

// ---- DatabaseSettingsRecord ----
inline constexpr size_t kDatabaseSettingsSize = 906;
inline constexpr size_t kDbOffInUse = 0;
inline constexpr size_t kDbOffSource = 1, kDbSourceSize = 65;
inline constexpr size_t kDbOffAccount = 66, kDbAccountSize = 33;
inline constexpr size_t kDbOffPassword = 99, kDbPasswordSize = 33;
inline constexpr size_t kDbOffPlans = 132, kDbPlanSize = 258;
inline constexpr size_t kPlanOffMonths = 0, kPlanOffDelete = 1, kPlanOffFolder = 2, kPlanFolderSize = 256;
inline constexpr size_t kBackupPlanCount = 3;

struct BackupPlan {
  uint8_t months = 0;
  uint8_t deleteBackedUp = 0;
  std::string folder;
  bool operator==(const BackupPlan&) const = default;
};

struct DatabaseSettingsRecord {
  uint8_t inUse = 0;
  std::string source;
  std::string account;
  std::string password;
  std::array<BackupPlan, kBackupPlanCount> plans;  // UPS event log, operation log, history
  bool operator==(const DatabaseSettingsRecord&) const = default;
};
DatabaseSettingsRecord GetDatabaseSettingsRecord(CBytes b, size_t off);
// The record of the [Database] and [Backup] settings.
DatabaseSettingsRecord DatabaseRecordOf(const ServiceSettings& s);
void PutDatabaseSettingsRecord(Bytes b, size_t off, const DatabaseSettingsRecord& r);
std::array<uint8_t, kDatabaseSettingsSize> DatabaseSettingsImage(const DatabaseSettingsRecord& r);

// ---- AccountRecord ----
inline constexpr size_t kAccountRecordSize = 360;
inline constexpr size_t kAccountOffName = 0, kAccountNameSize = 33;
inline constexpr size_t kAccountOffRealName = 33, kAccountRealNameSize = 33;
inline constexpr size_t kAccountOffPassword = 66, kAccountPasswordSize = 34;
inline constexpr size_t kAccountOffLevel = 100;
inline constexpr size_t kAccountOffRemark = 104, kAccountRemarkSize = 256;

struct AccountRecord {
  std::string account;
  std::string realName;
  std::string password;  // encoded
  int32_t level = 0;
  std::string remark;
  bool operator==(const AccountRecord&) const = default;
};
AccountRecord GetAccountRecord(CBytes b, size_t off);
void PutAccountRecord(Bytes b, size_t off, const AccountRecord& r);
std::array<uint8_t, kAccountRecordSize> AccountRecordImage(const AccountRecord& r);

// ---- ResultPage ----
inline constexpr size_t kResultPageSize = 12;

struct ResultPage {
  uint32_t total = 0;
  uint32_t offset = 0;
  uint32_t count = 0;
  bool operator==(const ResultPage&) const = default;
};
ResultPage GetResultPage(CBytes b, size_t off);
void PutResultPage(Bytes b, size_t off, const ResultPage& page);

// ---- the control password of 24/2 ----
inline constexpr size_t kControlPasswordFieldSize = 32;
std::array<uint8_t, kControlPasswordFieldSize> ControlPasswordField(const std::string& plain);

}  // namespace lark
