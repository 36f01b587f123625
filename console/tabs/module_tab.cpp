// Sections: pictures, alarm lists, the view choice, the page's rows, the
// modular view, the three-phase view, PaintModuleTab.
#include "console/tabs/module_tab.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "console/views/drawing_kit.h"
#include "console/views/value_boxes.h"
#include "core/live_data.h"
#include "platform/paths.h"

namespace lark {

// ---- pictures ----

namespace {

// Largest picture decoded, in MiB, as for the map's pictures.
constexpr int kPictureAllocationLimitMb = 128;

struct PicturePath {
  std::array<const char*, 3> parts;
};
constexpr std::array<PicturePath, kModulePictureCount> kPicturePaths{{
    {{"UPS", "Vorm", "vorm.bmp"}},
    {{"UPS", "Selka", "selka-80k.bmp"}},
    {{"UPS", "Selka", "pm-1.bmp"}},
    {{"UPS", "Selka", "pm-2.bmp"}},
    {{"UPS", "Selka", "pm-3.bmp"}},
    {{"UPS", "Selka", "pm-4.bmp"}},
    {{"UPS", "Trobe", "trobe.bmp"}},
}};

}  // namespace

QImage ReadUpsPicture(const std::string& dir, const std::array<const char*, 3>& parts) {
  std::string path = dir;
  for (const char* part : parts) {
    const std::optional<std::string> found = FindNoCase(path, part);
    if (!found) return {};
    path = *found;
  }
  // Opened as a regular file only: a FIFO or a device would block the window thread.
  const int fd = OpenRegularFile(path, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return {};
  QFile file;
  if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
    ::close(fd);
    return {};
  }
  QImageReader::setAllocationLimit(kPictureAllocationLimitMb);
  QImageReader reader(&file);
  return reader.read();
}

const QImage& ModuleTabState::Picture(int id, bool retry) {
  const size_t i = static_cast<size_t>(id);
  if (!tried_[i] || (retry && pictures_[i].isNull())) {
    tried_[i] = true;
    ++reads_;
    pictures_[i] = ReadUpsPicture(installDir_, kPicturePaths[i].parts);
  }
  return pictures_[i];
}

void ModuleTabState::FreePictures() {
  pictures_ = {};
  tried_ = {};
}

namespace {

// ---- alarm lists ----

// Levels as AlarmLevelColours index them.
constexpr uint8_t kSerious = 0, kWarning = 1, kInformation = 2;

// One row of an alarm list: the event bit that shows it and its level. The
// row's label and text are entry `row` of the list's two status tables.
struct AlarmRow {
  int bit;
  uint8_t level;
};
struct AlarmList {
  StatusList labels;
  StatusList texts;
  std::vector<AlarmRow> rows;
};

// Rows 0..n-1 on bits first..first+n-1, all at level 0 but for `other`.
std::vector<AlarmRow> Run(int first, int n, std::initializer_list<std::pair<int, uint8_t>> other = {}) {
  std::vector<AlarmRow> rows;
  for (int r = 0; r < n; ++r) rows.push_back({first + r, kSerious});
  for (auto [row, level] : other) rows[static_cast<size_t>(row)].level = level;
  return rows;
}

// The fixed levels and event bits of every list of the tab.
struct AlarmLists {
  AlarmList moduleA{StatusList::ModuleLabels16, StatusList::ModuleFaults16,
                    Run(0, 16, {{1, kWarning}, {3, kWarning}, {5, kWarning}, {12, kWarning}, {15, kWarning}})};
  AlarmList moduleB{StatusList::ModuleLabels24, StatusList::ModuleFaults24,
                    Run(0, 24, {{1, kWarning}, {3, kWarning}, {23, kWarning}})};
  AlarmList system{StatusList::ModuleLabels8, StatusList::ModuleFaults8, Run(0, 8, {{0, kWarning}})};
  // The phase rows: bit r for R, 8 + r for S, 16 + r for T.
  AlarmList phase{StatusList::ModuleLabels6, StatusList::Limits6, Run(0, 6, {{0, kWarning}})};
  AlarmList group1{StatusList::ModuleLabels7, StatusList::CommFaults7,
                   {{6, kSerious}, {7, kSerious}, {15, kSerious}, {22, kSerious}, {23, kSerious},
                    {33, kSerious}, {14, kSerious}}};
  AlarmList group2{StatusList::ModuleLabels4c, StatusList::Events4,
                   {{24, kSerious}, {31, kSerious}, {32, kSerious}, {34, kSerious}}};
  AlarmList group3{StatusList::ModuleLabels6b, StatusList::BatteryTest6, Run(25, 6, {{4, kInformation}})};
  AlarmList group4{StatusList::ModuleLabels9, StatusList::Range9, Run(39, 9, {{7, kWarning}})};
  AlarmList group5{StatusList::ModuleLabels4b, StatusList::Overload4, Run(48, 4, {{0, kWarning}})};
  AlarmList group6{StatusList::ModuleLabels4, StatusList::Range4, Run(35, 4)};
};
const AlarmLists& Lists() {
  static const AlarmLists lists;
  return lists;
}

// The filter's state entry of ModuleStates12 and its level.
std::pair<int, uint8_t> ApfState(int32_t code) {
  if (code == 1 || code == 2) return {1, kInformation};
  if (code >= 4 && code <= 18) return {2, kInformation};
  if (code == 20) return {3, kInformation};
  constexpr int32_t kSeriousCodes[] = {28, 30, 32, 34, 36, 38, 42, 46};
  for (int i = 0; i < 8; ++i)
    if (code == kSeriousCodes[i]) return {4 + i, kSerious};
  return {0, kWarning};
}

// ---- the view choice ----

// Model codes behind each serial block's command queue.
constexpr size_t kAsciiModelOffset = 1068;
constexpr size_t kModbusModelOffset = 1436;
constexpr uint8_t kUpsTypeHvdc = 6;

enum class View { kNone, kModular, kThreePhase };

struct Choice {
  View view = View::kNone;
  const LiveDataBlock* block = nullptr;
  uint32_t model = 0;
};

Choice ChooseView(const DeviceNode& d) {
  if (d.nodeKind() == kNodeSnmp || d.nodeKind() == kNodeGprs) return {};
  const bool hvdc = d.upsTypeCode() == kUpsTypeHvdc;
  const auto modular = [](uint32_t m) { return m >= 3 && m <= 5; };
  switch (d.commType()) {
    case kCommAscii: {
      const LiveDataBlock* b = d.block(BlockKind::kAscii);
      if (b == nullptr) return {};
      const uint32_t m = b->u32(kAsciiModelOffset);
      return modular(m) || hvdc ? Choice{View::kModular, b, m} : Choice{};
    }
    case kCommModbusUps: {
      // Code 2 would ask for the three-phase view, whose block only a
      // three-phase device has: nothing.
      const LiveDataBlock* b = d.block(BlockKind::kModbus);
      if (b == nullptr) return {};
      const uint32_t m = b->u32(kModbusModelOffset);
      return modular(m) ? Choice{View::kModular, b, m} : Choice{};
    }
    case kCommThreePhase: {
      const LiveDataBlock* b = d.block(BlockKind::kBinary);
      if (b == nullptr) return {};
      const uint32_t m = b->u32(kBinaryModelByteOffset);
      return m == 2 ? Choice{View::kThreePhase, b, m} : Choice{};
    }
    default: return {};
  }
}

// ---- the page's rows ----

constexpr ColorRef kCaptionBlue = Rgb(13, 91, 179);
constexpr ColorRef kCaptionOrange = Rgb(255, 128, 64);
constexpr ColorRef kCaptionGreen = Rgb(33, 158, 112);
constexpr ColorRef kCaptionPurple = Rgb(128, 0, 255);
constexpr ColorRef kDigitWhite = Rgb(255, 255, 255);
constexpr int kColumnWidth = 175;  // px, the narrowest column
constexpr int kColumnGap = 10;     // px between two columns

// A device word as bits: a negative word other than -1 (absent) sets bit 31.
uint64_t Bits(int32_t word) { return static_cast<uint32_t>(word); }
bool Known(int32_t word) { return word != -1; }

// The painter of one call: the geometry from the page, the fonts and the texts.
class Page {
 public:
  Page(Canvas& c, const PanelInputs& in, ModuleTabState& st, bool full)
      : c_(c), in_(in), st_(st), full_(full), fonts_{in.labelFont, in.valueFont, in.lineHeight} {
    L = in.lineHeight;
    T = in.titleLineHeight;
    const int q = (in.page.height() - 10) / 27;
    gap = q < L ? 3 : std::clamp(q - L, 0, 12);
    row = L + gap;
    c.SetBkMode(BkMode::kTransparent);
    c.SelectFont(in.labelFont);
    valueWidth = c.TextWidth("220.0") + 5;
    const int margin = std::clamp(
        (in.tabAreaWidth - (L + 6) - 20 - (2 * c.TextWidth(pm(2)) + 100)) / 2, 0, 20);
    x0 = T + 6 + margin;
    y0 = in.page.top + 10 + L;
    moduleLabelWidth = c.TextWidth(pm(8) + ": ");
  }

