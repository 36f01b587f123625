#include "console/dialogs/notify/notify_items_dialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/notify/notify_controls.h"
#include "console/dialogs/notify/notify_fields.h"
#include "console/dialogs/notify/notify_request.h"
#include "console/lists/report_list.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/device_tree.h"
#include "linkserver/link_frame.h"
#include "linkserver/link_replies.h"

namespace lark {

namespace {

constexpr uint8_t kReadSub = 10, kWriteSub = 11;
constexpr uint32_t kWriteTimeoutMs = 30000;
constexpr int kIdRole = Qt::UserRole;            // node ID, or contact index in 1309
constexpr int kIndentedRole = Qt::UserRole + 1;  // a device shown under its group
constexpr const char* kIndent = "   ";
constexpr int kBaudRates[] = {1200, 2400, 4800, 9600, 19200};  // 1200 x 2^i

struct ModeRule {
  int resource;
  uint16_t logAdd, logRemove, logSave, logClose;
};
constexpr ModeRule kService{kNotifyByServiceResource, 108, 109, 110, 111};
constexpr ModeRule kMonitor{kNotifyByMonitorResource, 113, 114, 115, 116};
const ModeRule& Rule(NotifyMode m) { return m == NotifyMode::kService ? kService : kMonitor; }

std::string Entry(const DeviceNode& n) { return n.title() + " (" + std::to_string(n.id()) + ")"; }

QListWidgetItem* AddEntry(QListWidget* l, const std::string& text, int id, bool indented) {
  auto* item = new QListWidgetItem(QString::fromStdString(indented ? kIndent + text : text), l);
  item->setData(kIdRole, id);
  item->setData(kIndentedRole, indented);
  return item;
}

// A group's devices indented first, then each child group and its subtree.
void FillRestObjects(QListWidget* rest, const DeviceNode& group) {
  for (const auto& c : group.children())
    if (!c->isGroup()) AddEntry(rest, Entry(*c), c->id(), true);
  for (const auto& c : group.children())
    if (c->isGroup()) {
      AddEntry(rest, Entry(*c), c->id(), false);
      FillRestObjects(rest, *c);
    }
}

// Empties every cell whose ID `drop` accepts and closes the gaps.
template <class Drop>
void DropCells(NodeColumn& col, Drop drop) {
  NodeColumn out;
  out.fill(-1);
  size_t n = 0;
  for (int16_t id : col)
    if (id >= 0 && !drop(id)) out[n++] = id;
  col = out;
}

int FindFreeRow(const NodeColumn& col) {
  for (int r = 0; r < kColumnRows; ++r)
    if (col[static_cast<size_t>(r)] < 0) return r;
  return -1;
}

QListWidget* List(QWidget* parent, int id) {
  auto* l = new QListWidget(parent);
  SetControlId(l, id);
  return l;
}

}  // namespace

int FindRecipientByName(const std::string& name,
                        const std::array<RecipientItem, kListRows>& items) {
  for (size_t i = 0; i < items.size(); ++i)
    if (items[i].name == name) return static_cast<int>(i);
  return -1;
}

NotifyItemsDialog::NotifyItemsDialog(ConsoleDialogs& env, NotifyMode mode, QWidget* owner)
    : DialogBase(env, Rule(mode).resource, std::nullopt, owner), mode_(mode) {
  const int res = Rule(mode).resource;
  for (NodeColumn& c : ids_) c.fill(-1);
  auto* grid = new QGridLayout(this);
  auto* info = new QGroupBox(QString::fromStdString(EnglishText(res, 1600)), this);
  SetControlId(info, 1600);
  auto* g = new QGridLayout(info);
  users_ = List(info, 1309);
  columns_ = new ReportListView(info);
  SetControlId(columns_, 13);
  columns_->setAccessibleName("Notification items");
  selected_ = List(info, 1306);
  rest_ = List(info, 1308);
  g->addWidget(BuddyLabel(info, res, 1243, users_), 0, 0);
  g->addWidget(users_, 1, 0);
  g->addWidget(columns_, 0, 1, 2, 3);
  g->addWidget(BuddyLabel(info, res, 1244, selected_), 2, 0);
  g->addWidget(selected_, 3, 0);
  g->addWidget(BuddyLabel(info, res, 1245, rest_), 2, 2);
  g->addWidget(rest_, 3, 2);
  QPushButton* add = TextButton(info, res, 102);
  QPushButton* remove = TextButton(info, res, 103);
  auto* buttons = new QVBoxLayout();
  buttons->addWidget(add);
  buttons->addWidget(remove);
  g->addLayout(buttons, 3, 1);
  grid->addWidget(info, 0, 0, 1, 2);
  if (mode == NotifyMode::kMonitor) {
    modem_ = MakeModemControls(this, res, 1246, 1247, 1248, kBaudRates);
    grid->addWidget(modem_.box, 1, 0);
  }
  QPushButton* save = TextButton(this, res, 1015);
  grid->addWidget(save, 1, 1);
  connect(add, &QPushButton::clicked, this, [this] { Add(); });
  connect(remove, &QPushButton::clicked, this, [this] { Remove(); });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
  connect(users_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* now) {
    if (now) ChooseContact(now->data(kIdRole).toInt());
  });
}

