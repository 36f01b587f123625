// Sections: the shared request cycle; group and GPRS; SNMP; local; the
// registry.
#include "console/dialogs/map_edit/property_dialogs.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "console/dialogs/map_edit/alarm_mask_dialog.h"
#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_controls.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/dialogs/map_edit/plc_dialog.h"
#include "console/link/request_payloads.h"
#include "console/link/service_link.h"
#include "console/map/map_module.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "core/live_data.h"
#include "linkserver/link_commands.h"

namespace lark {

namespace {

constexpr uint16_t kLogOpened = 3, kLogChanged = 4, kLogCancelled = 5;
constexpr const char* kPropertyCaption = "Property";
constexpr int kTitleEdit = 1000, kIpEdit = 1001, kPortEdit = 1002, kIdEdit = 1003, kCommunityEdit = 1004;
constexpr int kLocationEdit = 1318, kUpsIdEdit = 1180;
constexpr int kComList = 10, kBaudList = 11, kTypeList = 1100, kMibList = 1357, kMibLabel = 1249;
constexpr int kStopCheck = 1205, kDatabaseCheck = 1119;
constexpr int kAdvanceButton = 4, kAlarmMaskButton = 1319;
constexpr int kComPorts = 255;
constexpr uint16_t kBauds[] = {2400, 4800, 7200, 9600};

unsigned IconOf(int messageBox) {
  switch (messageBox) {
    case kNoCommunity:
    case kBadPort:
    case kIpTaken:
    case kNoUpsId:
      return MB_ICONERROR;
    default:
      return MB_ICONEXCLAMATION;
  }
}

std::string Text(const QLineEdit* e) { return e->text().toStdString(); }

}  // namespace

// ---- the shared request cycle ----

PropertyDialog::PropertyDialog(ConsoleDialogs& env, int resource, uint32_t openDialogId, uint8_t sub,
                               DeviceNode& node, QWidget* owner)
    : DialogBase(env, resource, openDialogId, owner), node_(node), sub_(sub) {
  LoadEditCopy(node_, copy_);
}

QLineEdit* PropertyDialog::AddEdit(QGridLayout* grid, int row, int labelId, int editId, int maxChars) {
  QLineEdit* e = AddLabelledEdit(grid, row, resource(), labelId, editId, 0, false);
  if (maxChars > 0) e->setMaxLength(maxChars);
  return e;
}

void PropertyDialog::AddButtons(QGridLayout* grid, int row, std::initializer_list<int> ids) {
  int column = 0;
  for (int id : ids) {
    QPushButton* b = MakeButton(this, id, EnglishText(resource(), id));
    b->setDefault(id == 1);
    if (id == 1) connect(b, &QPushButton::clicked, this, [this] { Ok(); });
    if (id == 2) connect(b, &QPushButton::clicked, this, [this] { OnCancel(); });
    grid->addWidget(b, row, column++);
  }
}

void PropertyDialog::AddDeviceRows(QGridLayout* grid) {
  stop_ = MakeControl<QCheckBox>(this, kStopCheck, EnglishText(resource(), kStopCheck));
  stop_->setText(QString::fromStdString(EnglishText(resource(), kStopCheck)));
  database_ = MakeControl<QCheckBox>(this, kDatabaseCheck, EnglishText(resource(), kDatabaseCheck));
  database_->setText(QString::fromStdString(EnglishText(resource(), kDatabaseCheck)));
  grid->addWidget(stop_, 7, 0);
  grid->addWidget(database_, 7, 1);
  auto* id = MakeControl<QLineEdit>(this, kIdEdit, "Identifier");
  id->setReadOnly(true);
  grid->addWidget(id, 8, 1);
}

void PropertyDialog::Init() {
  title_->setText(QString::fromStdString(node_.title()));
  location_->setText(QString::fromStdString(node_.location()));
  if (auto* id = qobject_cast<QLineEdit*>(Control(kIdEdit))) id->setText(QString::number(node_.id()));
  Fill();
  PostLog(0, kLogOpened, PropertyKindText(node_.nodeKind()));
}

void PropertyDialog::OnCancel() {
  PostLog(0, kLogCancelled, PropertyKindText(node_.nodeKind()));
  done(0);
}

std::vector<uint8_t> PropertyDialog::Payload() const { return IdPayload(node_.idU16(), EditImage(copy_)); }

void PropertyDialog::Ok() {
  LoadEditCopy(node_, copy_);
  if (const std::optional<int> refused = Check()) {
    env().ctx.ShowLangMessageBox(this, *refused, kPropertyCaption, IconOf(*refused));
    return;
  }
  if (Unchanged()) {
    PostLog(1, kLogChanged, PropertyLogText(copy_));
    done(1);
    return;
  }
  if (!Send(kLinkCmdSetNodeProperties, sub_, timeoutMs(), Payload())) {
    ShowMessage("MSG1");
    return;
  }
  ShowMessage("MSG2");
  // The sub-dialogs' buttons too: their request would take this one's place.
  greyed_.clear();
  for (int id : {1, 2, kAdvanceButton, kAlarmMaskButton}) {
    QWidget* c = Control(id);
    if (c && c->isEnabled()) greyed_.push_back(c);
    if (c) c->setEnabled(false);
  }
}

void PropertyDialog::OnReply(const ReplyView& reply) {
  if (!reply.success) {
    ShowMessage("MSG1");
    ShowLockHolder(reply.frame);
    for (QWidget* c : greyed_) c->setEnabled(true);
    return;
  }
  Apply();
  env().ctx.mapDirty = true;
  CallPoint(env().ctx.points.repaintMap);
  PostLog(1, kLogChanged, PropertyLogText(node_));
  done(1);
}

int PropertyDialog::OpenSubDialog(int resource) {
  const uint32_t id = env().ctx.openDialog.id;
  const std::string prefix = env().ctx.openDialog.prefix;
  const int r = env().ctx.dialogs.Open(resource, this, reinterpret_cast<intptr_t>(&node_));
  env().ctx.openDialog.id = id;
  env().ctx.openDialog.setPrefix(prefix);
  return r;
}

// ---- group and GPRS ----

GroupPropertyDialog::GroupPropertyDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner)
    : PropertyDialog(env, node.nodeKind() == kNodeGprs ? kProGprsResource : kProGroupResource,
                     node.nodeKind() == kNodeGprs ? kProGprsDialogId : kProGroupDialogId,
                     node.nodeKind() == kNodeGprs ? 7 : 1, node, owner) {
  auto* grid = new QGridLayout(this);
  title_ = AddEdit(grid, 0, 1600, kTitleEdit, kPropertyTitleChars);
  location_ = AddEdit(grid, 1, 1243, kLocationEdit, static_cast<int>(locationChars()));
  auto* id = MakeControl<QLineEdit>(this, kIdEdit, "Identifier");
  id->setReadOnly(true);
  grid->addWidget(id, 2, 1);
  AddButtons(grid, 3, {1, 2});
}

