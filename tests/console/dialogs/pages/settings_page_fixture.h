// A started console whose detail tabs carry the settings pages, on a link
// with a fake reactor (the dialogs' fixture): devices go into the tree, the
// selection and the tab are set directly, and a page reloads when a test
// ticks its timer 1025 with the window's reload flag set.
#pragma once
#include <QTabWidget>
#include <memory>

#include "console/dialogs/pages/tab_page.h"
#include "console/shell/larkview.h"
#include "console/tabs/detail_tabs.h"
#include "tests/console/dialogs/dialog_fixture.h"
#include "tests/console/support/panel_fixture.h"

namespace lark::test {

struct SettingsPageConsole : DialogFixture {
  SettingsPageConsole() {
    clock.setWall(WallTime{2026, 5, 4, 1, 10, 0, 0, 0});
    ctx.messageBox = [this](QWidget*, const std::string& caption, const std::string& text, unsigned) {
      boxes.push_back(caption + ": " + text);
      return int(IDOK);
    };
    ctx.quit = [](int) {};
    setText("Dialog-TabConfig", "MSG1", "failed");
    setText("Dialog-TabConfig", "MSG2", "sending");
    setText("Dialog-TabConfig", "MSG3", "done");
    InstallDetailTabs(ctx);
    InstallSettingsPages(env);
    std::string failed;
    w = StartConsole(ctx, &failed);
    EXPECT_EQ(failed, "");
    ctx.points.selectedDevice = [this] { return selected; };
  }
  ~SettingsPageConsole() {
    w->Destroy();
    ShutdownConsole(ctx, *w);
    w.reset();
  }

  // A device of the kind with its blocks, in the tree under the root.
  DeviceNode* add(int16_t id, uint8_t kind, int16_t commType) {
    std::unique_ptr<DeviceNode> n = MakeDevice(kind, commType);
    n->setId(id);
    DeviceNode* d = ctx.tree.root().addChild(n);
    ctx.tree.indexSubtree(*d);
    return d;
  }
  template <class P>
  P* page(int slot) {
    return w->tabPage(slot)->findChild<P*>();
  }
  // The slot's tab selected, the reload flag set and one tick of the page.
  void reload(TabPage& p, DeviceNode* device) {
    selected = device;
    w->detailTabSelection = p.slot();
    w->tabReloadFlag = 1;
    p.OnSecondTick();
  }
  // Everything queued on the request queue: operation records and requests.
  std::vector<std::vector<uint8_t>> queued() {
    std::vector<std::vector<uint8_t>> out;
    while (auto head = link.queues().peek(3)) {
      out.push_back(head->data);
      link.queues().dropHead(3);
    }
    return out;
  }
  // The payload of the request at the head of the queue (after its command
  // and sub-command), left in place for the reply.
  std::vector<uint8_t> headPayload() {
    auto head = link.queues().peek(3);
    return head ? std::vector<uint8_t>(head->data.begin() + 6, head->data.end()) : std::vector<uint8_t>{};
  }

  std::unique_ptr<LarkviewWindow> w;
  DeviceNode* selected = nullptr;
  std::vector<std::string> boxes;
};

}  // namespace lark::test