void NotifyItemsDialog::Init() {
  if (mode_ == NotifyMode::kMonitor) {
    const MonitorSettings& m = env().ctx.monitor.settings();
    Fill(m.monitorItems);
    ShowModem(modem_, m.gsmPort, m.gsmBaud, kBaudRates);
    return;
  }
  EnableControls({1015}, false);
  if (!Send(kLinkCmdNotifySettings, kReadSub, kNotifyTimeoutMs, {})) {
    ShowMessage("MSG4");
    return;
  }
  ShowMessage("MSG5");
}

std::string NotifyItemsDialog::CellText(int16_t id) const {
  if (id < 0) return " ";
  if (const DeviceNode* n = Tree_FindNodeById(env().ctx.tree, id)) return Entry(*n);
  return "(" + std::to_string(id) + ")";  // a node this console does not know: kept as it is
}

void NotifyItemsDialog::Fill(const std::array<RecipientItem, kListRows>& items) {
  const std::array<ContactorRecord, kListRows>& contacts = env().ctx.settings.service.contactors;
  ReportListModel* m = columns_->listModel();
  m->clearAll();
  users_->clear();
  for (int c = 0; c < kListRows; ++c) {
    const std::string& name = contacts[static_cast<size_t>(c)].name;
    m->insertColumn(c, name.empty() ? " " : name);
    columns_->setColumnWidth(c, 100);
    NodeColumn& col = ids_[static_cast<size_t>(c)];
    col.fill(-1);
    // An unnamed contact gets an empty item, never an unnamed one's IDs.
    const int item =
        name.empty() ? -1
                     : FindRecipientByName(std::string(CutUtf8(name, kRecipientNameMax)), items);
    if (item >= 0) {
      col = items[static_cast<size_t>(item)].nodeIds;
      DropCells(col, [](int16_t) { return false; });  // IDs below 0 leave no gap
    }
    if (!name.empty()) {
      auto* u = new QListWidgetItem(QString::fromStdString(name), users_);
      u->setData(kIdRole, c);
    }
  }
  for (int r = 0; r < kColumnRows; ++r) m->insertRow(r, -1, nullptr);
  for (int c = 0; c < kListRows; ++c) ShowColumn(c);
  current_ = -1;
  if (users_->count() > 0) users_->setCurrentRow(0);
}

void NotifyItemsDialog::ShowColumn(int c) {
  ReportListModel* m = columns_->listModel();
  for (int r = 0; r < kColumnRows; ++r)
    m->setCell(r, c, CellText(ids_[static_cast<size_t>(c)][static_cast<size_t>(r)]));
}

void NotifyItemsDialog::ChooseContact(int contact) {
  if (contact < 0 || contact >= kListRows) return;
  current_ = contact;
  Refresh();
}

void NotifyItemsDialog::Refresh() {
  selected_->clear();
  rest_->clear();
  AddEntry(rest_, Entry(env().ctx.tree.root()), 0, false);
  FillRestObjects(rest_, env().ctx.tree.root());
  if (current_ < 0) return;
  for (int16_t id : ids_[static_cast<size_t>(current_)]) {
    if (id < 0) break;
    const DeviceNode* n = Tree_FindNodeById(env().ctx.tree, id);
    AddEntry(selected_, CellText(id), id, false);  // an unknown node too, so it can be removed
    if (!n) continue;
    int at = -1;
    for (int i = 0; i < rest_->count() && at < 0; ++i)
      if (rest_->item(i)->data(kIdRole).toInt() == id) at = i;
    if (at < 0) continue;
    delete rest_->takeItem(at);
    // A group's devices follow it, indented: they go with it.
    while (n->isGroup() && at < rest_->count() && rest_->item(at)->data(kIndentedRole).toBool()) {
      QListWidgetItem* dev = rest_->takeItem(at);
      selected_->addItem(dev);
    }
  }
}