  // The modular view's columns hold a module's three voltages and their unit.
  void FitThreeValues() {
    c_.SelectFont(in_.labelFont);
    columnWidth = std::max(kColumnWidth, moduleLabelWidth + 3 * valueWidth + c_.TextWidth(" V") + 10);
    columnStep = columnWidth + kColumnGap;
  }

  const QFont& labelFont() const { return in_.labelFont; }
  const QFont& valueFont() const { return in_.valueFont; }
  const QFont& titleFont() const { return in_.titleFont; }
  std::string pm(int n) const { return std::string(in_.texts.powerModule[static_cast<size_t>(n - 1)]); }
  std::string cp(int n) const { return std::string(in_.texts.componentText(n)); }
  ColorRef level(uint8_t l) const { return in_.levelColours[l]; }
  const ConsoleStatusTexts& status() const { return in_.status; }
  bool full() const { return full_; }
  Canvas& canvas() { return c_; }
  ModuleTabState& state() { return st_; }
  const QImage& picture(int id) { return st_.Picture(id, full_); }

  void ClearRows(int x, int top, int bottom) {
    if (bottom > top) DrawSysSolidRect(c_, x, top, x + columnWidth + 5, bottom, kColorWindow);
  }

  // The heading over the row, underlined.
  void Heading(int x, int y, const std::string& text) {
    ClearRows(x, y, y + row);
    c_.SelectFont(in_.labelFont);
    c_.SetTextColor(kPanelTextColour);
    c_.TextOut(x, y, text);
    DrawLine(c_, x, y + row - 1, x + columnWidth - 20, y + row - 1, kPanelTextColour, 1);
  }