size_t GroupPropertyDialog::locationChars() const {
  return resource() == kProGprsResource ? kGprsLocationChars : kPropertyLocationChars;
}

void GroupPropertyDialog::Fill() {}

std::optional<int> GroupPropertyDialog::Check() {
  return CheckGroupValues(Text(title_), Text(location_), locationChars(), node_, copy_);
}

bool GroupPropertyDialog::Unchanged() const {
  return copy_.title() == node_.title() && copy_.location() == node_.location();
}

void GroupPropertyDialog::Apply() { ApplyGroupEdit(node_, copy_); }

// ---- SNMP ----

SnmpPropertyDialog::SnmpPropertyDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner)
    : PropertyDialog(env, kProSnmpResource, kProSnmpDialogId, 2, node, owner) {
  auto* grid = new QGridLayout(this);
  title_ = AddEdit(grid, 0, 1600, kTitleEdit, kPropertyTitleChars);
  location_ = AddEdit(grid, 1, 1247, kLocationEdit, kPropertyLocationChars);
  auto* box = MakeControl<QGroupBox>(this, 1243, EnglishText(resource(), 1243));
  box->setTitle(QString::fromStdString(EnglishText(resource(), 1243)));
  grid->addWidget(box, 2, 0, 1, 2);
  ip_ = AddEdit(grid, 3, 1244, kIpEdit, kPropertyAddressChars);
  port_ = AddEdit(grid, 4, 1245, kPortEdit, 5);
  community_ = AddEdit(grid, 5, 1246, kCommunityEdit, kPropertyAddressChars);
  auto* label = MakeControl<QLabel>(this, kMibLabel, "MIB:");
  label->setText("MIB:");
  mib_ = MakeControl<QComboBox>(this, kMibList, "MIB");
  mib_->addItems({"UPSv4", "RFC1628"});
  label->setBuddy(mib_);
  grid->addWidget(label, 6, 0);
  grid->addWidget(mib_, 6, 1);
  AddDeviceRows(grid);
  AddButtons(grid, 9, {1, kAlarmMaskButton, 2});
  connect(qobject_cast<QPushButton*>(Control(kAlarmMaskButton)), &QPushButton::clicked, this,
          [this] { OpenSubDialog(kAlarmMaskSnmpResource); });
}

