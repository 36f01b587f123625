// The detail tab window: the tab control (id 3) with one item per enabled
// slot (Summary, Diagram, Module, Schedule, Configuration, Dry Contact), the
// six pages under it, the settings dialogs on pages 3 to 5, the rule that
// says which page a device shows, and the refresh the main window's timers
// drive. The control and the pages are the main window's; this adopts them.
#pragma once
#include <array>
#include <memory>

#include "console/views/panel_inputs.h"
#include "core/device_node.h"

class QWidget;

namespace lark {

class ConsoleContext;

// The fixed tab slots.
enum DetailTabId : int {
  kTabSummary = 0,
  kTabDiagram = 1,
  kTabModule = 2,
  kTabSchedule = 3,
  kTabConfiguration = 4,
  kTabDryContact = 5,
};

// True when the page of `slot` stays hidden for `device` (slots 3 to 5; the
// painted pages 0 to 2 show for every device).
bool DetailPageHidden(int slot, const DeviceNode& device);

class DetailTabs {
 public:
  explicit DetailTabs(ConsoleContext& ctx);

  // Inserts one item per enabled slot with its title; the first call also
  // makes the three settings dialogs on their pages.
  void CreateDetailTabs();
  // New items after the enable flags or the language changed: the first item
  // selected, every page hidden until the next refresh shows one.
  void RebuildDetailTabs();
  // Shows the selected slot's page as the selected device allows and paints
  // it; with `full`, also the property pane, and the pages repaint whole.
  void RefreshDetailTabs(bool full);
  // True when the item at `selection` is `slot`'s item.
  bool IsSelectedTab(int slot, int selection) const;
  void PaintPropertyPane(const DeviceNode* device);

  // The painters' inputs from the context as it is now.
  PanelInputs Inputs() const;

 private:
  void HideAllPages();

  ConsoleContext& ctx_;
  bool dialogsMade_ = false;
};

// The painters' inputs from the console as it is now.
PanelInputs PanelInputsOf(ConsoleContext& ctx);

// Makes the console's DetailTabs and the Module tab and fills their call points.
void InstallDetailTabs(ConsoleContext& ctx);

}  // namespace lark
