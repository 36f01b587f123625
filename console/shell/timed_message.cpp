#include "console/shell/timed_message.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "common/bytes.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/window_timers.h"

namespace lark {

TimedMessage::TimedMessage(QWidget* owner, WindowTimers& timers)
    : timers_(timers), dialog_(std::make_unique<QDialog>(owner)) {
  dialog_->setObjectName("TimedMessageBox");
  dialog_->setProperty("id", kDialogId);
  dialog_->setWindowModality(Qt::WindowModal);
  auto* layout = new QVBoxLayout(dialog_.get());
  messageLabel_ = new QLabel(dialog_.get());
  messageLabel_->setWordWrap(true);
  SetControlId(messageLabel_, kMessageControl);
  secondsLabel_ = new QLabel(dialog_.get());
  SetControlId(secondsLabel_, kSecondsControl);
  layout->addWidget(messageLabel_);
  layout->addWidget(secondsLabel_);
  auto* buttons = new QHBoxLayout;
  for (int id : {1, 2}) {
    auto* b = new QPushButton(id == 1 ? "OK" : "Cancel", dialog_.get());
    SetControlId(b, id);
    QObject::connect(b, &QPushButton::clicked, [this, id] { OnCommand(id); });
    buttons->addWidget(b);
  }
  layout->addLayout(buttons);
  // The window's close box counts as Cancel.
  QObject::connect(dialog_.get(), &QDialog::rejected, [this] {
    if (open_) OnCommand(2);
  });
}

TimedMessage::~TimedMessage() { timers_.Kill(dialog_.get(), kTimerId); }

void TimedMessage::ShowLangMessageDialog(const Profile& lang, int n, std::string_view title, int seconds) {
  title_ = std::string(CutUtf8(title, kTitleMax));
  message_ = lang.getString("MessageBox", "M_" + std::to_string(n), "", 256);
  secondsLeft_ = seconds;
  reshow_ = 0;
  // A message already up is replaced at once; nothing waits on this thread.
  if (open_) Close();
  Open();
}

void TimedMessage::Open() {
  if (!timers_.Set(dialog_.get(), kTimerId, 1000, [this] { OnDialogTimer(); })) return;
  messageLabel_->setText(QString::fromStdString(message_));
  secondsLabel_->clear();
  dialog_->setWindowTitle(QString::fromStdString(title_));
  open_ = true;
  dialog_->show();
}

void TimedMessage::Close() {
  open_ = false;
  timers_.Kill(dialog_.get(), kTimerId);
  dialog_->hide();
}

void TimedMessage::OnCommand(int id) {
  if (!open_ || (id != 1 && id != 2)) return;
  Close();  // acknowledged: no re-show
}

void TimedMessage::OnDialogTimer() {
  if (!open_ || secondsLeft_ < 1) return;
  --secondsLeft_;
  secondsLabel_->setText(QString::number(secondsLeft_));
  if (secondsLeft_ == 0) {
    Close();
    reshow_ = kReshowSeconds;
  }
}

void TimedMessage::OnSecondTick() {
  if (reshow_ <= 0) return;
  if (--reshow_ > 0) return;
  secondsLeft_ = kReshowShownSeconds;
  if (!open_) Open();
}

}  // namespace lark
