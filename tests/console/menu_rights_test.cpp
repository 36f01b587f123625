// Menu rights on the three menus: the rules across levels, phases and the
// accounts switch, the edge cases of the rights scheme, the removed add
// items, and the rights following the link's state.
#include "console/shell/menu_rights.h"

#include <gtest/gtest.h>

#include <QAction>
#include <set>

#include "console/link/service_link.h"
#include "console/shell/console_link.h"
#include "console/shell/console_menus.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/shell/menu_commands.h"
#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

// The enabled ids among the gated ones of the main menu.
std::set<int> Enabled(ConsoleMenus& m, int resource = kMenuMain) {
  std::set<int> out;
  for (int id = kFirstMenuCommand; id <= kLastMenuCommand; ++id)
    if (QAction* a = m.item(resource, id); a && a->isEnabled()) out.insert(id);
  return out;
}

const std::set<int> kNeverGated = {IDM_EXIT,      IDM_ABOUT,      IDM_MOVE_UP,     IDM_MOVE_DOWN,
                                   IDM_NEXT_OBJECT, IDM_PREVIOUS_OBJECT, IDM_CONNECT_TO_SERVER,
                                   IDM_LANGUAGE,  IDM_SAVE_SERIAL_DATA, IDM_SAVE_NETWORK_DATA,
                                   IDM_SYNC_IMAGES, IDM_EXPORT_LIST};

std::set<int> Gated(const std::set<int>& s) {
  std::set<int> out;
  for (int id : s)
    if (!kNeverGated.count(id)) out.insert(id);
  return out;
}

TEST(MenuRights, RulesByLevelPhaseAndAccounts) {
  // R1..R8 as a string of 0/1, per (level, phase, accounts).
  struct Case {
    int level, phase;
    bool accounts;
    const char* rules;
  } cases[] = {
      {2, 0, false, "00000000"}, {2, 3, false, "10000000"}, {2, 4, true, "10001000"},
      {2, 7, false, "11110001"}, {2, 7, true, "11111100"}, {3, 7, true, "00111100"},
      {1, 7, true, "00011110"},  {1, 7, false, "00010011"}, {0, 7, true, "00011000"},
      {0, 4, false, "00000000"}, {3, 3, false, "00000000"}, {1, 4, true, "00001000"},
  };
  for (const Case& c : cases) {
    std::string got;
    for (int r = 0; r < 8; ++r) got += RuleAllows(RightsRule(r), c.level, c.phase, c.accounts) ? '1' : '0';
    EXPECT_EQ(got, c.rules) << c.level << " " << c.phase << " " << c.accounts;
  }
}

TEST(MenuRights, EdgeCasesOfTheScheme) {
  for (int level = 0; level <= 3; ++level)
    for (int phase : {0, 3, 4, 7})
      for (bool accounts : {false, true}) {
        SCOPED_TRACE(testing::Message() << level << " " << phase << " " << accounts);
        ConsoleMenus m;
        UpdateMenuRights(m, level, phase, accounts);
        const std::set<int> gated = Gated(Enabled(m));
        for (int id : kNeverGated) {
          if (m.item(kMenuMain, id)) {
            EXPECT_TRUE(m.item(kMenuMain, id)->isEnabled()) << id;
          }
        }
        if (phase < 3) {
          EXPECT_TRUE(gated.empty());
        }
        if (level == 3 && phase == 7) {
          std::set<int> want = {IDM_GENERATE_REPORT, IDM_ALL_EVENT_LOG, IDM_SELECTED_EVENT_LOG,
                                IDM_HISTORICAL_PARAMETERS, IDM_DOWNLOAD_UPS_LOG, IDM_DATABASE};
          want.insert(accounts ? IDM_LOGIN : IDM_CONTROL_PASSWORD_SETUP);
          if (accounts) want.insert(IDM_CHANGE_PASSWORD);
          EXPECT_EQ(gated, want);
        }
        EXPECT_EQ(gated.count(IDM_ACCESS_MANAGEMENT) > 0, level == 1 && phase == 7);
        if (level == 1 && phase == 7) {
          std::set<int> want = {IDM_ACCESS_MANAGEMENT, IDM_DATABASE};
          if (accounts) {
            want.insert({IDM_LOGIN, IDM_CHANGE_PASSWORD});
          } else {
            want.insert(IDM_CONTROL_PASSWORD_SETUP);
          }
          EXPECT_EQ(gated, want);
        }
        if (accounts) {
          EXPECT_FALSE(gated.count(IDM_CONTROL_PASSWORD_SETUP));
        } else {
          EXPECT_FALSE(gated.count(IDM_LOGIN) || gated.count(IDM_CHANGE_PASSWORD));
        }
        // The pop-ups follow the same rules for their items.
        EXPECT_EQ(Enabled(m, kMenuListPopup).count(IDM_PROPERTY) > 0, level == 2 && phase == 7);
        EXPECT_EQ(Enabled(m, kMenuMapPopup).count(IDM_ALL_EVENT_LOG) > 0, (level == 2 || level == 3) && phase == 7);
      }
}

TEST(MenuRights, AddLocalAndAddGprsLeaveTheMenusOnce) {
  ConsoleMenus m;
  ASSERT_TRUE(m.item(kMenuMain, IDM_ADD_LOCAL));
  for (int i = 0; i < 2; ++i) UpdateMenuRights(m, 2, 7, false);
  for (int resource : {kMenuMain, kMenuMapPopup}) {
    EXPECT_EQ(m.item(resource, IDM_ADD_LOCAL), nullptr);
    EXPECT_EQ(m.item(resource, IDM_ADD_GPRS), nullptr);
    EXPECT_NE(m.item(resource, IDM_ADD_SNMP), nullptr);
  }
}

TEST(MenuRights, ALostLinkGreysSave) {
  test::TempDir dir;
  MakeDirs(dir.file("English"));
  FakeClock clock;
  ConsoleContext ctx(dir.path(), clock, WorkArea{0, 0, 1280, 800});
  ctx.quit = [](int) {};
  ctx.messageBox = [](QWidget*, const std::string&, const std::string&, unsigned) { return int(IDYES); };
  ConsoleLink link(ctx);
  link.Wire();
  std::string failed;
  std::unique_ptr<LarkviewWindow> w = StartConsole(ctx, &failed);
  ASSERT_TRUE(w) << failed;
  QAction* save = w->menus().item(kMenuMain, IDM_SAVE);
  EXPECT_FALSE(save->isEnabled());  // start-up: level 2, no session
  for (auto [s, sub] : {std::pair<int, int>{1, 0}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 2}, {4, 0}, {4, 2},
                        {6, 0}, {6, 2}, {7, 0}})
    ASSERT_TRUE(link.link().requestState(uint8_t(s), uint8_t(sub)));
  EXPECT_TRUE(save->isEnabled());
  link.link().resetServiceLink(2, false);
  EXPECT_FALSE(save->isEnabled());
  w->SendCommand(IDM_EXIT);
  ShutdownConsole(ctx, *w);
}

}  // namespace
}  // namespace lark
