#include "console/dialogs/logs/event_log_dialog.h"

#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/link/service_link.h"
#include "console/lists/report_list.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "linkserver/link_frame.h"
#include "platform/paths.h"

namespace lark {

namespace {

constexpr uint32_t kRequestTimeoutMs = 10000;
constexpr int kSourceOperations = -2, kSourceAll = -1;  // item data of 1180 besides node IDs
constexpr uint16_t kLogOpenedAll = 31, kLogOpenedDevice = 32;

// Images of the levels: 14 x 14 squares of the level colours, grey for unknown.
std::vector<QPixmap> LevelImages(const std::array<uint32_t, 3>& colours) {
  std::vector<QPixmap> out;
  for (int i = 0; i < 4; ++i) {
    const uint32_t c = i < 3 ? colours[static_cast<size_t>(i)] : 0x808080;
    QPixmap p(14, 14);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.fillRect(1, 1, 12, 12, QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff));
    out.push_back(p);
  }
  return out;
}

void AddDevices(const DeviceNode& node, QComboBox* combo) {
  for (const auto& child : node.children()) {
    if (!child->isGroup()) {
      combo->addItem(
          QString::fromStdString(child->title() + " (" + std::to_string(child->id()) + ")"),
          static_cast<int>(child->id()));
    }
    AddDevices(*child, combo);
  }
}

template <class W>
W* Make(QWidget* parent, int id, const char* name) {
  auto* w = new W(parent);
  SetControlId(w, id);
  w->setAccessibleName(QString::fromUtf8(name));
  return w;
}

SqlDate DateOf(const QDate& d) { return {d.year(), d.month(), d.day()}; }

}  // namespace

EventLogDialog::EventLogDialog(ConsoleDialogs& env, int32_t preselect, QWidget* owner)
    : DialogBase(env, kEventLogResource, kEventLogDialogId, owner),
      preselect_(preselect),
      download_(JoinPath(env.ctx.installDir(), "Monitor")) {
  auto* grid = new QGridLayout(this);
  auto* sourceLabel = Make<QLabel>(this, 1600, "Source:");
  sourceLabel->setText("Source:");
  source_ = Make<QComboBox>(this, 1180, "Source");
  sourceLabel->setBuddy(source_);
  auto* fromLabel = Make<QLabel>(this, 1243, "Date from");
  fromLabel->setText("Date from");
  from_ = Make<QDateEdit>(this, 1125, "Date from");
  fromLabel->setBuddy(from_);
  auto* toLabel = Make<QLabel>(this, 1244, "to");
  toLabel->setText("to");
  to_ = Make<QDateEdit>(this, 1126, "to");
  toLabel->setBuddy(to_);
  for (QDateEdit* e : {from_, to_}) {
    e->setCalendarPopup(true);
    e->setDisplayFormat("yyyy-MM-dd");
  }
  auto* query = Make<QPushButton>(this, 1127, "Query");
  query->setText("&Query");
  auto* save = Make<QPushButton>(this, 1015, "Save As");
  save->setText("&Save As...");
  list_ = new ReportListView(this);
  SetControlId(list_, 1129);
  list_->setAccessibleName("Event Log");
  grid->addWidget(sourceLabel, 0, 0);
  grid->addWidget(source_, 0, 1);
  grid->addWidget(fromLabel, 0, 2);
  grid->addWidget(from_, 0, 3);
  grid->addWidget(toLabel, 0, 4);
  grid->addWidget(to_, 0, 5);
  grid->addWidget(query, 0, 6);
  grid->addWidget(save, 0, 7);
  grid->addWidget(list_, 1, 0, 1, 8);
  resize(900, 500);
  connect(query, &QPushButton::clicked, this, [this] { Query(); });
  connect(save, &QPushButton::clicked, this, [this] { SaveAs(); });
  chooseExportFile = [this] {
    QFileDialog d(this, "Save As", {}, "Excel File(*.XLS)");
    d.setAcceptMode(QFileDialog::AcceptSave);
    d.setDefaultSuffix("XLS");
    return d.exec() == QDialog::Accepted && !d.selectedFiles().isEmpty()
               ? d.selectedFiles().front().toStdString()
               : std::string();
  };
}

void EventLogDialog::Init() {
  ConsoleContext& ctx = env().ctx;
  list_->listModel()->setImages(LevelImages(ctx.settings.service.levelColors));
  if (ctx.settings.accountsInUse) source_->addItem("Operation Record", kSourceOperations);
  source_->addItem("All", kSourceAll);
  AddDevices(ctx.tree.root(), source_);
  const int at = preselect_ >= 0 ? source_->findData(static_cast<int>(preselect_)) : -1;
  source_->setCurrentIndex(at >= 0 ? at : source_->findData(kSourceAll));
  PostLog(0, at >= 0 ? kLogOpenedDevice : kLogOpenedAll, "");
  const WallTime now = ctx.clock().now();
  const QDate today(now.year, now.month, now.day);
  from_->setDate(today);
  to_->setDate(today);
  Query();
}

