#include "console/dialogs/logs/report_dialog.h"

#include <QCalendarWidget>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"

namespace lark {

namespace {
constexpr uint32_t kRequestTimeoutMs = 5000;
constexpr int kDonePauseMs = 2000;
constexpr uint16_t kLogOpened = 53, kLogStarted = 54, kLogClosed = 55;
constexpr int kStartAfterEnd = 30;  // [MessageBox] M_30

QDate QDateOf(const ReportDate& d) { return QDate(d.year, d.month, d.day); }
ReportDate DateOf(const QDate& d) { return {d.year(), d.month(), d.day()}; }
}  // namespace

ReportDialog::ReportDialog(ConsoleDialogs& env, QWidget* owner)
    : DialogBase(env, kReportResource, kReportDialogId, owner) {
  auto* grid = new QGridLayout(this);
  auto* startLabel = new QLabel("Start Date:", this);
  SetControlId(startLabel, 1053);
  start_ = new QCalendarWidget(this);
  SetControlId(start_, 1051);
  start_->setAccessibleName("Start Date:");
  startLabel->setBuddy(start_);
  auto* endLabel = new QLabel("End Date:", this);
  SetControlId(endLabel, 1054);
  end_ = new QCalendarWidget(this);
  SetControlId(end_, 1052);
  end_->setAccessibleName("End Date:");
  endLabel->setBuddy(end_);
  auto* generate = new QPushButton("&Generate...", this);
  SetControlId(generate, 1015);
  generate->setAccessibleName("Generate");
  auto* exit = new QPushButton("E&xit", this);
  SetControlId(exit, 1011);
  exit->setAccessibleName("Exit");
  exit->setDefault(true);
  grid->addWidget(startLabel, 0, 0);
  grid->addWidget(endLabel, 0, 1);
  grid->addWidget(start_, 1, 0);
  grid->addWidget(end_, 1, 1);
  grid->addWidget(generate, 2, 0);
  grid->addWidget(exit, 2, 1);
  connect(generate, &QPushButton::clicked, this, [this] { Generate(); });
  connect(exit, &QPushButton::clicked, this, [this] { Exit(); });
}

void ReportDialog::Init() {
  const WallTime now = env().ctx.clock().now();
  const ReportDate today{now.year, now.month, now.day};
  start_->setSelectedDate(QDateOf(DefaultReportStart(today)));
  end_->setSelectedDate(QDateOf(today));
  PostLog(0, kLogOpened, "");
}

ReportPeriod ReportDialog::period() const {
  return {DateOf(start_->selectedDate()), DateOf(end_->selectedDate())};
}

void ReportDialog::Generate() {
  const ReportPeriod p = period();
  if (p.to < p.from) {
    env().ctx.ShowLangMessageBox(this, kStartAfterEnd, "Report", MB_ICONERROR);
    return;
  }
  if (!Send(kLinkCmdHistoryReport, 2, kRequestTimeoutMs, ReportRequestPayload(p))) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  EnableControls({1015, 1011}, false);
}

void ReportDialog::Exit() {
  PostLog(0, kLogClosed, "");
  done(0);
}

void ReportDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG1");
    CloseAfter(kFailurePauseMs, 0);
    return;
  }
  ShowMessage("MSG3");
  PostLog(0, kLogStarted, "");
  CloseAfter(kDonePauseMs, 1);
}

void RegisterReportDialog(ConsoleDialogs& env) {
  env.ctx.dialogs.Register(kReportResource, [&env](QWidget* owner, intptr_t) {
    ReportDialog d(env, owner);
    return d.Run();
  });
  env.branches.Register(kLinkCmdHistoryReport, std::nullopt, [](DialogBase& d, const ReplyView& r) {
    if (auto* report = dynamic_cast<ReportDialog*>(&d)) report->OnReply(r);
  });
}

}  // namespace lark
