// The map: recorded paints, pixel probes at icon centres, a golden picture of
// a group with a picture, WMF pictures, the header, blinking, editing and
// the window's mouse handling.
#include "console/map/map_view.h"

#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>

#include "common/bytes.h"
#include "console/shell/console_context.h"
#include "console/shell/larkview.h"
#include "console/shell/main_window.h"
#include "console/map/map_loader.h"
#include "console/map/map_module.h"
#include "console/shell/menu_commands.h"
#include "console/map/map_window.h"
#include "console/views/image_canvas.h"
#include "console/views/map_icons.h"
#include "console/views/recording_canvas.h"
#include "platform/paths.h"
#include "tests/console/support/console_peers.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tree_fixtures.h"

namespace lark {
namespace {

struct Map {
  test::TempDir dir;
  FakeClock clock{0, WallTime{2026, 5, 4, 1, 10, 0, 0, 0}};
  std::unique_ptr<ConsoleContext> ctx;
  std::unique_ptr<MapView> view;
  std::vector<std::string> asked;
  std::vector<std::array<uint8_t, 20>> sent;
  DeviceNode* room = nullptr;
  DeviceNode* ups = nullptr;
  int h = 0;

  Map() {
    MakeDirs(dir.file("English"));
    WriteFileAtomic(dir.file("English/language.ini"),
                    ReadFile(test::SourcePath("data/English/language.ini")).value());
    ctx = std::make_unique<ConsoleContext>(dir.path(), clock, WorkArea{0, 0, 1280, 800});
    ctx->fonts = MakeConsoleFonts();
    ctx->monitor.settings().map = {600, 100, 1000, 400};
    ctx->messageBox = [this](QWidget*, const std::string&, const std::string& text, unsigned) {
      asked.push_back(text);
      return static_cast<int>(IDOK);
    };
    view = std::make_unique<MapView>(*ctx);
    view->wait = nullptr;
    view->sendMoveIcon = [this](std::array<uint8_t, 20> p) { sent.push_back(p); };
    view->resize(300, 200);
    h = view->lineHeight();
  }
  // Root: "Server room" (a group holding "UPS 1") and "Mains" (a device).
  void demo() {
    room = &test::AddGroup(ctx->tree, ctx->tree.root(), "Server room");
    room->setIconRect({40, 30, 56, 46});
    ups = &test::AddSerial(ctx->tree, *room, kCommAscii);
    ups->setTitle("UPS 1");
    ups->setIconRect({60, 50, 76, 66});
    DeviceNode& mains = test::AddSerial(ctx->tree, ctx->tree.root(), kCommMeter, "COM2");
    mains.setTitle("Mains");
    mains.setIconRect({150, 30, 166, 46});
    for (DeviceNode* n : {room, ups, &mains}) n->setAlarmLevel(kAlarmNone);
    view->Reset();
  }
  std::string text(int n) {
    return ctx->languageProfile().getString("MessageBox", "M_" + std::to_string(n), "", 256);
  }
};

size_t IndexOf(const std::vector<std::string>& ops, const std::string& prefix, size_t from = 0) {
  for (size_t i = from; i < ops.size(); ++i) {
    if (ops[i].rfind(prefix, 0) == 0) return i;
  }
  return std::string::npos;
}

TEST(MapDrawingTest, RecordedPaintAndProbes) {
  Map m;
  m.demo();
  m.room->setAlarmLevel(kAlarmSerious);
  m.ctx->tree.root().child(1)->setAlarmLevel(kAlarmNone);
  RecordingCanvas rc;
  m.view->setCanvas(&rc);
  m.view->SelectNode(0, false);
  rc.clear();
  m.view->Paint();
  const auto& ops = rc.ops();
  const int h = m.h;
  const std::string frame = "FocusRect 40," + std::to_string(30 + h + 3) + ",56," + std::to_string(46 + h + 3);
  ASSERT_EQ(IndexOf(ops, frame), 0u) << "the frame comes off first";
  const size_t background = IndexOf(ops, "Rectangle 0," + std::to_string(h + 1) + ",301,201");
  const size_t header = IndexOf(ops, "TextOut 4,4 \"\\Main\\\"");
  const size_t room = IndexOf(ops, "DrawIcon 40," + std::to_string(h + 33) + " 120");
  const size_t roomLabel = IndexOf(ops, "DrawText -10," + std::to_string(h + 50) + ",106," + std::to_string(2 * h + 50) + " \"Server room\"");
  const size_t mains = IndexOf(ops, "DrawIcon 150," + std::to_string(h + 33) + " 275");
  const size_t mainsLabel = IndexOf(ops, "DrawText 100,", mains);
  const size_t frameOn = IndexOf(ops, frame, 1);
  for (size_t i : {background, header, room, roomLabel, mains, mainsLabel, frameOn}) ASSERT_NE(i, std::string::npos);
  EXPECT_LT(background, header);
  EXPECT_LT(header, room);
  EXPECT_LT(room, roomLabel);
  EXPECT_LT(roomLabel, mains);
  EXPECT_LT(mains, mainsLabel);
  EXPECT_LT(mainsLabel, frameOn);
  EXPECT_NE(ops[roomLabel].find("colour ffffff opaque cc9933"), std::string::npos) << ops[roomLabel];

  // The same paint in pixels: each icon's centre in its level's colour.
  m.view->setCanvas(nullptr);
  m.view->Paint();
  ImageCanvas probe(const_cast<QImage*>(&m.view->image()));
  EXPECT_EQ(probe.Pixel(40 + 16, h + 33 + 16), MapIconColour(kIconGroupSerious));
  EXPECT_EQ(probe.Pixel(150 + 16, h + 33 + 16), MapIconColour(kIconDevice));
}

TEST(MapDrawingTest, HeaderGivesWayFromTheStart) {
  Map m;
  m.demo();
  RecordingCanvas rc;
  const std::string path = NodePath(*m.room);
  EXPECT_EQ(path, "\\Main\\Server room\\");
  const std::string narrow = FitHeaderText(rc, path, 90);
  EXPECT_EQ(narrow.rfind("... ", 0), 0u) << narrow;
  EXPECT_TRUE(narrow.ends_with("Server room\\")) << narrow;
  EXPECT_LE(rc.TextWidth(narrow) + 10, 90);
  // Narrower than "... " itself: the loop ends with nothing left to drop.
  EXPECT_EQ(FitHeaderText(rc, path, 5), "... ");
  // Paths longer than 256 characters lose their top titles.
  DeviceNode* g = &m.ctx->tree.root();
  for (int i = 0; i < 12; ++i) g = &test::AddGroup(m.ctx->tree, *g, std::string(30, 'a' + i));
  EXPECT_LT(NodePath(*g).size(), 258u);
  EXPECT_TRUE(NodePath(*g).ends_with(std::string(30, 'l') + "\\"));
}

// A placeable metafile of one filled rectangle, written record by record.
std::string TinyWmf() {
  std::vector<uint16_t> w = {0xCDD7, 0x9AC6, 0, 0, 0, 40, 30, 72, 0, 0};
  uint16_t sum = 0;
  for (uint16_t x : w) sum ^= x;
  w.push_back(sum);
  const std::vector<std::vector<uint16_t>> records = {
      {0x020B, 0, 0},                  // SetWindowOrg
      {0x020C, 30, 40},                // SetWindowExt
      {0x02FC, 0, 0x00FF, 0x0000, 0},  // CreateBrushIndirect: solid red
      {0x012D, 0},                     // SelectObject
      {0x041B, 30, 40, 0, 0},          // Rectangle
  };
  uint32_t size = 9 + 3;
  for (const auto& r : records) size += 3 + static_cast<uint32_t>(r.size()) - 1;
  const std::vector<uint16_t> header = {1, 9, 0x0300, static_cast<uint16_t>(size), static_cast<uint16_t>(size >> 16), 1, 7, 0, 0};
  w.insert(w.end(), header.begin(), header.end());
  for (const auto& r : records) {
    const uint32_t words = 3 + static_cast<uint32_t>(r.size()) - 1;
    w.push_back(static_cast<uint16_t>(words));
    w.push_back(static_cast<uint16_t>(words >> 16));
    w.insert(w.end(), r.begin(), r.end());
  }
  w.insert(w.end(), {3, 0, 0});
  std::string out(w.size() * 2, '\0');
  for (size_t i = 0; i < w.size(); ++i) {
    out[2 * i] = static_cast<char>(w[i] & 0xff);
    out[2 * i + 1] = static_cast<char>(w[i] >> 8);
  }
  return out;
}

TEST(MapPictureTest, FilesPathsAndLimits) {
  Map m;
  MakeDirs(m.dir.file("Images"));
  QImage bmp(20, 10, QImage::Format_RGB32);
  bmp.fill(QColor(0, 0, 255));
  ASSERT_TRUE(bmp.save(QString::fromStdString(m.dir.file("Images/Hall.bmp")), "BMP"));
  WriteFileAtomic(m.dir.file("Images/Plan.wmf"), TinyWmf());
  ASSERT_TRUE(bmp.save(QString::fromStdString(m.dir.file("Elsewhere.bmp")), "BMP"));
  ::mkfifo(m.dir.file("Images/pipe.bmp").c_str(), 0600);
  // A header claiming a picture far beyond the allocation limit.
  std::string huge = ReadFile(m.dir.file("Images/Hall.bmp")).value();
  putI32(Bytes(reinterpret_cast<uint8_t*>(huge.data()), huge.size()), 18, 60000);
  putI32(Bytes(reinterpret_cast<uint8_t*>(huge.data()), huge.size()), 22, 60000);
  WriteFileAtomic(m.dir.file("Images/huge.bmp"), huge);

  struct Case {
    std::string text;
    int width;  // 0: nothing loaded
  } cases[] = {
      {m.dir.file("Images/Hall.bmp"), 20},
      {"C:\\Corvalune\\Images\\HALL.BMP", 20},
      {"Hall.bmp", 20},
      {"C:\\Corvalune\\Images\\plan.WMF", 0},  // made off the window thread: see below
      {m.dir.file("Images/pipe.bmp"), 0},
      // Only Images is looked in: a picture elsewhere, a climb out of a folder.
      {m.dir.file("Elsewhere.bmp"), 0},
      {"Images/../Hall.bmp", 0},
      {"..", 0},
      {m.dir.file("Images/huge.bmp"), 0},
      {"C:\\nowhere\\none.bmp", 0},
      {"", 0},
  };
  for (const Case& c : cases) {
    const QImage img = LoadPictureFile(c.text, m.dir.path());
    EXPECT_EQ(img.isNull() ? 0 : img.width(), c.width) << c.text;
  }
  // A WMF picture: the map is drawn without it at once, with it when wmf2gd is done.
  DeviceNode& plan = test::AddGroup(m.ctx->tree, m.ctx->tree.root(), "Plan");
  plan.setPicture("plan.wmf");
  bool changed = false;
  m.view->changed = [&changed] { changed = true; };
  m.view->loadGroupPicture(plan);
  EXPECT_FALSE(m.view->hasPicture());
  ASSERT_TRUE(test::Spin([&] { return m.view->hasPicture(); }, 30000));
  const QImage& wmf = m.view->picture();
  EXPECT_EQ(wmf.width(), 40);
  EXPECT_EQ(wmf.pixelColor(wmf.width() / 2, wmf.height() / 2), QColor(255, 0, 0));
  EXPECT_TRUE(changed);
}

// The backgrounds data/ ships load from its Images folder, as large as the
// demo's group window.
TEST(MapPictureTest, ShippedBackgroundsLoad) {
  for (const char* name : {"server-room.png", "site.png"}) {
    const QImage img = LoadPictureFile(name, test::SourcePath("data"));
    EXPECT_EQ(img.size(), QSize(602, 422)) << name;
  }
}

// A group with a picture, two icons and a label, compared with the golden
// picture. LARK_UPDATE_GOLDEN=1 rewrites it.
TEST(MapPictureTest, GoldenGroupWithPicture) {
  Map m;
  MakeDirs(m.dir.file("Images"));
  QImage pic(120, 60, QImage::Format_RGB32);
  pic.fill(QColor(200, 220, 180));
  for (int x = 0; x < 120; x += 10) {
    for (int y = 0; y < 60; ++y) pic.setPixelColor(x, y, QColor(90, 90, 90));
  }
  ASSERT_TRUE(pic.save(QString::fromStdString(m.dir.file("Images/room.bmp")), "BMP"));
  m.demo();
  m.room->setPicture("C:\\Corvalune\\Images\\Room.bmp");
  m.ups->setAlarmLevel(kAlarmWarning);
  m.view->SelectNode(0, false);
  m.view->EnterGroup();
  m.view->Paint();
  const std::string golden = test::SourcePath("tests/console/golden/map_group.png");
  if (std::getenv("LARK_UPDATE_GOLDEN")) {
    ASSERT_TRUE(m.view->image().save(QString::fromStdString(golden)));
  }
  QImage want(QString::fromStdString(golden));
  ASSERT_FALSE(want.isNull()) << golden;
  EXPECT_TRUE(want.convertToFormat(QImage::Format_RGB32) == m.view->image().convertToFormat(QImage::Format_RGB32));
}

TEST(MapBlinkTest, AlarmIconsAlternate) {
  Map m;
  m.demo();
  DeviceNode& warn = test::AddSerial(m.ctx->tree, m.ctx->tree.root(), kCommAscii, "COM3");
  m.room->setAlarmLevel(kAlarmSerious);
  warn.setAlarmLevel(kAlarmWarning);
  RecordingCanvas rc;
  m.view->setCanvas(&rc);
  const auto icons = [&] {
    std::vector<int> ids;
    for (const std::string& op : rc.opsNamed("DrawIcon")) ids.push_back(std::stoi(op.substr(op.rfind(' ') + 1)));
    rc.clear();
    return ids;
  };
  m.view->BlinkAlarmIcons();
  EXPECT_EQ(icons(), (std::vector<int>{115, 275, 104}));
  // Only the icons that change are drawn again.
  m.view->BlinkAlarmIcons();
  EXPECT_EQ(icons(), (std::vector<int>{120, 269}));
  m.room->setAlarmLevel(kAlarmNone);
  warn.setAlarmLevel(kAlarmNone);
  m.view->BlinkAlarmIcons();
  const std::vector<int> settled = icons();
  EXPECT_EQ(settled.size(), 2u);
  m.view->BlinkAlarmIcons();
  EXPECT_TRUE(icons().empty()) << "nothing blinks, nothing drawn";
  m.view->dragging = true;
  m.view->BlinkAlarmIcons();
  EXPECT_TRUE(icons().empty()) << "no blink during a drag";
}

TEST(MapEditingTest, EditingTable) {
  Map m;
  m.demo();
  RecordingCanvas rc;
  m.view->setCanvas(&rc);
  const int h = m.h;

  // The only child: no selection after it goes.
  m.view->setCurrentGroup(*m.room);
  m.view->DeleteNode(0);
  EXPECT_EQ(m.view->selected(), -1);
  m.view->setCurrentGroup(m.ctx->tree.root());

  // Cascade: each new icon 16 further, back to 0 when the next would leave
  // the saved map rectangle (400 x 300).
  DeviceNode* a = m.view->AddNode(kNodeSerial, "");
  DeviceNode* b = m.view->AddNode(kNodeSnmp, "0.0.0.0");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->iconRect(), (NodeRect{h + 10, 10, h + 26, 26}));
  EXPECT_EQ(b->iconRect(), (NodeRect{h + 26, 26, h + 42, 42}));
  EXPECT_EQ(a->alarmLevel(), kAlarmNone) << "a new node is not Serious";
  EXPECT_EQ(m.view->selected(), 3);
  EXPECT_NE(IndexOf(rc.ops(), "DrawIcon " + std::to_string(h + 26) + "," + std::to_string(h + 29) + " 104"), std::string::npos);
  // Overlap: the icon drawn last wins the hit test.
  b->setIconRect(a->iconRect());
  EXPECT_TRUE(m.view->HitTestIcon(a->iconRect().left + 1, a->iconRect().top + h + 4, true));
  EXPECT_EQ(m.view->selectedNode(), b);
  EXPECT_FALSE(m.view->HitTestIcon(a->iconRect().left + 1, a->iconRect().top + 1, false));
  b->setIconRect({h + 26, 26, h + 42, 42});
  for (int i = 0; i < 20; ++i) m.view->AddNode(kNodeSerial, "");
  EXPECT_LT(m.ctx->tree.root().children().back()->iconRect().top, 300 - h);