void SnmpPropertyDialog::Fill() {
  ip_->setText(QString::fromStdString(node_.ip()));
  port_->setText(QString::number(node_.port() == 0 ? kDefaultSnmpPort : node_.port()));
  const std::string community = node_.community();
  community_->setText(QString::fromStdString(community.empty() ? kDefaultCommunity : community));
  mibAtOpening_ = node_.mibType() == kMibRfc1628 ? 1 : 0;
  mib_->setCurrentIndex(mibAtOpening_);
  stop_->setChecked(node_.linkStatus() == kLinkStopped);
  database_->setChecked(node_.saveInDatabase());
  Control(kAlarmMaskButton)->setEnabled(node_.mibType() == kMibMakerUps);
}

std::optional<int> SnmpPropertyDialog::Check() {
  SnmpValues v;
  v.title = Text(title_);
  v.location = Text(location_);
  v.ip = Text(ip_);
  v.port = Text(port_);
  v.community = Text(community_);
  v.rfc1628 = mib_->currentIndex() == 1;
  v.mibChanged = mib_->currentIndex() != mibAtOpening_;
  v.stop = stop_->isChecked();
  v.saveInDatabase = database_->isChecked();
  v.newNode = env().ctx.commands.newNode;
  if (auto refused = CheckSnmpValues(v, node_, &env().ctx.tree.root(), copy_)) return refused;
  // A node just added has reported nothing yet.
  const LiveDataBlock* block = node_.block(BlockKind::kSnmp);
  mask_ = env().ctx.commands.newNode || !block ? 0 : block->mask(MaskWord::kReported);
  return std::nullopt;
}

std::vector<uint8_t> SnmpPropertyDialog::Payload() const {
  std::vector<uint8_t> p = PropertyDialog::Payload();
  const size_t at = p.size();
  p.resize(at + 8);
  putU64(p, at, mask_);
  return p;
}

void SnmpPropertyDialog::Apply() { ApplySnmpEdit(node_, copy_, mask_, env().ctx.tree.endpoints()); }

// ---- local ----

LocalPropertyDialog::LocalPropertyDialog(ConsoleDialogs& env, DeviceNode& node, QWidget* owner)
    : PropertyDialog(env, kProLocalResource, kProLocalDialogId, 0, node, owner) {
  auto* grid = new QGridLayout(this);
  title_ = AddEdit(grid, 0, 1600, kTitleEdit, kPropertyTitleChars);
  location_ = AddEdit(grid, 1, 1248, kLocationEdit, kPropertyLocationChars);
  auto* box = MakeControl<QGroupBox>(this, 1243, EnglishText(resource(), 1243));
  box->setTitle(QString::fromStdString(EnglishText(resource(), 1243)));
  grid->addWidget(box, 2, 0, 1, 2);
  const auto addList = [&](int row, int labelId, int listId) {
    const std::string text = EnglishText(resource(), labelId);
    auto* label = MakeControl<QLabel>(this, labelId, text);
    label->setText(QString::fromStdString(text));
    auto* list = MakeControl<QComboBox>(this, listId, text);
    label->setBuddy(list);
    grid->addWidget(label, row, 0);
    grid->addWidget(list, row, 1);
    return list;
  };
  com_ = addList(3, 1244, kComList);
  for (int i = 1; i <= kComPorts; ++i) com_->addItem(QString("COM%1").arg(i));
  upsId_ = AddEdit(grid, 4, 1245, kUpsIdEdit, 3);
  baud_ = addList(5, 1246, kBaudList);
  for (uint16_t b : kBauds) baud_->addItem(QString::number(b));
  type_ = addList(6, 1247, kTypeList);
  AddDeviceRows(grid);
  AddButtons(grid, 9, {1, kAdvanceButton, kAlarmMaskButton, 2});
  connect(qobject_cast<QPushButton*>(Control(kAdvanceButton)), &QPushButton::clicked, this,
          [this] { OpenSubDialog(kPlcResource); });
  connect(qobject_cast<QPushButton*>(Control(kAlarmMaskButton)), &QPushButton::clicked, this,
          [this] { OpenSubDialog(kAlarmMaskLocalResource); });
  connect(type_, &QComboBox::currentIndexChanged, this, [this] { TypeChosen(); });
}

