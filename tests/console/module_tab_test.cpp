// The Module page: which devices get which view, the module columns and
// their cache of presence and faults, the pictures and digits, the row gap,
// the filter states, the three-phase alarm groups and the shipped English
// titles of their events, the mended inputs, and one golden picture of two
// modules on the shipped pictures.
#include "console/tabs/module_tab.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>

#include "console/views/image_canvas.h"
#include "console/views/recording_canvas.h"
#include "core/action_tables.h"
#include "core/language_texts_store.h"
#include "platform/paths.h"
#include "tests/console/support/panel_fixture.h"
#include "tests/support/temp_dir.h"

namespace lark {
namespace {

using test::MakeDevice;
using test::Quoted;

constexpr size_t kAsciiModel = 1068, kModbusModel = 1436;

// Copies the shipped pictures under <dir>/ups (lower case: found without case).
void CopyPictures(const std::string& dir) {
  for (const char* f : {"Selka/selka-80k.bmp", "Selka/pm-1.bmp", "Selka/pm-2.bmp", "Selka/pm-3.bmp",
                        "Selka/pm-4.bmp", "Vorm/vorm.bmp", "Trobe/trobe.bmp"}) {
    std::string rel = f;
    for (char& ch : rel) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const std::string to = dir + "/ups/" + rel;
    MakeDirs(to.substr(0, to.rfind('/')));
    ASSERT_TRUE(WriteFileAtomic(to, ReadFile(test::SourcePath(std::string("data/UPS/") + f)).value()));
  }
}

struct ModuleFixture {
  test::PanelFixture f;
  test::TempDir dir;
  ModuleTabState state{dir.path()};
  RecordingCanvas c;

