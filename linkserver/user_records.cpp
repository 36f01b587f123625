#include "linkserver/user_records.h"

#include "core/settings.h"

namespace lark {

namespace {
// A text field whose last byte always stays the terminator.
std::string Text(CBytes b, size_t off, size_t size) { return strAt(b, off, size - 1); }
}  // namespace

LoginRecord GetLoginRecord(CBytes b, size_t off) {
  LoginRecord r;
  r.accessSwitch = b[off + kLoginOffSwitch];
  r.databaseState = b[off + kLoginOffState];
  r.account = Text(b, off + kLoginOffAccount, kLoginAccountSize);
  r.password = Text(b, off + kLoginOffPassword, kLoginPasswordSize);
  r.level = b[off + kLoginOffLevel];
  return r;
}

void PutLoginRecord(Bytes b, size_t off, const LoginRecord& r) {
  putU8(b, off + kLoginOffSwitch, r.accessSwitch);
  putU8(b, off + kLoginOffState, r.databaseState);
  putStr(b, off + kLoginOffAccount, kLoginAccountSize, r.account);
  putStr(b, off + kLoginOffPassword, kLoginPasswordSize, r.password);
  putU8(b, off + kLoginOffLevel, r.level);
}

std::array<uint8_t, kLoginRecordSize> LoginRecordImage(const LoginRecord& r) {
  std::array<uint8_t, kLoginRecordSize> out{};
  PutLoginRecord(out, 0, r);
  return out;
}

DatabaseSettingsRecord GetDatabaseSettingsRecord(CBytes b, size_t off) {
  DatabaseSettingsRecord r;
  r.inUse = b[off + kDbOffInUse];
  r.source = Text(b, off + kDbOffSource, kDbSourceSize);
  r.account = Text(b, off + kDbOffAccount, kDbAccountSize);
  r.password = Text(b, off + kDbOffPassword, kDbPasswordSize);
  for (size_t k = 0; k < kBackupPlanCount; ++k) {
    const size_t base = off + kDbOffPlans + k * kDbPlanSize;
    r.plans[k].months = b[base + kPlanOffMonths];
    r.plans[k].deleteBackedUp = b[base + kPlanOffDelete];
    r.plans[k].folder = Text(b, base + kPlanOffFolder, kPlanFolderSize);
  }
  return r;
}

DatabaseSettingsRecord DatabaseRecordOf(const ServiceSettings& s) {
  DatabaseSettingsRecord r;
  r.inUse = s.databaseEnabled != 0 ? 1 : 0;
  r.source = s.odbcSource;
  r.account = s.odbcAccount;
  r.password = s.odbcPassword;
  r.plans = {BackupPlan{s.upsLogMonths, s.upsLogDelete, s.upsLogBackupDir},
             BackupPlan{s.opLogMonths, s.opLogDelete, s.opLogBackupDir},
             BackupPlan{s.historyMonths, s.historyDelete, s.historyBackupDir}};
  return r;
}

void PutDatabaseSettingsRecord(Bytes b, size_t off, const DatabaseSettingsRecord& r) {
  putU8(b, off + kDbOffInUse, r.inUse);
  putStr(b, off + kDbOffSource, kDbSourceSize, r.source);
  putStr(b, off + kDbOffAccount, kDbAccountSize, r.account);
  putStr(b, off + kDbOffPassword, kDbPasswordSize, r.password);
  for (size_t k = 0; k < kBackupPlanCount; ++k) {
    const size_t base = off + kDbOffPlans + k * kDbPlanSize;
    putU8(b, base + kPlanOffMonths, r.plans[k].months);
    putU8(b, base + kPlanOffDelete, r.plans[k].deleteBackedUp);
    putStr(b, base + kPlanOffFolder, kPlanFolderSize, r.plans[k].folder);
  }
}

std::array<uint8_t, kDatabaseSettingsSize> DatabaseSettingsImage(const DatabaseSettingsRecord& r) {
  std::array<uint8_t, kDatabaseSettingsSize> out{};
  PutDatabaseSettingsRecord(out, 0, r);
  return out;
}

AccountRecord GetAccountRecord(CBytes b, size_t off) {
  AccountRecord r;
  r.account = Text(b, off + kAccountOffName, kAccountNameSize);
  r.realName = Text(b, off + kAccountOffRealName, kAccountRealNameSize);
  r.password = Text(b, off + kAccountOffPassword, kAccountPasswordSize);
  r.level = i32At(b, off + kAccountOffLevel);
  r.remark = Text(b, off + kAccountOffRemark, kAccountRemarkSize);
  return r;
}

void PutAccountRecord(Bytes b, size_t off, const AccountRecord& r) {
  putStr(b, off + kAccountOffName, kAccountNameSize, r.account);
  putStr(b, off + kAccountOffRealName, kAccountRealNameSize, r.realName);
  putStr(b, off + kAccountOffPassword, kAccountPasswordSize, r.password);
  putI32(b, off + kAccountOffLevel, r.level);
  putStr(b, off + kAccountOffRemark, kAccountRemarkSize, r.remark);
}

std::array<uint8_t, kAccountRecordSize> AccountRecordImage(const AccountRecord& r) {
  std::array<uint8_t, kAccountRecordSize> out{};
  PutAccountRecord(out, 0, r);
  return out;
}

ResultPage GetResultPage(CBytes b, size_t off) {
  return {u32At(b, off), u32At(b, off + 4), u32At(b, off + 8)};
}

void PutResultPage(Bytes b, size_t off, const ResultPage& page) {
  putU32(b, off, page.total);
  putU32(b, off + 4, page.offset);
  putU32(b, off + 8, page.count);
}

std::array<uint8_t, kControlPasswordFieldSize> ControlPasswordField(const std::string& plain) {
  std::array<uint8_t, kControlPasswordFieldSize> out{};
  putStr(out, 0, kControlPasswordFieldSize, plain);
  return out;
}

}  // namespace lark