  // A plain text row (no box), cleared first.
  void PlainRow(int x, int y, const std::string& text, const QFont& font) {
    ClearRows(x, y, y + row);
    c_.SelectFont(font);
    c_.SetTextColor(kPanelTextColour);
    c_.TextOut(x, y, text);
  }

  void Caption(int x, int& y, const std::string& text, ColorRef colour) {
    c_.SelectFont(in_.labelFont);
    DrawCaptionBox(c_, text, x, y, x + columnWidth, y + row + gap, colour, L);
    y += row;
  }

  void Value(int x, int& y, int labelWidth, const std::string& label, int32_t v1, int32_t v2, int32_t v3,
             bool tenths, const char* unit) {
    c_.SetTextColor(kPanelTextColour);
    if (DrawValueBox(c_, fonts_, label, v1, v2, v3, x, y, x + columnWidth, y + row, labelWidth, valueWidth,
                     tenths, unit, 0))
      y += row;
  }

  void Text(int x, int& y, int labelWidth, const std::string& label, const std::string* text, ColorRef colour) {
    c_.SetTextColor(kPanelTextColour);
    if (DrawValueText(c_, fonts_, label, text ? text->c_str() : nullptr, colour, x, y, x + columnWidth,
                      y + row, labelWidth, kDtLeft))
      y += row;
  }

