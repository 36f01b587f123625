// What the console's database requests need: the link state, and work run
// on the database thread whose answer comes back on the loop. The service
// implements it over its database thread.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

namespace lark {

enum class LinkDbWork {
  kSelectOpLog,
  kSelectEvents,
  kSelectUsers,
  kCheckLogin,
  kUpdatePassword,
  kInsertUser,
  kUpdateUser,
  kDeleteUser,
  kCreateSchema,
  kDropHistory,
};

struct LinkDbRequest {
  LinkDbWork work = LinkDbWork::kSelectUsers;
  std::string clause;  // already rebuilt from the console's shape
  std::string account, realName, password, remark;
  int32_t level = 0;
  // The work is refused when the account table holds an account.
  bool onlyWithoutAccounts = false;
};

struct LinkDbAnswer {
  bool ok = false;
  int32_t level = -1;  // a login's level
  std::string text;    // a query's rows
};

class LinkDatabase {
 public:
  virtual ~LinkDatabase() = default;
  virtual bool enabled() const = 0;
  // DbLinkState: 0 not connected, 1 last attempt failed, 2 connected.
  virtual uint8_t linkState() const = 0;
  // The database has connected since the service started and its account
  // table holds an account: a supervisor can log in to mend its settings.
  virtual bool accountsGuarded() const = 0;
  // A console asks for a fresh connection at the next tick.
  virtual void askReconnect() = 0;
  virtual void disconnect() = 0;
  // The account the next operator row is stored under.
  virtual void setOperatorAccount(const std::string& account) = 0;
  // Runs on the database thread; `done` runs on the loop afterwards.
  virtual void run(LinkDbRequest request, std::function<void(LinkDbAnswer)> done) = 0;
  // The tree_map table refilled from the tree as it is now (copied at once,
  // stored later).
  virtual void refillTreeMap() = 0;
};

}  // namespace lark