  // Delete and cut select the last child; nothing cut gives message 47.
  m.view->DeleteNode(0);
  EXPECT_EQ(m.view->selected(), m.ctx->tree.root().childCount() - 1);
  m.view->CutNode(0);
  EXPECT_EQ(m.view->selected(), m.ctx->tree.root().childCount() - 1);
  EXPECT_TRUE(m.view->PasteNode());
  EXPECT_FALSE(m.view->PasteNode());
  EXPECT_EQ(m.asked.back(), m.text(47));

  // 300 children: add and paste are refused with message 45.
  while (m.ctx->tree.root().childCount() < kMaxChildren) ASSERT_TRUE(m.view->AddNode(kNodeSerial, ""));
  EXPECT_EQ(m.view->AddNode(kNodeSerial, ""), nullptr);
  EXPECT_EQ(m.asked.back(), m.text(45));
  m.view->CutNode(5);
  m.view->AddNode(kNodeGroup, "");
  EXPECT_FALSE(m.view->PasteNode());
  EXPECT_EQ(m.asked.back(), m.text(45));

}

TEST(MapNavigationTest, EnterAndLeave) {
  Map m;
  m.demo();
  RecordingCanvas rc;
  m.view->setCanvas(&rc);
  std::vector<int> waits;
  m.view->wait = [&](int ms) { waits.push_back(ms); };
  m.view->SelectNode(0, false);
  m.view->EnterGroup();
  EXPECT_EQ(&m.view->currentGroup(), m.room);
  EXPECT_EQ(m.view->selectedNode(), m.ups);
  EXPECT_NE(IndexOf(rc.ops(), "TextOut 4,4 \"\\Main\\Server room\\\""), std::string::npos);
  EXPECT_EQ(waits, std::vector<int>(7, 20));
  // Each frame of the zoom is a pair of XOR rectangles after the first three.
  EXPECT_EQ(rc.opsNamed("FocusRect").size() >= 3 + 14, true);
  waits.clear();
  m.view->LeaveGroup();
  EXPECT_EQ(&m.view->currentGroup(), &m.ctx->tree.root());
  EXPECT_EQ(waits, std::vector<int>(17, 10));
  // "Mains" is a device: it takes the selection, as the list does.
  EXPECT_EQ(m.view->selectedNode(), m.ctx->tree.root().child(1));
  m.view->LeaveGroup();
  EXPECT_EQ(&m.view->currentGroup(), &m.ctx->tree.root()) << "the root has nothing above";
}

TEST(MapWindowTest, MouseTable) {
  Map m;
  m.demo();
  MapWindow w(*m.ctx, *m.view, nullptr);
  w.setGeometry(600, 100, 300, 200);
  const int h = m.h;
  const QPoint mains(155, h + 36);  // inside "Mains"

  // A click without a move selects and sends nothing.
  w.ButtonDown(mains);
  w.ButtonUp(mains);
  EXPECT_EQ(m.view->selected(), 1);
  EXPECT_TRUE(m.sent.empty());

  // A drag ends at the drag point and sends the new rectangle.
  w.ButtonDown(mains);
  w.MouseMove(mains + QPoint(10, 5), true);
  EXPECT_TRUE(w.iconDrag());
  w.MouseMove(QPoint(105, h + 83), true);
  EXPECT_EQ(w.dragPoint(), QPoint(100, h + 80));
  w.ButtonUp(QPoint(105, h + 83));
  ASSERT_EQ(m.sent.size(), 1u);
  std::array<uint8_t, 20> want{};
  const Bytes b(want.data(), want.size());
  putI16(b, 0, m.ctx->tree.root().child(1)->id());
  putI32(b, 4, 100), putI32(b, 8, 80 - 3), putI32(b, 12, 116), putI32(b, 16, 80 + 13);
  EXPECT_EQ(m.sent[0], want);
  EXPECT_TRUE(m.ctx->mapDirty);

  // Dragged out of the window: the drag point stays inside.
  w.ButtonDown(QPoint(101, h + 81));
  w.MouseMove(QPoint(-400, 1000), true);
  EXPECT_EQ(w.dragPoint(), QPoint(20, 200 - 20));
  w.ButtonUp(QPoint(-400, 1000));

  // A locked icon moves the window instead.
  m.ctx->monitor.settings().viewFlags |= kViewLockObjects;
  w.ButtonDown(QPoint(101, h + 81));
  EXPECT_EQ(w.dragMode(), MapWindow::kMove);
  EXPECT_FALSE(w.iconDrag());
  w.ButtonUp(QPoint(101, h + 81));
  EXPECT_EQ(m.sent.size(), 2u);

  // The grip never makes the window smaller than 100 x 100.
  w.ButtonDown(QPoint(2, 198));
  EXPECT_EQ(w.dragMode(), MapWindow::kResize);
  w.MouseMove(QPoint(2 + 500, 198 - 500), true);
  EXPECT_EQ(w.width(), MapWindow::kMinSize);
  EXPECT_EQ(w.height(), MapWindow::kMinSize);
  w.ButtonUp(QPoint(2, 2));
  EXPECT_EQ(m.ctx->monitor.settings().map.right - m.ctx->monitor.settings().map.left, 100);
}

enum class Mouse { kHover, kDown, kMove, kUp };
void Send(MapWindow& w, Mouse what, QPoint at) {
  if (what == Mouse::kHover) w.MouseMove(at, false);
  if (what == Mouse::kDown) w.ButtonDown(at);
  if (what == Mouse::kMove) w.MouseMove(at, true);
  if (what == Mouse::kUp) w.ButtonUp(at);
}

// The grip and the close button look pressed while held; the close button
// only while the pointer is on it.
TEST(MapWindowTest, PressedStripButtons) {
  Map m;
  m.demo();
  MapWindow w(*m.ctx, *m.view, nullptr);
  w.setGeometry(600, 100, 300, 200);
  m.view->Paint();
  const auto shows = [&](int x, int bitmap) {
    const QImage shown = m.view->image().copy(x, 200 - 16, 16, 16).convertToFormat(QImage::Format_RGB32);
    return shown == MapBitmapImage(bitmap).convertToFormat(QImage::Format_RGB32);
  };
  ASSERT_NE(MapBitmapImage(kBitmapClose), MapBitmapImage(kBitmapClosePressed));
  struct Step {
    Mouse what;
    QPoint at;
    int gripBitmap, closeBitmap;
  };
  const Step steps[] = {
      {Mouse::kDown, {292, 192}, kBitmapGrip, kBitmapClosePressed},
      {Mouse::kMove, {150, 100}, kBitmapGrip, kBitmapClose},
      {Mouse::kMove, {290, 195}, kBitmapGrip, kBitmapClosePressed},
      {Mouse::kMove, {150, 100}, kBitmapGrip, kBitmapClose},
      {Mouse::kUp, {150, 100}, kBitmapGrip, kBitmapClose},
      {Mouse::kDown, {2, 198}, kBitmapGripPressed, kBitmapClose},
      {Mouse::kUp, {2, 198}, kBitmapGrip, kBitmapClose},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const Step& s = steps[i];
    Send(w, s.what, s.at);
    EXPECT_TRUE(shows(0, s.gripBitmap));
    EXPECT_TRUE(shows(300 - 16, s.closeBitmap));
  }
  EXPECT_FALSE(m.ctx->monitor.settings().viewFlags & kViewMapClosed);  // released off the button
  // A paint while the grip is held keeps it pressed.
  w.ButtonDown({2, 198});
  m.view->Paint();
  EXPECT_TRUE(shows(0, kBitmapGripPressed));
  w.ButtonUp({2, 198});
}

// The cursor over and under the mouse: hover over an icon, the grip or the
// close button; held on an icon; the drag cursor of a device or a group.
TEST(MapWindowTest, Cursors) {
  Map m;
  m.demo();
  MapWindow w(*m.ctx, *m.view, nullptr);
  w.setGeometry(600, 100, 300, 200);
  const int h = m.h;
  const QPoint room(45, h + 36), mains(155, h + 36), empty(250, 120);
  struct Step {
    Mouse what;
    QPoint at;
    int cursor;
  };
  const Step steps[] = {
      {Mouse::kHover, empty, kCursorArrow},
      {Mouse::kHover, mains, kCursorHover},
      {Mouse::kHover, {2, 198}, kCursorHover},
      {Mouse::kHover, {292, 192}, kCursorHover},
      {Mouse::kDown, mains, kCursorHeld},
      {Mouse::kMove, mains + QPoint(5, 5), kCursorDragDevice},
      {Mouse::kUp, empty, kCursorArrow},
      {Mouse::kDown, room, kCursorHeld},
      {Mouse::kMove, room + QPoint(5, 5), kCursorDragGroup},
      {Mouse::kUp, room + QPoint(5, 5), kCursorHover},
  };
  for (size_t i = 0; i < std::size(steps); ++i) {
    SCOPED_TRACE(i);
    const Step& s = steps[i];
    Send(w, s.what, s.at);
    EXPECT_EQ(w.cursorId(), s.cursor);
    if (s.cursor == kCursorArrow) {
      EXPECT_EQ(w.cursor().shape(), Qt::ArrowCursor);
    } else {
      EXPECT_EQ(w.cursor().pixmap().toImage().convertToFormat(QImage::Format_ARGB32), MapCursorImage(s.cursor));
    }
  }
  // The four images differ.
  for (int a : {kCursorDragDevice, kCursorDragGroup, kCursorHover}) {
    for (int b : {kCursorDragGroup, kCursorHover, kCursorHeld}) {
      if (a < b) {
        EXPECT_NE(MapCursorImage(a), MapCursorImage(b)) << a << " " << b;
      }
    }
  }
}

TEST(MapWindowTest, FitBitmapSizesTheWindowOnce) {
  Map m;
  MakeDirs(m.dir.file("Images"));
  QImage pic(250, 120, QImage::Format_RGB32);
  pic.fill(Qt::gray);
  ASSERT_TRUE(pic.save(QString::fromStdString(m.dir.file("Images/room.bmp")), "BMP"));
  m.demo();
  m.room->setPicture("room.bmp");
  m.ctx->monitor.settings().fitPicture = 1;
  MapWindow w(*m.ctx, *m.view, nullptr);
  w.setGeometry(600, 100, 300, 200);
  m.view->SelectNode(0, false);
  m.view->EnterGroup();
  EXPECT_EQ(w.geometry(), QRect(1000 - 250, 100, 250, 120 + m.h + 21));
  w.setGeometry(600, 100, 300, 200);
  m.view->Paint();
  EXPECT_EQ(w.width(), 300) << "later paints keep the operator's size";
}

TEST(MapWindowTest, SliderAndTransparency) {
  Map m;
  m.ctx->monitor.settings().transparency = 255;
  MapWindow w(*m.ctx, *m.view, nullptr);
  EXPECT_EQ(w.slider()->minimum(), 50);
  EXPECT_EQ(w.slider()->maximum(), 255);
  w.slider()->setValue(10);
  EXPECT_EQ(m.ctx->monitor.settings().transparency, 50);
  EXPECT_NEAR(w.windowOpacity(), 50 / 255.0, 0.01);
}

}  // namespace
}  // namespace lark

