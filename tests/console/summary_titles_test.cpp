// The shipped English event titles on the Summary page: each ends before the
// next event column (or the value columns) starts, with the English texts of
// the shipped language folder deciding the column width.
#include <gtest/gtest.h>

#include <set>

#include "console/tabs/summary_tab.h"
#include "console/views/recording_canvas.h"
#include "core/action_tables.h"
#include "core/language_texts_store.h"
#include "tests/console/support/panel_fixture.h"

namespace lark {
namespace {

using test::MakeDevice;
using test::Quoted;

int At(const std::string& op, size_t field) {
  size_t at = op.find(' ') + 1;
  for (size_t i = 0; i < field; ++i) at = op.find(',', at) + 1;
  return std::stoi(op.substr(at));
}

TEST(SummaryTitlesTest, ShippedEnglishTitlesFitTheirColumns) {
  LanguageTables language(test::SourcePath("data"));
  ASSERT_EQ(language.load("English"), std::vector<std::string>{});
  struct Case {
    const char* what;
    uint8_t kind;
    int16_t commType;
  } cases[] = {
      {"SNMP UPS", kNodeSnmp, 0},
      {"ASCII UPS", kNodeSerial, kCommAscii},
      {"TRV5200", kNodeSerial, kCommModbusTrv5200},
      {"9315", kNodeSerial, kCommModbus9315},
      {"GPRS station", kNodeGprs, 0},
      {"three-phase UPS", kNodeSerial, kCommThreePhase},
      {"inverter", kNodeSerial, kCommInverter},
  };
  for (const Case& k : cases) {
    test::PanelFixture f;
    f.texts = language.current()->texts;
    f.actions = std::make_shared<ActionTables>(*language.actions());
    f.page = {0, 0, 1200, 800};
    f.tabWidth = 1205;
    RecordingCanvas c;
    auto device = MakeDevice(k.kind, k.commType);
    PaintSummaryTab(c, f.inputs(c), *device, true);
    // The heading's box is one column wide; icons stand at each column's left.
    const std::string heading = c.opsNamed("DrawText").front();
    const int width = At(heading, 2) - At(heading, 0);
    std::set<int> columns;
    std::set<std::pair<int, int>> icons;
    for (const std::string& op : c.opsNamed("DrawIcon")) {
      columns.insert(At(op, 0));
      icons.insert({At(op, 0), At(op, 1)});
    }
    ASSERT_FALSE(columns.empty()) << k.what;
    c.SelectFont(f.fonts.value);
    int titles = 0;
    for (const std::string& op : c.opsNamed("TextOut")) {
      const int x = At(op, 0) - 20, y = At(op, 1);
      if (!icons.contains({x, y})) continue;  // a value, not an event
      ++titles;
      const int end = x + width + (x == *columns.rbegin() ? 36 : 16);
      EXPECT_LE(x + 20 + c.TextWidth(Quoted(op)), end) << k.what << ": " << Quoted(op);
    }
    EXPECT_EQ(titles, static_cast<int>(icons.size())) << k.what;
  }
}

}  // namespace
}  // namespace lark
