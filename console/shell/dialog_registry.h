// The console's dialogs as the shell reaches them: by resource number, through
// openers that lark_dialogs installs at start-up. A resource without an opener
// is not built yet: Open answers kDialogNotBuilt, nothing is shown and the
// command that asked ends there. The registry also knows which dialogs run,
// so the main window can end them before it goes.
#pragma once
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class QWidget;

namespace lark {

inline constexpr int kDialogNotBuilt = -1;
inline constexpr int kConnectToServerDialog = 146;
inline constexpr int kAutoLoadConfigDialog = 149;

// The dialog that waits for the service: which one, the title its status
// lines start with, and the ticks of its progress bar.
struct OpenDialogRecord {
  static constexpr size_t kPrefixMax = 63;  // bytes, cut between characters
  uint32_t id = 0;        // OpenDialogId; 0..36
  std::string prefix;     // the localised title
  uint32_t progress = 0;  // reply-timer ticks since the send; progress dialogs only
  void setPrefix(std::string_view title);
};

class DialogRegistry {
 public:
  // Runs the dialog modally and gives its result.
  using Opener = std::function<int(QWidget* owner, intptr_t param)>;
  struct Call {
    int resource;
    QWidget* owner;
    intptr_t param;
    int result;
  };

  void Register(int resource, Opener opener) { openers_[resource] = std::move(opener); }
  bool Has(int resource) const { return openers_.count(resource) > 0; }
  void UnregisterAll() { openers_.clear(); }
  // The dialog's result, or kDialogNotBuilt.
  int Open(int resource, QWidget* owner, intptr_t param = 0);
  // Opens from a queued call, so that no timer or socket handler runs a
  // nested loop; `done` gets the result. An owner gone meanwhile opens nothing.
  void OpenLater(int resource, QWidget* owner, intptr_t param = 0, std::function<void(int)> done = {});

  // Every Open, after it returned (tests and the operation trace).
  std::function<void(const Call&)> opened;

  // Running dialogs, innermost last; DialogBase keeps this list.
  void Track(QDialog* d) { running_.push_back(d); }
  void Untrack(QDialog* d);
  size_t runningCount() const { return running_.size(); }
  // Ends every running dialog with result 0, innermost first.
  void EndRunningDialogs();

 private:
  std::map<int, Opener> openers_;
  std::vector<QPointer<QDialog>> running_;
  QObject queue_;  // queued opens die with the registry
};

}  // namespace lark