  void NoAlarm(int x, int& y, int labelWidth, const std::string& label) {
    const std::string text = pm(5);
    Text(x, y, labelWidth, label, &text, level(kInformation));
  }

  // One row per set bit the list has, in the list's order.
  void AlarmRows(int x, int& y, int labelWidth, uint64_t bits, const AlarmList& list) {
    for (size_t r = 0; r < list.rows.size(); ++r) {
      const AlarmRow& a = list.rows[r];
      if ((bits >> a.bit & 1) == 0) continue;
      const std::string& text = status().text(list.texts, r);
      Text(x, y, labelWidth, status().text(list.labels, r), &text, level(a.level));
    }
  }

  // The no-alarm row for a word of 0, else its rows.
  void WordRows(int x, int& y, int labelWidth, const std::string& noAlarmLabel, int32_t word,
                const AlarmList& list) {
    if (word == 0)
      NoAlarm(x, y, labelWidth, noAlarmLabel);
    else
      AlarmRows(x, y, labelWidth, Bits(word), list);
  }

  // The no-alarm row when none of the list's bits is set, else its rows.
  void AlarmGroup(int x, int& y, int labelWidth, uint64_t bits, const AlarmList& list) {
    uint64_t mine = 0;
    for (const AlarmRow& a : list.rows) mine |= uint64_t{1} << a.bit;
    if ((bits & mine) == 0)
      NoAlarm(x, y, labelWidth, pm(4) + ":");
    else
      AlarmRows(x, y, labelWidth, bits, list);
  }

  // The row after a section, cleared (it may hold a row of a longer list
  // painted before) and left empty.
  void EndSection(int x, int& y) {
    ClearRows(x, y + 3, y + row);
    y += row;
  }
  void EndColumn(int x, int y) { ClearRows(x, y + 3, in_.page.bottom); }

  int L = 0, T = 0, gap = 0, row = 0, valueWidth = 0, x0 = 0, y0 = 0, moduleLabelWidth = 0;
  int columnWidth = kColumnWidth, columnStep = kColumnWidth + kColumnGap;  // px