void EventLogDialog::Query() {
  list_->listModel()->clearAll();
  rows_.clear();
  if (source_->currentIndex() < 0) return;
  const int data = source_->currentData().toInt();
  choice_.source = data == kSourceOperations ? EventLogSource::kOperations
                   : data == kSourceAll      ? EventLogSource::kAll
                                             : EventLogSource::kDevice;
  choice_.device = data >= 0 ? data : -1;
  choice_.from = DateOf(from_->date());
  choice_.to = DateOf(to_->date());
  queried_ = true;
  if (choice_.source == EventLogSource::kOperations) {
    InsertListColumns(list_, "150\t100\t100\t90\t400",
                      "Account\tDate\tTime\tLevel\tEvent Description", 0);
  } else {
    InsertListColumns(list_, "100\t100\t100\t90\t400",
                      "Title\tDate\tTime\tLevel\tEvent Description", 0);
  }
  SendFirst();
}

void EventLogDialog::SendFirst() {
  pages_.Reset();
  if (choice_.source == EventLogSource::kOperations || env().ctx.settings.accountsInUse) {
    const std::string text = EventLogQueryText(choice_);
    std::vector<uint8_t> payload(text.begin(), text.end());
    payload.push_back(0);
    const uint8_t sub = choice_.source == EventLogSource::kOperations ? 2 : 4;
    return SendNext(kLinkCmdEventLog, sub, payload);
  }
  SendNext(kLinkCmdEventLog, 5, download_.Start(env().link.session().currentMapBase));
}

void EventLogDialog::SendNext(uint8_t command, uint8_t sub, CBytes payload) {
  ShowMessage(Send(command, sub, kRequestTimeoutMs, payload) ? "MSG2" : "MSG1");
}

void EventLogDialog::OnEventLogReply(const ReplyView& reply) {
  const uint8_t sub = reply.frame.size() > 6 ? reply.frame[6] : 0;
  if (!reply.success) return Failed();
  if (sub == 2 || sub == 4) {
    switch (pages_.First(reply.frame)) {
      case ResultPages::Step::kBad:
        return Failed();
      case ResultPages::Step::kAskNext:
        return SendNext(kLinkCmdUserDatabase, 12, pages_.nextRequest());
      case ResultPages::Step::kComplete:
        ShowMessage("MSG3");
        return Fill();
    }
  }
  if (sub != 5) return Failed();
  switch (download_.OnReply(reply.frame)) {
    case EventLogDownload::Step::kFailed:
      return Failed();
    case EventLogDownload::Step::kAskNext:
      return SendNext(kLinkCmdEventLog, 5, download_.nextRequest());
    case EventLogDownload::Step::kComplete:
      ShowMessage("MSG3");
      return Fill();
  }
}

void EventLogDialog::OnPageReply(const ReplyView& reply) {
  if (!reply.success) return Failed();
  switch (pages_.Next(reply.frame)) {
    case ResultPages::Step::kBad:
      return Failed();
    case ResultPages::Step::kAskNext:
      return SendNext(kLinkCmdUserDatabase, 12, pages_.nextRequest());
    case ResultPages::Step::kComplete:
      ShowMessage("MSG3");
      return Fill();
  }
}

void EventLogDialog::Fill() {
  const DeviceTree& tree = env().ctx.tree;
  const NodeTitleFn titles = [&tree](int32_t id) -> std::optional<std::string> {
    const DeviceNode* node = Tree_FindNodeById(tree, id);
    if (!node) return std::nullopt;
    return node->title();
  };
  const bool database =
      choice_.source == EventLogSource::kOperations || env().ctx.settings.accountsInUse;
  size_t beyond = 0;
  if (database) {
    rows_ = EventLogDatabaseRows(pages_.text(), choice_.source == EventLogSource::kOperations,
                                 titles, &beyond);
  } else {
    rows_ = EventLogFileRows(ReadFile(download_.path()).value_or(""), choice_, titles, &beyond);
  }
  pages_.Reset();  // the rows keep what the list shows
  CountRowsNotShown(beyond);
  ReportListModel* model = list_->listModel();
  model->clear();
  for (const EventLogRow& row : rows_) {
    const int r = model->insertRow(model->rowCount(), row.image, nullptr);
    for (int c = 0; c < kEventLogColumns; ++c)
      model->setCell(r, c, row.cells[static_cast<size_t>(c)]);
  }
}

void EventLogDialog::SaveAs() {
  if (!queried_ || source_->currentIndex() < 0) return;
  const std::string path = chooseExportFile ? chooseExportFile() : std::string();
  if (path.empty()) return;
  if (!WriteFileAtomic(path, EventLogExportText(choice_, rows_))) ShowMessage("MSG4");
}

void RegisterEventLogDialog(ConsoleDialogs& env) {
  // Selected Event Log starts with the map's selected device; a group
  // selected starts with "All".
  env.ctx.dialogs.Register(kEventLogResource, [&env](QWidget* owner, intptr_t) {
    ConsoleContext& ctx = env.ctx;
    DeviceNode* n = ctx.commands.eventLogMode == 1 && ctx.points.mapSelectedNode
                        ? ctx.points.mapSelectedNode()
                        : nullptr;
    EventLogDialog d(env, n && !n->isGroup() ? n->id() : -1, owner);
    return d.Run();
  });
  auto as = [](DialogBase& d) { return dynamic_cast<EventLogDialog*>(&d); };
  env.branches.Register(kLinkCmdEventLog, kEventLogDialogId,
                        [as](DialogBase& d, const ReplyView& r) {
                          if (EventLogDialog* e = as(d)) e->OnEventLogReply(r);
                        });
  env.branches.Register(kLinkCmdUserDatabase, kEventLogDialogId,
                        [as](DialogBase& d, const ReplyView& r) {
                          if (EventLogDialog* e = as(d)) e->OnPageReply(r);
                        });
}

}  // namespace lark
