// The database requests: queries of the operation and event logs (11/2,
// 11/4), and the user database command 12: settings, link state, login,
// schema, accounts, and the pages of the last query. Work that needs the
// database runs on its thread; the session's reply waits for it (at most
// the link server's deferral time) while other sessions go on.
//
// Clauses from consoles pass only in the console's own shapes, rebuilt from
// what was parsed; anything else answers the failure code with nothing sent
// to the database.
#include <algorithm>
#include <memory>

#include "common/sql_text.h"
#include "core/settings.h"
#include "linkserver/data_root.h"
#include "linkserver/link_database.h"
#include "linkserver/link_requests.h"
#include "linkserver/user_records.h"

namespace lark {

namespace {

constexpr uint32_t kPieceMax = 2000;
constexpr size_t kRecordOff = 6;

LinkDatabase* ConnectedDatabase(LinkRequest& r) {
  LinkDatabase* db = r.services.database;
  return db != nullptr && db->enabled() && db->linkState() == 2 ? db : nullptr;
}

void PutSessionUser(LinkRequest& r, LinkFrameBuilder& reply) {
  LinkDatabase* db = r.services.database;
  const LinkSlotUser& user = r.services.users[static_cast<size_t>(r.slot)];
  LoginRecord rec;
  rec.accessSwitch = r.services.settings ? r.services.settings->databaseEnabled : 0;
  rec.databaseState = db ? db->linkState() : 0;
  rec.account = user.account;
  rec.level = user.level;
  reply.putBytes(CBytes(LoginRecordImage(rec)));
}

// A ResultPage and the piece of the slot's result it names.
void PutPage(LinkFrameBuilder& reply, const std::string& text, uint32_t first, uint32_t count) {
  uint8_t page[kResultPageSize];
  PutResultPage(page, 0, {static_cast<uint32_t>(text.size()), first, count});
  reply.putBytes(CBytes(page));
  reply.putBytes(CBytes(reinterpret_cast<const uint8_t*>(text.data()) + first, count));
}

// Runs `request` on the database thread; `fill` builds the reply from the
// answer, or the failure code goes out when the session cannot wait.
void RunLater(LinkRequest& r, LinkFrameBuilder& reply, LinkDatabase& db, LinkDbRequest request,
              std::function<void(LinkRequest&, LinkFrameBuilder&, const LinkDbAnswer&)> fill) {
  LinkReplyLater later = r.replyLater();
  if (!later) return BuildLinkFailureReply(r, reply);
  db.run(std::move(request), [later, fill = std::move(fill)](LinkDbAnswer answer) {
    later([&](LinkRequest& req, LinkFrameBuilder& out) { fill(req, out, answer); });
  });
}

// A query's rows become the slot's result; the first piece goes out.
void ReplyQuery(LinkRequest& r, LinkFrameBuilder& reply, const LinkDbAnswer& a) {
  if (!a.ok) return BuildLinkFailureReply(r, reply);
  std::string& page = r.services.resultPages[static_cast<size_t>(r.slot)];
  page = a.text;
  BeginSuccessReply(r, reply);
  PutPage(reply, page, 0, std::min<uint32_t>(static_cast<uint32_t>(page.size()), kPieceMax));
}

void ReplyDone(LinkRequest& r, LinkFrameBuilder& reply, const LinkDbAnswer& a) {
  if (!a.ok) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

// The texts go into manager.ini: a line break must not reach the file.
void ReadSettingsRecord(const LinkFrameView& f, size_t off, ServiceSettings& s) {
  auto text = [&f](size_t at, size_t size) {
    return PrintableText(FrameText(f, at, size), size - 1);
  };
  s.databaseEnabled = f.u8(off) != 0 ? 1 : 0;
  s.odbcSource = text(off + kDbOffSource, kDbSourceSize);
  s.odbcAccount = text(off + kDbOffAccount, kDbAccountSize);
  s.odbcPassword = text(off + kDbOffPassword, kDbPasswordSize);
  uint8_t* months[3] = {&s.upsLogMonths, &s.opLogMonths, &s.historyMonths};
  uint8_t* del[3] = {&s.upsLogDelete, &s.opLogDelete, &s.historyDelete};
  std::string* dirs[3] = {&s.upsLogBackupDir, &s.opLogBackupDir, &s.historyBackupDir};
  for (size_t i = 0; i < 3; ++i) {
    const size_t base = off + kDbOffPlans + i * kDbPlanSize;
    *months[i] = f.u8(base + kPlanOffMonths);
    *del[i] = f.u8(base + kPlanOffDelete);
    *dirs[i] = text(base + kPlanOffFolder, kPlanFolderSize);
  }
}

// The backup folders take the history folder's rule: the service writes
// there as it is, often root. A folder left as it was is kept as it is.
bool SaveDatabaseSettings(LinkRequest& r, size_t off) {
  if (!r.services.settings || !r.services.settingsStore) return false;
  ServiceSettings s = *r.services.settings;
  ReadSettingsRecord(r.frame, off, s);
  const ServiceSettings& now = *r.services.settings;
  const std::pair<const std::string*, const std::string*> dirs[] = {
      {&s.upsLogBackupDir, &now.upsLogBackupDir},
      {&s.opLogBackupDir, &now.opLogBackupDir},
      {&s.historyBackupDir, &now.historyBackupDir}};
  for (const auto& [asked, kept] : dirs) {
    if (*asked != *kept && BackupDirectoryProblem(*asked, r.services.stateDir)) return false;
  }
  *r.services.settings = std::move(s);
  TrustSettingsFolders(*r.services.settings, r.services.installDir);
  return r.services.settingsStore->SaveDatabaseIni(*r.services.settings);
}

// Account and password of a SessionUserRecord at 6.
LinkDbRequest SessionUserRequest(LinkRequest& r, LinkDbWork work) {
  LinkDbRequest q;
  q.work = work;
  q.account = FrameText(r.frame, kRecordOff + kLoginOffAccount, kLoginAccountSize);
  q.password = FrameText(r.frame, kRecordOff + kLoginOffPassword, kLoginPasswordSize);
  return q;
}

// While accounts are in use (the database enabled), the commands that change
// accounts, the schema or the database settings are the supervisor's: the
// session must be logged in at level 1. Without accounts there are no levels.
bool AccountsInUse(const LinkRequest& r) {
  return r.services.settings && r.services.settings->databaseEnabled != 0;
}

bool Supervises(LinkRequest& r) {
  return !AccountsInUse(r) || r.services.users[static_cast<size_t>(r.slot)].level == 1;
}

// Any console may mend the database settings only while no supervisor could
// log in to do it: before the database first connected since the service
// started, or while its account table is missing or empty.
bool OpenToAnyConsole(const LinkRequest& r) {
  const LinkDatabase* db = r.services.database;
  return db == nullptr || !db->accountsGuarded();
}

bool MayChangeDatabase(LinkRequest& r) { return Supervises(r) || OpenToAnyConsole(r); }

// A password change: the supervisor's, or a logged-in session's own.
bool MayChangePassword(LinkRequest& r, const std::string& account) {
  const LinkSlotUser& user = r.services.users[static_cast<size_t>(r.slot)];
  return Supervises(r) || (user.level != 0 && user.account == account);
}

LinkDbRequest AccountRequest(LinkRequest& r, LinkDbWork work) {
  LinkDbRequest q;
  q.work = work;
  q.account = FrameText(r.frame, kRecordOff + kAccountOffName, kAccountNameSize);
  q.realName = FrameText(r.frame, kRecordOff + kAccountOffRealName, kAccountRealNameSize);
  q.password = FrameText(r.frame, kRecordOff + kAccountOffPassword, kAccountPasswordSize);
  q.level = static_cast<int32_t>(r.frame.le32(kRecordOff + kAccountOffLevel).value_or(0));
  q.remark = FrameText(r.frame, kRecordOff + kAccountOffRemark, kAccountRemarkSize);
  return q;
}

}  // namespace

// ---- 11/2, 11/4 ----

void HandleDatabaseQuery(LinkRequest& r, LinkFrameBuilder& reply) {
  LinkDatabase* db = ConnectedDatabase(r);
  const bool events = r.sub() == 4;
  const CBytes tail = r.frame.tail(kRecordOff);
  std::optional<std::string> clause =
      ParseConsoleClause(std::string_view(reinterpret_cast<const char*>(tail.data()), tail.size()),
                         events ? ConsoleClause::kEvents : ConsoleClause::kOpLog);
  if (!db || !clause) return BuildLinkFailureReply(r, reply);
  LinkDbRequest q;
  q.work = events ? LinkDbWork::kSelectEvents : LinkDbWork::kSelectOpLog;
  q.clause = std::move(*clause);
  RunLater(r, reply, *db, std::move(q), ReplyQuery);
}

// ---- 12 ----

void HandleUserDatabase(LinkRequest& r, LinkFrameBuilder& reply) {
  const size_t slot = static_cast<size_t>(r.slot);
  LinkDatabase* connected = ConnectedDatabase(r);
  LinkDatabase* db = r.services.database;
  const size_t size = r.frame.size();
  switch (r.sub()) {
    case 1:
    case 3:
    case 4:
      if (!MayChangeDatabase(r)) return BuildLinkFailureReply(r, reply);
      break;
    case 6:
      // A console that stored the settings applies them, though switching
      // the database on has just made the supervisor's rule hold.
      if (!MayChangeDatabase(r) && !r.services.users[slot].storedSettings)
        return BuildLinkFailureReply(r, reply);
      break;
    case 10:
    case 13:
    case 14:
    case 15:
    case 16:
      if (!Supervises(r)) return BuildLinkFailureReply(r, reply);
      break;
    default:
      break;
  }
  switch (r.sub()) {
    case 0: {
      if (!r.services.settings) break;
      const DatabaseSettingsRecord rec = DatabaseRecordOf(*r.services.settings);
      BeginSuccessReply(r, reply);
      reply.putBytes(CBytes(DatabaseSettingsImage(rec)));
      return;
    }
    case 1:
      if (size < kRecordOff + kDatabaseSettingsSize || !SaveDatabaseSettings(r, kRecordOff)) break;
      r.services.users[slot].storedSettings = true;
      return BeginSuccessReply(r, reply);
    case 2:
      BeginSuccessReply(r, reply);
      return PutSessionUser(r, reply);
    case 3:
      // A console may ask for a fresh connection; only the service itself
      // says that the database is connected.
      if (size < kRecordOff + kLoginRecordSize || !db || r.frame.u8(kRecordOff + kLoginOffState) != 0) break;
      db->askReconnect();
      return BeginSuccessReply(r, reply);
    case 4: {
      const size_t userOff = kRecordOff + kDatabaseSettingsSize;
      if (size < userOff + kLoginRecordSize || !SaveDatabaseSettings(r, kRecordOff)) break;
      if (db && r.frame.u8(userOff + kLoginOffState) == 0) db->askReconnect();
      r.services.users[slot].storedSettings = true;
      return BeginSuccessReply(r, reply);
    }
    case 5:
      return BeginSuccessReply(r, reply);
    case 6:
      if (db) db->disconnect();
      for (LinkSlotUser& u : r.services.users) u = LinkSlotUser{};
      return BeginSuccessReply(r, reply);
    case 7: {
      if (size < kRecordOff + kLoginRecordSize || !connected) break;
      LinkDbRequest q = SessionUserRequest(r, LinkDbWork::kCheckLogin);
      const std::string account = q.account;
      return RunLater(r, reply, *connected, std::move(q),
                      [account](LinkRequest& req, LinkFrameBuilder& out, const LinkDbAnswer& a) {
                        if (!a.ok || a.level < 0 || a.level > 3)
                          return BuildLinkFailureReply(req, out);
                        LinkSlotUser& user = req.services.users[static_cast<size_t>(req.slot)];
                        user.account = account;
                        user.level = static_cast<uint8_t>(a.level);
                        BeginSuccessReply(req, out);
                        PutSessionUser(req, out);
                      });
    }
    case 8:
      r.services.users[slot].level = 0;
      r.services.users[slot].storedSettings = false;
      return BeginSuccessReply(r, reply);
    case 9:
    case 10: {
      if (!connected) break;
      LinkDbRequest q;
      q.work = r.sub() == 9 ? LinkDbWork::kCreateSchema : LinkDbWork::kDropHistory;
      // A fresh database has no supervisor to log in yet: its schema (which
      // makes the supervisor) may come from any session.
      q.onlyWithoutAccounts = !Supervises(r);
      return RunLater(r, reply, *connected, std::move(q), ReplyDone);
    }
    case 11: {
      if (size < kRecordOff + kLoginRecordSize || !connected) break;
      LinkDbRequest q = SessionUserRequest(r, LinkDbWork::kUpdatePassword);
      if (!MayChangePassword(r, q.account)) break;
      return RunLater(r, reply, *connected, std::move(q), ReplyDone);
    }
    case 12: {
      if (!r.frame.has(kRecordOff, kResultPageSize)) break;
      const std::string& page = r.services.resultPages[slot];
      const uint32_t first = r.frame.le32(kRecordOff + 4).value_or(0);
      const uint32_t asked = r.frame.le32(kRecordOff + 8).value_or(0);
      if (first >= page.size()) break;
      const uint32_t count =
          std::min<uint32_t>({asked, static_cast<uint32_t>(page.size()) - first, kPieceMax});
      BeginSuccessReply(r, reply);
      return PutPage(reply, page, first, count);
    }
    case 13: {
      const CBytes tail = r.frame.tail(kRecordOff);
      std::optional<std::string> clause = ParseConsoleClause(
          std::string_view(reinterpret_cast<const char*>(tail.data()), tail.size()),
          ConsoleClause::kUsers);
      if (!connected || !clause) break;
      LinkDbRequest q;
      q.work = LinkDbWork::kSelectUsers;
      return RunLater(r, reply, *connected, std::move(q), ReplyQuery);
    }
    case 14:
    case 15:
    case 16: {
      if (size < kRecordOff + kAccountRecordSize || !connected) break;
      const LinkDbWork work = r.sub() == 14   ? LinkDbWork::kInsertUser
                              : r.sub() == 15 ? LinkDbWork::kUpdateUser
                                              : LinkDbWork::kDeleteUser;
      LinkDbRequest q = AccountRequest(r, work);
      // Accounts are written with a console's levels only.
      if (work != LinkDbWork::kDeleteUser && (q.level < 1 || q.level > 3)) break;
      return RunLater(r, reply, *connected, std::move(q), ReplyDone);
    }
    default:
      break;
  }
  BuildLinkFailureReply(r, reply);
}

}  // namespace lark
