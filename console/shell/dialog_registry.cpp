#include "console/shell/dialog_registry.h"

#include <QDialog>
#include <algorithm>

#include "common/bytes.h"

namespace lark {

void OpenDialogRecord::setPrefix(std::string_view title) { prefix = std::string(CutUtf8(title, kPrefixMax)); }

int DialogRegistry::Open(int resource, QWidget* owner, intptr_t param) {
  auto it = openers_.find(resource);
  const int result = it == openers_.end() ? kDialogNotBuilt : it->second(owner, param);
  if (opened) opened(Call{resource, owner, param, result});
  return result;
}

void DialogRegistry::OpenLater(int resource, QWidget* owner, intptr_t param, std::function<void(int)> done) {
  QPointer<QWidget> guard(owner);
  const bool hadOwner = owner != nullptr;
  QMetaObject::invokeMethod(
      &queue_,
      [this, resource, guard, hadOwner, param, done = std::move(done)] {
        if (hadOwner && guard.isNull()) return;
        const int result = Open(resource, guard.data(), param);
        if (done) done(result);
      },
      Qt::QueuedConnection);
}

void DialogRegistry::Untrack(QDialog* d) {
  running_.erase(std::remove_if(running_.begin(), running_.end(),
                                [d](const QPointer<QDialog>& p) { return p.isNull() || p.data() == d; }),
                 running_.end());
}

void DialogRegistry::EndRunningDialogs() {
  for (auto it = running_.rbegin(); it != running_.rend(); ++it)
    if (!it->isNull()) (*it)->done(0);
}

}  // namespace lark