 private:
  Canvas& c_;
  const PanelInputs& in_;
  ModuleTabState& st_;
  bool full_;
  ValueBoxFonts fonts_;
};

std::string Numbered(const std::string& format, int n) { return format + std::to_string(n); }
std::string Degrees(int32_t v) { return std::to_string(v) + " " + kDegreeCelsius; }

// ---- the modular view ----

constexpr int kDigitOffsets[4] = {47, 75, 101, 126};
constexpr int kModulePictureOffsets[4] = {40, 66, 92, 117};

bool Present(int32_t state) { return state >= 0 && (state & 1) != 0; }


// The first column: heading, picture, module digits, the system alarms and
// the cabinet temperatures. Returns the x of the first module column.
int PaintModularFirstColumn(Page& p, const LiveDataBlock& b, uint32_t model, bool hvdc) {
  Canvas& c = p.canvas();
  const int x0 = p.x0, y0 = p.y0;
  int pictureWidth = 0, pictureHeight = 0;
  if (!hvdc) {
    p.Heading(x0, y0, p.pm(3));
    const QImage& pic = p.picture(model == 4 ? kPictureVorm : kPictureSelka);
    pictureWidth = pic.width();
    pictureHeight = pic.height();
    if (p.full() && !pic.isNull()) c.BitBltImage(x0, y0 + p.row + p.T, pic, RasterOp::kSrcCopy);
    if (model != 4 && !pic.isNull()) {
      QFont digits = p.titleFont();
      digits.setBold(true);
      c.SelectFont(digits);
      c.SetTextColor(kDigitWhite);
      for (int m = 0; m < 4; ++m)
        if (Present(b.slot(112 + m)))
          c.TextOut(x0 + 40, y0 + 2 * p.L + p.gap + kDigitOffsets[m], std::to_string(m + 1));
    }
  }
  int y = y0 + p.row + 10 + pictureHeight;
  constexpr int kLabelWidth = 50;
  const int32_t system = b.slot(166);
  if (Known(system)) {
    p.Caption(x0, y, p.cp(1), kCaptionBlue);
    p.WordRows(x0, y, kLabelWidth, p.pm(4) + ": ", system, Lists().system);
    p.EndSection(x0, y);
    if (b.slot(167) >= 0) {
      p.Caption(x0, y, p.pm(6), kCaptionBlue);
      for (int n = 1; n <= 6; ++n)
        p.Value(x0, y, kLabelWidth, Numbered(p.pm(7), n) + ":", b.slot(166 + n), -1, -1, false, kDegreeCelsius);
    }
  }
  p.EndColumn(x0, y);
  return x0 + (pictureWidth > 0 ? pictureWidth : 0) + 10;
}

bool PaintModular(Page& p, const DeviceNode& d, const LiveDataBlock& b, uint32_t model) {
  Canvas& c = p.canvas();
  ModuleViewCaches& caches = p.state().caches;
  const bool hvdc = d.upsTypeCode() == kUpsTypeHvdc;
  // Module pictures only over the "Selka" picture.
  const bool selka = !hvdc && (model == 3 || model == 5);
  bool changed = false;
  int x = PaintModularFirstColumn(p, b, model, hvdc);
  const int lw = p.moduleLabelWidth;
  const std::string stateLabel = p.pm(4) + ":";
  for (int m = 0; m < 6; ++m) {
    const size_t mi = static_cast<size_t>(m);
    const int32_t state = b.slot(112 + m);
    const bool present = Present(state);
    if (present != caches.present[mi]) {
      caches.present[mi] = present;
      changed = true;
    }
    if (!present) continue;
    int y = p.y0;
    p.Heading(x, y, p.pm(9) + " " + std::to_string(m + 1));
    y += p.row + 10 + p.gap;
    p.PlainRow(x, y, p.pm(10) + ":", p.labelFont());
    y += p.row;
    std::string names;
    const uint64_t sections = Bits(b.slot(106 + m));
    for (size_t bit = 0; bit < p.status().size(StatusList::ModuleParts); ++bit)
      if (sections >> bit & 1) names += p.status().text(StatusList::ModuleParts, bit) + " ";
    p.PlainRow(x + 20, y, names, p.valueFont());
    y += p.row;
    bool faulty = (state & 0x80) != 0;
    const std::string stateText = faulty ? p.pm(11) + ", " + p.pm(13) : p.pm(11);
    p.Text(x, y, lw, stateLabel, &stateText, p.level(faulty ? kSerious : kInformation));
    p.ClearRows(x, y + 3, y + p.row);  // section A starts in this row
    const int32_t wordA = b.slot(118 + m), wordB = b.slot(124 + m), wordC = b.slot(130 + m);
    if (Known(wordA)) {
      p.Caption(x, y, p.pm(14), kCaptionOrange);
      p.Value(x, y, lw, p.pm(15) + ":", b.slot(136 + 2 * m), -1, -1, false, kDegreeCelsius);
      p.WordRows(x, y, lw, stateLabel, wordA, Lists().moduleA);
      p.EndSection(x, y);
      faulty = faulty || wordA != 0;
    }
    if (Known(wordB)) {
      p.Caption(x, y, p.cp(18), kCaptionGreen);
      p.Value(x, y, lw, p.pm(15) + ":", b.slot(137 + 2 * m), -1, -1, false, kDegreeCelsius);
      p.Value(x, y, lw, p.pm(16) + ":", b.slot(148 + 3 * m), b.slot(149 + 3 * m), b.slot(150 + 3 * m), true,
              "V");
      p.WordRows(x, y, lw, stateLabel, wordB, Lists().moduleB);
      p.EndSection(x, y);
      faulty = faulty || wordB != 0;
    }
    if (Known(wordC)) {
      p.Caption(x, y, p.cp(13), kCaptionPurple);
      if (wordC == 0) {
        p.NoAlarm(x, y, lw, stateLabel);
      } else if (wordC & 1) {
        // The general fail text of word A's list, translated with it.
        const std::string& text = p.status().text(StatusList::ModuleFaults16, 7);
        p.Text(x, y, lw, stateLabel, &text, p.level(kSerious));
      }
      p.EndSection(x, y);
      faulty = faulty || wordC != 0;
      if (faulty != caches.faulty[mi]) {
        caches.faulty[mi] = faulty;
        changed = true;
      }
      if (selka && faulty && m < 4 && p.full()) {
        const QImage& pic = p.picture(kPictureModule1 + m);
        if (!pic.isNull())
          c.BitBltImage(p.x0 + 4, p.y0 + 2 * p.L + p.gap + kModulePictureOffsets[m], pic, RasterOp::kSrcAnd);
      }
    }
    p.EndColumn(x, y);
    x += p.columnStep;
  }
  return changed;
}

// ---- the three-phase view ----

// The temperature of a phase and its six rows of PhaseAlarmList.
void PhaseSection(Page& p, int x, int& y, const std::string& caption, int32_t temperature, uint64_t mask,
                  int firstBit) {
  const int lw = p.moduleLabelWidth;
  p.Caption(x, y, caption, kCaptionBlue);
  p.Value(x, y, lw, p.pm(15) + ":", temperature, -1, -1, false, kDegreeCelsius);
  p.AlarmGroup(x, y, lw, (mask >> firstBit) & 0x3f, Lists().phase);
  p.EndSection(x, y);
}

void GroupSection(Page& p, int x, int& y, const std::string& caption, ColorRef colour, uint64_t mask,
                  const AlarmList& list) {
  p.Caption(x, y, caption, colour);
  p.AlarmGroup(x, y, p.moduleLabelWidth, mask, list);
  p.EndSection(x, y);
}

bool PaintThreePhase(Page& p, const LiveDataBlock& b) {
  Canvas& c = p.canvas();
  const int lw = p.moduleLabelWidth;
  const uint64_t mask = b.mask(MaskWord::kExtReported);
  const int x0 = p.x0, y0 = p.y0;
  p.Heading(x0, y0, p.pm(3));
  const QImage& pic = p.picture(kPictureTrobe);
  if (p.full() && !pic.isNull()) c.BitBltImage(x0, y0 + p.row + p.T, pic, RasterOp::kSrcCopy);
  p.EndColumn(x0, y0 + p.row + p.T + pic.height());
  int x = x0 + pic.width() + 10;
  const int first = y0 + p.row + 10 + p.gap;  // every column's first section

  // Phase R, the inverter and the UPS.
  p.Heading(x, y0, p.pm(10));
  int y = first;
  PhaseSection(p, x, y, p.cp(18) + "-R", b.slot(91), mask, 0);
  GroupSection(p, x, y, p.cp(18), kCaptionBlue, mask, Lists().group1);
  p.Caption(x, y, "UPS", kCaptionGreen);
  const std::string tempLabel = p.status().text(StatusList::ModuleLabels6, 0);
  const std::pair<std::string, int32_t> temps[] = {
      {p.pm(17) + ": ", b.slot(94)},
      {p.status().text(StatusList::ModuleLabels4c, 1) + " ", b.slot(95)},
  };
  // The temperature rows carry their name in the value: their short label
  // leaves it the room the column has.
  c.SelectFont(p.labelFont());
  const int tempLabelWidth = c.TextWidth(tempLabel + " ");
  for (const auto& [name, value] : temps) {
    if (value < 0) continue;  // each row by its own value
    const std::string text = name + Degrees(value);
    p.Text(x, y, tempLabelWidth, tempLabel, &text, kPanelTextColour);
  }
  p.AlarmGroup(x, y, lw, mask, Lists().group2);
  p.EndSection(x, y);
  p.EndColumn(x, y);

  // Phase S, the battery and the rectifier.
  x += p.columnStep;
  y = first;
  PhaseSection(p, x, y, p.cp(18) + "-S", b.slot(92), mask, 8);
  GroupSection(p, x, y, p.cp(7), kCaptionOrange, mask, Lists().group3);
  GroupSection(p, x, y, p.cp(24), kCaptionOrange, mask, Lists().group4);
  p.EndColumn(x, y);

  // Phase T, the modules and the bypass.
  x += p.columnStep;
  y = first;
  PhaseSection(p, x, y, p.cp(18) + "-T", b.slot(93), mask, 16);
  GroupSection(p, x, y, p.cp(42), kCaptionPurple, mask, Lists().group5);
  GroupSection(p, x, y, p.cp(1), kCaptionPurple, mask, Lists().group6);
  bool changed = false;
  ModuleViewCaches& caches = p.state().caches;
  if (mask != caches.shownMask) {
    caches.shownMask = mask;
    changed = true;
  }
  p.EndColumn(x, y);

  // The active power filters.
  x += p.columnStep;
  y = first;
  for (int f = 0; f < 2; ++f) {
    const int32_t number = b.slot(117 + f);
    if (number < 0) continue;
    p.Caption(x, y, "APF-" + std::to_string(number), kCaptionBlue);
    const auto [entry, level] = ApfState(b.slot(115 + f));
    // An entry without a translation shows no row.
    const auto& states = p.status().lists[static_cast<int>(StatusList::ModuleStates12)];
    const std::string* text = nullptr;
    if (static_cast<size_t>(entry) < states.size() && states[static_cast<size_t>(entry)])
      text = &*states[static_cast<size_t>(entry)];
    p.Text(x, y, lw, p.pm(4) + ":", text, p.level(level));
    const auto tenth = [](int32_t v) { return v < 0 ? -1 : v / 10; };
    p.Value(x, y, lw, p.cp(6) + ":", tenth(b.slot(107 + f)), -1, -1, false, "A");
    p.Value(x, y, lw, p.pm(15) + ":", tenth(b.slot(109 + f)), -1, -1, false, kDegreeCelsius);
    p.Value(x, y, lw, "VSRC:", b.slot(111 + f), -1, -1, false, "%");
    p.Value(x, y, lw, "ISRC:", b.slot(113 + f), -1, -1, false, "%");
    p.EndSection(x, y);
  }
  p.EndColumn(x, y);
  return changed;
}

}  // namespace

// ---- PaintModuleTab ----

bool PaintModuleTab(Canvas& c, const PanelInputs& in, ModuleTabState& state, const DeviceNode& device,
                    bool full) {
  const Choice choice = ChooseView(device);
  if (full) DrawSysSolidRect(c, in.page.left, in.page.top, in.page.right, in.page.bottom, kColorWindow);
  if (choice.view == View::kNone) return false;
  Page p(c, in, state, full);
  if (choice.view == View::kModular) {
    p.FitThreeValues();
    return PaintModular(p, device, *choice.block, choice.model);
  }
  return PaintThreePhase(p, *choice.block);
}

}  // namespace lark
