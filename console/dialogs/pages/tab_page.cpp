#include "console/dialogs/pages/tab_page.h"

#include <QBoxLayout>
#include <QLabel>
#include <QPushButton>

#include "console/dialogs/console_dialogs.h"
#include "console/dialogs/dialog_text_table.h"
#include "console/link/service_link.h"
#include "console/shell/console_context.h"
#include "console/shell/dialog_texts.h"
#include "console/shell/main_window.h"

namespace lark {

TabPage::TabPage(ConsoleDialogs& env, int resource, int slot, QWidget* page)
    : DialogBase(env, resource, std::nullopt, page), slot_(slot) {
  setWindowFlags(Qt::Widget);  // a child of its page, not a window
  status_ = new QLabel(this);
  SetControlId(status_, kPageStatusControl);
  status_->setAccessibleName("Status");
  connect(this, &QWidget::windowTitleChanged, status_, &QLabel::setText);
  if (!env.ctx.timers.Set(this, kPageTimerId, kPageTimerPeriodMs, [this] { OnSecondTick(); }))
    env.ctx.messageBox(this, kMainTitle, "Too many timer!", MB_ICONEXCLAMATION);
}

TabPage::~TabPage() { env().ctx.timers.Kill(this, kPageTimerId); }

std::string TabPage::status() const { return status_->text().toStdString(); }

void TabPage::OnSecondTick() {
  ConsoleContext& ctx = env().ctx;
  LarkviewWindow* w = ctx.mainWindow;
  if (w == nullptr) return;
  if (!ctx.points.isSelectedTab || !ctx.points.isSelectedTab(slot_)) return;
  DeviceNode* device = ctx.points.selectedDevice ? ctx.points.selectedDevice() : nullptr;
  if (device == nullptr && !ReloadsWithoutDevice()) return;
  // A page that found nothing to show of its device looks again each second,
  // so it fills when the device's first report arrives.
  const bool waitsForData = device != nullptr && device == LoadedDevice() && ShowsNothing();
  if (w->tabReloadFlag == 0 && !waitsForData) return;
  w->tabReloadFlag = 0;
  const LocalisedTexts texts = Localise(this, resource(), ctx.languageProfile(), ctx.texts.language);
  if (texts.prefixSet) SetPrefix(std::string(CutUtf8(texts.prefix, OpenDialogRecord::kPrefixMax)));
  if (device != nullptr) loadedId_ = device->id();
  Reload(device);
}

void TabPage::RequestReload() {
  if (env().ctx.mainWindow != nullptr) env().ctx.mainWindow->tabReloadFlag = 1;
}

bool TabPage::MayChange() const {
  const ConsoleContext& ctx = env().ctx;
  if (!ctx.settings.accountsInUse) return true;
  return env().link.session().databaseState == 2 && ctx.settings.userLevel == 2;
}

DeviceNode* TabPage::LoadedDevice() const {
  return loadedId_ < 0 ? nullptr : env().ctx.tree.findById(loadedId_);
}

QLabel* TabPage::NewLabel(int id) {
  auto* l = new QLabel(QString::fromStdString(EnglishText(resource(), id)), this);
  SetControlId(l, id);
  return l;
}

QPushButton* TabPage::NewButton(int id) {
  const QString text = QString::fromStdString(EnglishText(resource(), id));
  auto* b = new QPushButton(text, this);
  SetControlId(b, id);
  b->setAccessibleName(QString(text).remove('&'));
  b->setAutoDefault(false);
  return b;
}

void TabPage::SetFieldId(QWidget* w, int id, QLabel* label) {
  SetControlId(w, id);
  if (label != nullptr) {
    label->setBuddy(w);
    w->setAccessibleName(label->text().remove('&').remove(':').trimmed());
  }
}

void TabPage::AddSubmitAndRefresh(QVBoxLayout* outer, std::function<void()> submit, std::function<void()> refresh) {
  QPushButton* buttons[] = {NewButton(1), NewButton(2)};
  auto* row = new QHBoxLayout;
  for (QPushButton* b : buttons) row->addWidget(b);
  row->addStretch(1);
  outer->addLayout(row);
  outer->addWidget(status_);
  outer->addStretch(1);
  connect(buttons[0], &QPushButton::clicked, this, std::move(submit));
  connect(buttons[1], &QPushButton::clicked, this, std::move(refresh));
}

void TabPage::ShowControls(const std::vector<int>& ids, bool on) {
  for (int id : ids)
    if (QWidget* c = Control(id)) c->setVisible(on);
}

void TabPage::RefuseNumber(const std::string& field, int32_t min, int32_t max) {
  ConsoleContext& ctx = env().ctx;
  std::string text = ctx.languageProfile().getString("MessageBox", "M_" + std::to_string(kNumberRangeMessage), "", 1024);
  if (text.empty()) text = "%s must be a whole number from %d to %d.";
  // One pass: the first "%s" takes the field, the first two "%d" the range;
  // nothing else is a format, and nothing inserted is read again.
  std::string out;
  const std::string numbers[] = {std::to_string(min), std::to_string(max)};
  size_t d = 0;
  bool s = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      if (text[i + 1] == 's' && !s) {
        out += field, s = true, ++i;
        continue;
      }
      if (text[i + 1] == 'd' && d < 2) {
        out += numbers[d++], ++i;
        continue;
      }
    }
    out += text[i];
  }
  ctx.messageBox(this, kMainTitle, out, MB_ICONEXCLAMATION);
}

void TabPage::OnOwnTimer() {
  if (TimedOut()) {
    OnReplyCode(std::nullopt);
    return;
  }
  if (env().link.pending().sequence != request().sequence) {  // another request took over
    KillReplyTimer();
    OnReplyCode(std::nullopt);
    return;
  }
  if (!TakeReply()) return;
  const std::vector<uint8_t>& frame = env().link.pending().reply;
  OnReplyCode(frame.size() > 5 ? std::optional<uint8_t>(frame[5]) : std::optional<uint8_t>(0));
}

}  // namespace lark