void NotifyItemsDialog::Add() {
  QListWidgetItem* chosen = rest_->currentItem();
  if (current_ < 0 || !chosen) return;
  const int id = chosen->data(kIdRole).toInt();
  const DeviceNode* n = Tree_FindNodeById(env().ctx.tree, id);
  if (!n) return;
  NodeColumn& col = ids_[static_cast<size_t>(current_)];
  if (n->isGroup()) {
    // The group stands for its direct children: they give up their cells.
    DropCells(col, [n](int16_t cell) {
      for (const auto& c : n->children())
        if (c->id() == cell) return true;
      return false;
    });
  }
  const int free = FindFreeRow(col);
  if (free < 0) return;  // all 50 rows are used
  col[static_cast<size_t>(free)] = static_cast<int16_t>(id);
  PostLog(0, Rule(mode_).logAdd, chosen->text().trimmed().toStdString());
  ShowColumn(current_);
  Refresh();
}

void NotifyItemsDialog::Remove() {
  QListWidgetItem* chosen = selected_->currentItem();
  if (current_ < 0 || !chosen || chosen->data(kIndentedRole).toBool()) return;
  const int id = chosen->data(kIdRole).toInt();
  PostLog(0, Rule(mode_).logRemove, chosen->text().toStdString());
  DropCells(ids_[static_cast<size_t>(current_)], [id](int16_t cell) { return cell == id; });
  ShowColumn(current_);
  Refresh();
}

std::array<RecipientItem, kListRows> NotifyItemsDialog::Items() const {
  std::array<RecipientItem, kListRows> items;
  const std::array<ContactorRecord, kListRows>& contacts = env().ctx.settings.service.contactors;
  for (size_t c = 0; c < items.size(); ++c) {
    if (contacts[c].name.empty()) continue;
    items[c].name = std::string(CutUtf8(contacts[c].name, kRecipientNameMax));
    items[c].nodeIds = ids_[c];
  }
  return items;
}

void NotifyItemsDialog::Save() {
  const ModeRule& rule = Rule(mode_);
  if (mode_ == NotifyMode::kMonitor) {
    const std::optional<std::string> port = ChosenPort(*this, modem_, "Notify By Monitor");
    if (!port) return;
    MonitorIni& ini = env().ctx.monitor;
    MonitorSettings& m = ini.settings();
    m.gsmPort = *port;
    m.gsmBaud = ChosenBaud(modem_, m.gsmBaud, kBaudRates);
    m.monitorItems = Items();
    PostLog(1, rule.logSave, "");
    ini.SaveConsoleSettings(env().ctx.texts.columns);
    ini.SaveConsoleLists();
    // Texts queued for a name that stays still go out; the other slots are freed.
    CallPoint(env().ctx.points.rebindMonitorRecipients);
    // The console works with the new items from now on; a file that could
    // not be written is said, since the next start would not have them.
    if (!ini.Save())
      env().ctx.ShowLangMessageBox(this, kMonitorIniNotWritten, "Notify By Monitor", MB_ICONERROR);
    done(1);
    return;
  }
  if (block_.size() != kNotificationBlockSize) return;
  ServiceSettings s;
  s.recipients = Items();
  WriteNotificationGroup(s, kWriteSub, block_);
  PostLog(1, rule.logSave, "");
  if (!Send(kLinkCmdNotifySettings, kWriteSub, kWriteTimeoutMs, block_)) {
    ShowMessage("MSG1");
    return;
  }
  sent_ = s.recipients;
  ShowMessage("MSG2");
  EnableControls({1015}, false);
}

void NotifyItemsDialog::OnOwnTimer() {
  const std::optional<NotifyOutcome> out = PollReadOrWrite(*this, kReadSub);
  if (!out) return;
  const CBytes block = out->block();
  if (request().sub != kReadSub) {
    env().ctx.settings.service.recipients = sent_;
    ShowMessage("MSG3");
    CloseAfter(kFailurePauseMs, 1);
    return;
  }
  block_.assign(block.begin(), block.end());
  ServiceSettings s;
  ReadNotificationGroup(s, kReadSub, block_);
  Fill(s.recipients);
  ShowMessage("MSG6");
  EnableControls({1015}, true);
}

void NotifyItemsDialog::OnCancel() {
  PostLog(0, Rule(mode_).logClose, "");
  done(0);
}

void RegisterNotifyItemsDialogs(ConsoleDialogs& env) {
  for (NotifyMode mode : {NotifyMode::kService, NotifyMode::kMonitor}) {
    env.ctx.dialogs.Register(Rule(mode).resource, [&env, mode](QWidget* owner, intptr_t) {
      NotifyItemsDialog d(env, mode, owner);
      return d.Run();
    });
  }
}

}  // namespace lark