  explicit ModuleFixture(bool pictures = true) {
    if (pictures) CopyPictures(dir.path());
  }
  bool paint(const DeviceNode& d, bool full = false) {
    c.clear();
    return PaintModuleTab(c, f.inputs(c), state, d, full);
  }
  std::vector<std::string> texts(const std::string& op = "TextOut") const {
    std::vector<std::string> out;
    for (const std::string& o : c.opsNamed(op)) out.push_back(Quoted(o));
    return out;
  }
  // The first recorded operation showing `text`, or "".
  std::string op(const std::string& text) const {
    for (const std::string& o : c.ops())
      if (Quoted(o) == text) return o;
    return "";
  }
  static std::string colour(const std::string& op) {
    const size_t at = op.find("colour ");
    return at == std::string::npos ? "" : op.substr(at + 7, 6);
  }
  static int x(const std::string& op) { return std::stoi(op.substr(op.find(' ') + 1)); }
  static int y(const std::string& op) { return std::stoi(op.substr(op.find(',') + 1)); }
};

// A modular UPS on the ASCII line, every value absent but the model code.
std::unique_ptr<DeviceNode> ModularUps(uint32_t model) {
  auto d = MakeDevice(kNodeSerial, kCommAscii);
  d->block(BlockKind::kAscii)->putU32(kAsciiModel, model);
  return d;
}

void SetModule(LiveDataBlock& b, int m, int32_t state, int32_t a = -1, int32_t bw = -1, int32_t cw = -1) {
  b.setSlot(112 + m, state);
  b.setSlot(118 + m, a);
  b.setSlot(124 + m, bw);
  b.setSlot(130 + m, cw);
}

std::unique_ptr<DeviceNode> ThreePhaseUps() {
  auto d = MakeDevice(kNodeSerial, kCommThreePhase);
  d->block(BlockKind::kBinary)->putU32(kBinaryModelByteOffset, 2);
  return d;
}

std::string Hex(ColorRef c) {
  char b[8];
  std::snprintf(b, sizeof b, "%06x", c);
  return b;
}

TEST(ModuleTabTest, ViewChoice) {
  enum Want { kNothing, kModular, kThreePhase };
  struct Case {
    const char* what;
    uint8_t kind;
    int16_t ct;
    uint32_t model;
    uint8_t upsType;
    Want want;
  } cases[] = {
      {"SNMP", kNodeSnmp, 0, 3, 0, kNothing},
      {"GPRS", kNodeGprs, 0, 3, 0, kNothing},
      {"TRV5200", kNodeSerial, 3, 3, 0, kNothing},
      {"PLC", kNodeSerial, 4, 3, 0, kNothing},
      {"9315", kNodeSerial, 5, 3, 0, kNothing},
      {"ASCII code 2", kNodeSerial, 0, 2, 0, kNothing},
      {"ASCII code 4", kNodeSerial, 0, 4, 0, kModular},
      {"ASCII HVDC code 0", kNodeSerial, 0, 0, 6, kModular},
      {"Modbus code 6", kNodeSerial, 2, 6, 0, kNothing},
      {"Modbus code 2", kNodeSerial, 2, 2, 0, kNothing},
      {"Modbus code 5", kNodeSerial, 2, 5, 0, kModular},
      {"binary code 1", kNodeSerial, 1, 1, 0, kNothing},
      {"binary code 2", kNodeSerial, 1, 2, 0, kThreePhase},
      {"sensor", kNodeSerial, 7, 2, 0, kNothing},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    ModuleFixture fx(false);
    auto d = MakeDevice(k.kind, k.ct);
    d->setUpsTypeCode(k.upsType);
    for (auto [kind, at] : {std::pair{BlockKind::kAscii, kAsciiModel}, std::pair{BlockKind::kModbus, kModbusModel},
                            std::pair{BlockKind::kBinary, kBinaryModelByteOffset}})
      if (LiveDataBlock* b = d->block(kind)) b->putU32(at, k.model);
    for (BlockKind kind : {BlockKind::kAscii, BlockKind::kModbus})
      if (LiveDataBlock* b = d->block(kind)) b->setSlot(112, 1);  // module 1 present
    fx.paint(*d, false);
    const std::vector<std::string> t = fx.texts();
    switch (k.want) {
      case kNothing:
        EXPECT_TRUE(fx.c.ops().empty());
        fx.paint(*d, true);
        EXPECT_EQ(fx.c.ops(), std::vector<std::string>{"Rectangle 0,0,901,401 pen null brush ffffff"});
        break;
      case kModular:
        EXPECT_NE(std::find(t.begin(), t.end(), "PM9 1"), t.end());
        break;
      case kThreePhase:
        EXPECT_NE(std::find(t.begin(), t.end(), "PM10"), t.end());
        break;
    }
  }
  // A device without its block: nothing drawn, nothing read.
  ModuleFixture fx(false);
  for (int16_t ct : {kCommAscii, kCommThreePhase, kCommModbusUps}) {
    DeviceNode bare;
    bare.setNodeKind(kNodeSerial);
    bare.setCommType(ct);
    EXPECT_FALSE(fx.paint(bare, false));
    EXPECT_TRUE(fx.c.ops().empty());
  }
}

TEST(ModuleTabTest, ModuleColumnsFollowPresenceOnce) {
  ModuleFixture fx;
  auto d = ModularUps(3);
  LiveDataBlock& b = *d->block(BlockKind::kAscii);
  for (int m : {0, 2, 5}) SetModule(b, m, 1);
  EXPECT_TRUE(fx.paint(*d, true));
  const std::string m1 = fx.op("PM9 1"), m3 = fx.op("PM9 3"), m6 = fx.op("PM9 6");
  ASSERT_FALSE(m1.empty());
  ASSERT_FALSE(m3.empty());
  ASSERT_FALSE(m6.empty());
  EXPECT_EQ(fx.op("PM9 2"), "");
  EXPECT_EQ(ModuleFixture::x(m3) - ModuleFixture::x(m1), 185);
  EXPECT_EQ(ModuleFixture::x(m6) - ModuleFixture::x(m3), 185);
  // The first module column starts 10 pixels right of the picture (180 wide).
  EXPECT_EQ(ModuleFixture::x(m1), ModuleFixture::x(fx.op("PM3")) + 180 + 10);
  EXPECT_FALSE(fx.paint(*d));
  SetModule(b, 2, 0);  // module 3 gone
  EXPECT_TRUE(fx.paint(*d));
  EXPECT_EQ(fx.op("PM9 3"), "");
  EXPECT_EQ(ModuleFixture::x(fx.op("PM9 6")) - ModuleFixture::x(fx.op("PM9 1")), 185);
  EXPECT_FALSE(fx.paint(*d));
  // Another device with the same modules changes nothing.
  auto other = ModularUps(5);
  for (int m : {0, 5}) SetModule(*other->block(BlockKind::kAscii), m, 1);
  EXPECT_FALSE(fx.paint(*other));
}

TEST(ModuleTabTest, ModelPictureAndDigits) {
  struct Case {
    uint32_t model;
    const char* picture;
    std::vector<std::string> digits;
  } cases[] = {
      {4, "BitBlt 43,54 180x220 image", {}},
      {3, "BitBlt 43,54 180x260 image", {"1", "2", "3", "4"}},
      {5, "BitBlt 43,54 180x260 image", {"1", "2", "3", "4"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.model);
    ModuleFixture fx;
    auto d = ModularUps(k.model);
    for (int m = 0; m < 6; ++m) SetModule(*d->block(BlockKind::kAscii), m, 1);
    const auto white = [&] {
      std::vector<std::string> out;
      for (const std::string& o : fx.c.opsNamed("TextOut"))
        if (ModuleFixture::colour(o) == "ffffff") out.push_back(Quoted(o));
      return out;
    };
    fx.paint(*d, true);
    EXPECT_EQ(fx.c.opsNamed("BitBlt"), std::vector<std::string>{k.picture});
    EXPECT_EQ(white(), k.digits);
    // Without the full flag the digits are drawn again, the picture is not.
    fx.paint(*d, false);
    EXPECT_TRUE(fx.c.opsNamed("BitBlt").empty());
    EXPECT_EQ(white(), k.digits);
  }
}

TEST(ModuleTabTest, FaultyModuleShowsItsRowsAndPicture) {
  ModuleFixture fx;
  auto d = ModularUps(3);
  LiveDataBlock& b = *d->block(BlockKind::kAscii);
  SetModule(b, 0, 1, 0, 0, 1);         // word C bit 0
  SetModule(b, 1, 0x81, 0, 0, 0);      // state bit 7
  SetModule(b, 2, 1, 0x21, 0x808, 0);  // A bits 0 and 5, B bits 3 and 11 (an empty entry)
  b.setSlot(136 + 4, 41);
  b.setSlot(148 + 6, 2205);
  b.setSlot(150 + 6, 7);
  EXPECT_TRUE(fx.paint(*d, true));
  const std::string serious = Hex(fx.f.colours[0]), warning = Hex(fx.f.colours[1]),
                    info = Hex(fx.f.colours[2]);
  EXPECT_EQ(ModuleFixture::colour(fx.op("General Fail")), serious);
  EXPECT_EQ(ModuleFixture::colour(fx.op("PM11, PM13")), serious);
  EXPECT_EQ(ModuleFixture::colour(fx.op("PM11")), info);
  // Module 3's rows, top to bottom.
  std::vector<std::string> col3;
  const int x3 = ModuleFixture::x(fx.op("PM9 3"));
  for (const std::string& o : fx.c.opsNamed("DrawText")) {
    const int left = std::stoi(o.substr(o.find(' ') + 1));
    if (left >= x3 && left < x3 + 175) col3.push_back(Quoted(o) + (ModuleFixture::colour(o) == serious ? " S" : "") +
                                                       (ModuleFixture::colour(o) == warning ? " W" : ""));
  }
  const std::vector<std::string> want = {
      "PM4:", "PM11", "PM14", "PM15:", "41", "\u2103", "Fuse:", "Open S", "DC Bus:", "Under Volt Warning W",
      "CP18", "PM16:", "220.5", "0.7", "V", "Fan:", "Fail W", "", " S", "CP13", "PM4:", "PM5"};
  EXPECT_EQ(col3, want);
  // The picture of modules 1, 2 and 3 over their slots, each once.
  EXPECT_EQ(fx.c.opsNamed("BitBlt"),
            (std::vector<std::string>{"BitBlt 43,54 180x260 image", "BitBlt 47,90 172x24 image and",
                                      "BitBlt 47,116 172x24 image and", "BitBlt 47,142 172x24 image and"}));
  // Without the full flag, no picture; a fault cleared reports once.
  SetModule(b, 0, 1, 0, 0, 0);
  EXPECT_TRUE(fx.paint(*d, false));
  EXPECT_TRUE(fx.c.opsNamed("BitBlt").empty());
  EXPECT_FALSE(fx.paint(*d, false));
  // Over the "Vorm" picture no module picture, even once they were loaded.
  d->block(BlockKind::kAscii)->putU32(kAsciiModel, 4);
  fx.paint(*d, true);
  EXPECT_EQ(fx.c.opsNamed("BitBlt"), std::vector<std::string>{"BitBlt 43,54 180x220 image"});
}

TEST(ModuleTabTest, RowGapFollowsThePageHeight) {
  for (auto [height, gap] : {std::pair{300, 3}, {400, 1}, {1000, 12}}) {
    SCOPED_TRACE(height);
    ModuleFixture fx;
    fx.f.page.bottom = height;
    auto d = ModularUps(3);
    SetModule(*d->block(BlockKind::kAscii), 0, 1);
    fx.paint(*d, true);
    // y0 = 10 + L; the sections' label row one row, 10 pixels and one gap lower.
    EXPECT_EQ(ModuleFixture::y(fx.op("PM10:")), 10 + 13 + (13 + gap) + 10 + gap);
  }
}

TEST(ModuleTabTest, SystemSectionAndCabinetTemperatures) {
  ModuleFixture fx;
  auto d = ModularUps(3);
  LiveDataBlock& b = *d->block(BlockKind::kAscii);
  b.setSlot(166, static_cast<int32_t>(0x80000001));  // bit 0 and a bit the list lacks
  for (int n : {1, 2, 4}) b.setSlot(166 + n, 20 + n);
  fx.paint(*d, true);
  const std::vector<std::string> t = fx.texts("DrawText");
  const std::vector<std::string> want = {"CP1", "Input:", "Volt/Freq. Abnormal", "PM6", "PM71:", "21",
                                         "\u2103", "PM72:", "22", "\u2103", "PM74:", "24", "\u2103"};
  EXPECT_EQ(t, want);
  // The section sits 10 pixels below the picture.
  EXPECT_EQ(fx.c.opsNamed("Polygon").size(), 2u);
  b.setSlot(166, -1);
  fx.paint(*d, true);
  EXPECT_TRUE(fx.texts("DrawText").empty());
}

TEST(ModuleTabTest, FilterStates) {
  ModuleFixture fx;
  auto& states = fx.f.status.lists[static_cast<int>(StatusList::ModuleStates12)];
  states.assign(12, std::nullopt);
  states[0] = "Odd";
  states[4] = "Tripped";
  struct Case {
    int32_t code;
    const char* text;  // null: no state row
    int level;
  } cases[] = {{28, "Tripped", 0}, {3, "Odd", 1}, {20, nullptr, 0}};
  for (const Case& k : cases) {
    SCOPED_TRACE(k.code);
    auto d = ThreePhaseUps();
    LiveDataBlock& b = *d->block(BlockKind::kBinary);
    b.setSlot(117, 1);
    b.setSlot(115, k.code);
    b.setSlot(107, 153);
    b.setSlot(109, -5);
    fx.paint(*d, true);
    const std::vector<std::string> t = fx.texts("DrawText");
    auto at = std::find(t.begin(), t.end(), "APF-1");
    ASSERT_NE(at, t.end());
    std::vector<std::string> rows(at + 1, t.end());
    std::vector<std::string> want;
    if (k.text) want = {"PM4:", k.text};
    want.insert(want.end(), {"CP6:", "15", "A"});
    EXPECT_EQ(rows, want);
    if (k.text) {
      EXPECT_EQ(ModuleFixture::colour(fx.op(k.text)), Hex(fx.f.colours[static_cast<size_t>(k.level)]));
    }
  }
}

TEST(ModuleTabTest, ThreePhaseGroupsByExtendedMask) {
  ModuleFixture fx;
  auto d = ThreePhaseUps();
  LiveDataBlock& b = *d->block(BlockKind::kBinary);
  b.setMask(MaskWord::kExtReported, uint64_t{1} << 33);
  b.setSlot(91, 35);
  b.setSlot(92, 36);
  b.setSlot(95, 28);  // value 94 unknown: its row is left out
  EXPECT_TRUE(fx.paint(*d, true));
  EXPECT_EQ(fx.c.opsNamed("BitBlt"), std::vector<std::string>{"BitBlt 43,54 180x240 image"});
  const std::vector<std::string> t = fx.texts("DrawText");
  EXPECT_EQ(std::count(t.begin(), t.end(), "PM5"), 8);
  EXPECT_EQ(ModuleFixture::colour(fx.op("Abnormal Shutdown")), Hex(fx.f.colours[0]));
  EXPECT_NE(std::find(t.begin(), t.end(), "Ambiance: 28 \u2103"), t.end());
  EXPECT_EQ(std::count_if(t.begin(), t.end(), [](const std::string& s) { return s.rfind("PM17", 0) == 0; }), 0);
  // The S and T columns start level with R's first caption, 185 pixels apart.
  const std::string r = fx.op("CP18-R"), s = fx.op("CP18-S"), tt = fx.op("CP18-T");
  EXPECT_EQ(ModuleFixture::y(r), ModuleFixture::y(s));
  EXPECT_EQ(ModuleFixture::x(s) - ModuleFixture::x(r), 185);
  EXPECT_EQ(ModuleFixture::x(tt) - ModuleFixture::x(s), 185);
  EXPECT_FALSE(fx.paint(*d));
  b.setMask(MaskWord::kExtReported, 0);
  EXPECT_TRUE(fx.paint(*d));
}

TEST(ModuleTabTest, MendedInputs) {
  ModuleFixture fx(false);
  auto d = ModularUps(3);
  LiveDataBlock& b = *d->block(BlockKind::kAscii);
  SetModule(b, 0, 1, INT_MIN, -1, -1);  // only bit 31: no row of list A, yet faulty
  SetModule(b, 1, -5);                  // a negative state is no module
  b.setSlot(106, INT_MIN);              // section bit 31 of 8 names
  fx.paint(*d, true);
  EXPECT_EQ(fx.op("PM9 2"), "");
  const std::vector<std::string> t = fx.texts("DrawText");
  EXPECT_EQ(t, (std::vector<std::string>{"PM4:", "PM11", "PM14"}));
  // No pictures: read once, then again only on a full repaint.
  EXPECT_EQ(fx.state.pictureReads(), 1);
  for (int i = 0; i < 3; ++i) fx.paint(*d, false);
  EXPECT_EQ(fx.state.pictureReads(), 1);
  fx.paint(*d, true);
  EXPECT_EQ(fx.state.pictureReads(), 2);
  // A FIFO named as the picture is not opened (that would block).
  MakeDirs(fx.dir.file("UPS/Selka"));
  ASSERT_EQ(::mkfifo(fx.dir.file("UPS/Selka/selka-80k.bmp").c_str(), 0644), 0);
  EXPECT_TRUE(ReadUpsPicture(fx.dir.path(), {"ups", "selka", "SELKA-80K.BMP"}).isNull());
  fx.paint(*d, true);
  EXPECT_TRUE(fx.c.opsNamed("BitBlt").empty());
}

// Two modules, module 2 faulty, on the shipped pictures;
// LARK_UPDATE_GOLDEN=1 rewrites the picture.
TEST(ModuleTabTest, TwoModulesGolden) {
  ModuleFixture fx;
  fx.f.page = {0, 0, 760, 560};
  fx.f.tabWidth = 765;
  auto d = ModularUps(3);
  LiveDataBlock& b = *d->block(BlockKind::kAscii);
  SetModule(b, 0, 1, 0, 0, 0);
  SetModule(b, 1, 0x81, 0x2, 0, 1);
  for (int m : {0, 1}) {
    b.setSlot(106 + m, 0x19);
    b.setSlot(136 + 2 * m, 38 + m);
    b.setSlot(137 + 2 * m, 41 + m);
    for (int k = 0; k < 3; ++k) b.setSlot(148 + 3 * m + k, 2200 + 5 * k);
  }
  b.setSlot(166, 0);
  for (int n = 1; n <= 6; ++n) b.setSlot(166 + n, 24 + n);
  ImageCanvas img(760, 560);
  fx.f.inputs(img);
  PaintModuleTab(img, fx.f.inputs(img), fx.state, *d, true);
  PaintModuleTab(img, fx.f.inputs(img), fx.state, *d, false);
  // The faulty module's slot is darkened, the good one's is not.
  // (The picture at 43,54; slots at 36 and 62 below its top.)
  EXPECT_EQ(img.Pixel(43 + 60, 54 + 62 + 20), Rgb(96, 0, 0));
  EXPECT_EQ(img.Pixel(43 + 60, 54 + 36 + 20), Rgb(96, 128, 160));
  test::ExpectGoldenPicture(*img.image(), "tests/console/golden/module_two_modules.png");
}

// Every event of the extended three-phase table is named, in the shipped
// English files, by what the tab shows for its bit alone: the section's
// caption, the row's label and text; its level is the row's colour.
TEST(ModuleTabTest, ExtendedEventTitlesAreTheRowsOfTheirBits) {
  LanguageTables language(test::SourcePath("data"));
  ASSERT_EQ(language.load("English"), std::vector<std::string>{});
  const ActionTable& titles = language.actions()->table(ActionFamily::ThreePhasePlus);
  ModuleFixture fx(false);
  fx.f.texts.component = language.current()->texts.component;
  auto d = ThreePhaseUps();
  LiveDataBlock& b = *d->block(BlockKind::kBinary);
  for (size_t bit = 0; bit < titles.size() / 2; ++bit) {
    b.setMask(MaskWord::kExtReported, uint64_t{1} << bit);
    fx.paint(*d, true);
    // Captions follow their box's outline; every other text is a label and
    // its text, and only this bit's row is not the no-alarm text.
    std::string caption, shown, colour;
    int rows = 0;
    const std::vector<std::string> ops = fx.c.ops();
    for (size_t i = 0; i < ops.size(); ++i) {
      if (!ops[i].starts_with("DrawText")) continue;
      if (i > 0 && ops[i - 1].starts_with("Polygon")) {
        caption = Quoted(ops[i]);
        continue;
      }
      const std::string label = Quoted(ops[i]), text = Quoted(ops[++i]);
      if (text == "PM5") continue;
      ++rows;
      shown = caption + (label.empty() ? "" : " " + label) + " " + text;
      colour = ModuleFixture::colour(ops[i]);
    }
    const ActionRow& row = titles[2 * bit];
    EXPECT_EQ(rows, 1) << bit;
    EXPECT_FALSE(row.title().starts_with("Event")) << bit;
    EXPECT_EQ(row.title(), shown) << bit;
    EXPECT_EQ(colour, Hex(fx.f.colours[row.levelIndex()])) << bit;
  }
}

}  // namespace
}  // namespace lark