namespace lark {
namespace {

TEST(ConsoleMapTest, InstalledIntoTheConsole) {
  Map m;
  m.ctx->quit = [](int) {};
  std::unique_ptr<ConsoleMap> map = InstallConsoleMap(*m.ctx);
  std::string failed;
  std::unique_ptr<LarkviewWindow> w = StartConsole(*m.ctx, &failed);
  ASSERT_TRUE(w) << failed;
  ASSERT_EQ(w->mapWindow(), map->window());
  EXPECT_EQ(w->mapWindow()->objectName(), "JMapClass");

  MakeDirs(m.dir.file("Monitor"));
  WriteFileAtomic(m.dir.file("Monitor/a.b.UMF"),
                  "[Main]\r\nNumber=2\r\nIndex0.ID=0\r\nIndex1.ID=7\r\n[ID0]\r\nTitle=Main\r\n"
                  "[ID7]\r\nPreviousID=0\r\nupsGroupSNMP=0\r\nTitle=UPS 1\r\nCOM=COM1\r\nUPSID=1\r\n"
                  "iconRect.left=20\r\niconRect.top=20\r\niconRect.right=36\r\niconRect.bottom=36\r\n");
  map->Open(*ConsoleMapPath(m.dir.path(), "a.b.UMF"));
  EXPECT_EQ(w->windowTitle().toStdString(), "Gridwarden Manager-a.b.UMF");
  EXPECT_EQ(map->names().displayName, "a.b");
  DeviceNode* ups = m.ctx->tree.findById(7);
  ASSERT_NE(ups, nullptr);
  EXPECT_NE(map->endpoints().registry.record(1), nullptr);

  // Levels on every second tick of the main timer, blinking on the map's.
  ups->setAlarmLevel(kAlarmSerious);
  w->OnSecondTimer();
  w->OnSecondTimer();
  EXPECT_EQ(ups->alarmLevel(), kAlarmNone);
  CallPoint(m.ctx->points.mapTimer);
  EXPECT_EQ(map->view().blinkPhase(), 1);

  w->SendCommand(IDM_EXIT);
  ShutdownConsole(*m.ctx, *w);
  w.reset();
  map.reset();
  EXPECT_EQ(m.ctx->tree.root().childCount(), 0);
}

}  // namespace
}  // namespace lark
