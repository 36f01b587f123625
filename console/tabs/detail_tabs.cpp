// Sections: the visibility rule, items and dialogs, the refresh, call points.
#include "console/tabs/detail_tabs.h"

#include <QScrollArea>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "console/shell/console_context.h"
#include "console/shell/main_window.h"
#include "console/tabs/module_tab.h"
#include "console/tabs/property_pane.h"
#include "console/tabs/summary_tab.h"
#include "console/views/image_canvas.h"
#include "core/live_data.h"

namespace lark {

// ---- the visibility rule ----

namespace {

// A local serial device whose last report says its line is lost; a missing
// block counts as lost (nothing is known of the device).
bool CommunicationLost(const DeviceNode& d) {
  if (d.nodeKind() != kNodeSerial) return false;
  BlockKind kind;
  uint64_t bit;
  switch (d.commType()) {
    case kCommAscii: kind = BlockKind::kAscii, bit = uint64_t{1} << 24; break;
    case kCommThreePhase: kind = BlockKind::kBinary, bit = uint64_t{1} << 13; break;
    case kCommModbusUps: kind = BlockKind::kModbus, bit = uint64_t{1} << 24; break;
    default: return false;
  }
  const LiveDataBlock* b = d.block(kind);
  return b == nullptr || (b->mask(MaskWord::kReported) & bit) != 0;
}

}  // namespace

bool DetailPageHidden(int slot, const DeviceNode& d) {
  const int ct = d.commType();  // whatever the kind
  const bool settingsLess = ct == kCommModbusTrv5200 || ct == kCommPlc || ct == kCommModbus9315;
  switch (slot) {
    case kTabSchedule: return d.nodeKind() == kNodeGprs || settingsLess;
    case kTabConfiguration:
    case kTabDryContact:
      return d.nodeKind() == kNodeSnmp || d.nodeKind() == kNodeGprs || settingsLess ||
             CommunicationLost(d);
    default: return false;
  }
}

// ---- items and dialogs ----

DetailTabs::DetailTabs(ConsoleContext& ctx) : ctx_(ctx) {}

void DetailTabs::CreateDetailTabs() {
  LarkviewWindow* w = ctx_.mainWindow;
  if (w == nullptr) return;
  QTabWidget* tabs = w->tabControl();
  const MonitorSettings& s = ctx_.monitor.settings();
  {
    const QSignalBlocker quiet(tabs);
    for (int slot = 0; slot < kDetailTabs; ++slot)
      if (s.tabEnabled[static_cast<size_t>(slot)])
        tabs->addTab(new QWidget, QString::fromStdString(ctx_.texts.view.tabTitles[static_cast<size_t>(slot)]));
  }
  if (dialogsMade_) return;
  dialogsMade_ = true;
  const std::pair<int, const std::function<QWidget*(QWidget*)>*> dialogs[] = {
      {kTabSchedule, &ctx_.points.createScheduleTab},
      {kTabConfiguration, &ctx_.points.createConfigTab},
      {kTabDryContact, &ctx_.points.createDryContactTab},
  };
  for (const auto& [slot, make] : dialogs) {
    if (!*make) continue;
    QWidget* page = w->tabPage(slot);
    QWidget* dialog = (*make)(page);
    if (dialog == nullptr) continue;
    dialog->setAutoFillBackground(true);
    QPalette pal = dialog->palette();
    pal.setColor(QPalette::Window, ToQColor(SysColorValue(kColorWindow)));
    dialog->setPalette(pal);
    // The dialog fills its page and follows the page's size; a page smaller
    // than the dialog's controls scrolls instead of squeezing them.
    auto* scroll = new QScrollArea(page);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(dialog);
    auto* fill = new QVBoxLayout(page);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(scroll);
    dialog->show();  // seen once its page is
  }
}

void DetailTabs::RebuildDetailTabs() {
  LarkviewWindow* w = ctx_.mainWindow;
  if (w == nullptr) return;
  QTabWidget* tabs = w->tabControl();
  {
    const QSignalBlocker quiet(tabs);
    while (tabs->count() > 0) {
      QWidget* dummy = tabs->widget(0);
      tabs->removeTab(0);
      delete dummy;
    }
  }
  CreateDetailTabs();
  {
    const QSignalBlocker quiet(tabs);
    tabs->setCurrentIndex(0);
  }
  w->detailTabSelection = 0;
  HideAllPages();  // the old page must not stay over the new selection
}

bool DetailTabs::IsSelectedTab(int slot, int selection) const {
  if (slot < 0 || slot >= kDetailTabs) return false;
  const auto& enabled = ctx_.monitor.settings().tabEnabled;
  if (!enabled[static_cast<size_t>(slot)]) return false;
  int item = -1;
  for (int s = 0; s <= slot; ++s) item += enabled[static_cast<size_t>(s)] ? 1 : 0;
  return selection == item;
}

void DetailTabs::HideAllPages() {
  for (int slot = 0; slot < kDetailTabs; ++slot)
    if (QWidget* p = ctx_.mainWindow->tabPage(slot)) p->hide();
}

// ---- the refresh ----

PanelInputs PanelInputsOf(ConsoleContext& ctx) {
  const LarkviewWindow* w = ctx.mainWindow;
  CanvasRect page, pane;
  int tabWidth = 0;
  if (w != nullptr) {
    const QSize ps = w->tabPage(kTabSummary)->contentsRect().size();
    page = {0, 0, ps.width(), ps.height()};
    const QSize qs = w->propertyPane()->contentsRect().size();
    pane = {0, 0, qs.width(), qs.height()};
    tabWidth = w->tabArea().width();
  }
  return PanelInputs{ctx.fonts.label,
                     ctx.fonts.value,
                     ctx.fonts.panel,
                     ctx.fonts.valueLineHeight,
                     ctx.fonts.panelLineHeight,
                     page,
                     pane,
                     tabWidth,
                     ctx.settings.service.levelColors,
                     ctx.settings.service.language,
                     ctx.tables.actions(),
                     ctx.texts.language,
                     ctx.texts.status,
                     ctx.backBuffer};
}

PanelInputs DetailTabs::Inputs() const { return PanelInputsOf(ctx_); }

void DetailTabs::PaintPropertyPane(const DeviceNode* device) {
  LarkviewWindow* w = ctx_.mainWindow;
  if (w == nullptr) return;
  SurfaceWidget* pane = w->propertyPane();
  ImageCanvas c(&pane->surface());
  const WindowRect& r = ctx_.monitor.settings().general;
  lark::PaintPropertyPane(c, Inputs(), device, r.bottom - r.top);
  pane->update();
}

void DetailTabs::RefreshDetailTabs(bool full) {
  LarkviewWindow* w = ctx_.mainWindow;
  if (w == nullptr) return;
  DeviceNode* device = ctx_.points.selectedDevice ? ctx_.points.selectedDevice() : nullptr;
  if (full) PaintPropertyPane(device);
  if (device == nullptr) {
    HideAllPages();
    return;
  }
  int slot = 0;
  while (slot < kDetailTabs && !IsSelectedTab(slot, w->detailTabSelection)) ++slot;
  if (slot == kDetailTabs) return;
  SurfaceWidget* page = w->tabPage(slot);
  page->show();
  if (slot >= kTabSchedule) {
    page->setVisible(!DetailPageHidden(slot, *device));
    if (full) page->repaint();  // the dialog on it repaints at once
    return;
  }
  ImageCanvas c(&page->surface());
  if (slot == kTabSummary) {
    PaintSummaryTab(c, Inputs(), *device, full);
  } else if (slot == kTabDiagram) {
    CallPoint(ctx_.points.paintDiagramTab, c, *device, full);
  } else if (ctx_.points.paintModuleTab && ctx_.points.paintModuleTab(c, *device, full)) {
    // The module layout changed: the whole window repaints on the next tick.
    w->tabRepaintCountdown = 1;
    w->client()->update();
  }
  page->update();
}

// ---- call points ----

void InstallDetailTabs(ConsoleContext& ctx) {
  auto tabs = std::make_shared<DetailTabs>(ctx);
  ConsoleCallPoints& cp = ctx.points;
  cp.createDetailTabs = [tabs] { tabs->CreateDetailTabs(); };
  cp.rebuildDetailTabs = [tabs] { tabs->RebuildDetailTabs(); };
  cp.refreshDetailTabs = [tabs](int full) { tabs->RefreshDetailTabs(full != 0); };
  cp.isSelectedTab = [tabs, &ctx](int slot) {
    return ctx.mainWindow != nullptr && tabs->IsSelectedTab(slot, ctx.mainWindow->detailTabSelection);
  };
  cp.paintPropertyPane = [tabs](DeviceNode* device) { tabs->PaintPropertyPane(device); };
  InstallModuleTab(ctx);
}

}  // namespace lark