void LocalPropertyDialog::Fill() {
  types_ = LocalTypeChoices(env().ctx.settings.offers, node_.commType());
  for (const CommTypeChoice& t : types_) type_->addItem(t.label, t.type);
  type_->setCurrentIndex(type_->findData(node_.commType()));
  const int port = PortDeviceRegistry::PortNumberOf(node_.com());
  com_->setCurrentIndex(port >= 1 && port <= kComPorts ? port - 1 : -1);
  upsId_->setText(QString::number(node_.upsId()));
  baud_->setCurrentIndex(baud_->findText(QString::number(node_.baud())));
  stop_->setChecked(node_.linkStatus() == kLinkStopped);
  database_->setChecked(node_.saveInDatabase());
  // The buttons follow the node's type as the service knows it: its PLC
  // table and masks are those of that type.
  Control(kAdvanceButton)->setVisible(node_.commType() == kCommPlc);
  Control(kAlarmMaskButton)->setVisible(node_.commType() == kCommModbusTrv5200);
  TypeChosen();
}

void LocalPropertyDialog::TypeChosen() {
  const int16_t type = static_cast<int16_t>(type_->currentData().toInt());
  const bool sum = type == kCommMeterSum;
  for (QWidget* w : {static_cast<QWidget*>(com_), static_cast<QWidget*>(upsId_), static_cast<QWidget*>(baud_)})
    w->setEnabled(!sum);
  Control(kAdvanceButton)->setEnabled(type == kCommPlc);
}

std::optional<int> LocalPropertyDialog::Check() {
  LocalValues v;
  v.title = Text(title_);
  v.location = Text(location_);
  v.comIndex = com_->currentIndex();
  v.upsId = Text(upsId_);
  v.baud = baud_->currentIndex() >= 0 ? kBauds[baud_->currentIndex()] : kBauds[0];
  v.commType = static_cast<int16_t>(type_->currentData().toInt());
  v.stop = stop_->isChecked();
  v.saveInDatabase = database_->isChecked();
  const PortDeviceRegistry* registry = env().map ? &env().map->endpoints().registry : nullptr;
  return CheckLocalValues(v, node_, registry, copy_);
}

void LocalPropertyDialog::Apply() {
  ApplyLocalEdit(node_, copy_, env().map ? &env().map->endpoints().registry : nullptr);
}

// ---- the registry ----

void RegisterPropertyDialogs(ConsoleDialogs& env) {
  const auto selected = [&env]() -> DeviceNode* {
    return env.ctx.points.mapSelectedNode ? env.ctx.points.mapSelectedNode() : nullptr;
  };
  const auto open = [&env, selected](uint8_t kind) {
    return [&env, selected, kind](QWidget* owner, intptr_t) {
      DeviceNode* n = selected();
      if (!n || n->nodeKind() != kind) return 0;
      switch (kind) {
        case kNodeSerial: {
          LocalPropertyDialog d(env, *n, owner);
          return d.Run();
        }
        case kNodeSnmp: {
          SnmpPropertyDialog d(env, *n, owner);
          return d.Run();
        }
        default: {
          GroupPropertyDialog d(env, *n, owner);
          return d.Run();
        }
      }
    };
  };
  env.ctx.dialogs.Register(kProLocalResource, open(kNodeSerial));
  env.ctx.dialogs.Register(kProGroupResource, open(kNodeGroup));
  env.ctx.dialogs.Register(kProSnmpResource, open(kNodeSnmp));
  env.ctx.dialogs.Register(kProGprsResource, open(kNodeGprs));
  for (uint32_t id : {kProLocalDialogId, kProGroupDialogId, kProSnmpDialogId, kProGprsDialogId}) {
    env.branches.Register(kLinkCmdSetNodeProperties, id, [](DialogBase& d, const ReplyView& r) {
      if (auto* p = dynamic_cast<PropertyDialog*>(&d)) p->OnReply(r);
    });
  }
  RegisterPlcDialog(env);
  RegisterAlarmMaskDialogs(env);
}

}  // namespace lark
