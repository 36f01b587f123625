#include "console/map/map_view.h"

#include <QFontMetrics>
#include <QImageReader>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "common/bytes.h"
#include "console/map/wmf_conversion.h"
#include "console/shell/console_context.h"
#include "console/views/drawing_kit.h"
#include "console/views/image_canvas.h"
#include "console/views/map_icons.h"
#include "platform/paths.h"

namespace lark {

namespace {

// Largest picture decoded, in MiB: a hostile file must not take the memory.
constexpr int kPictureAllocationLimitMb = 128;
constexpr ColorRef kLabelBackground = Rgb(0x33, 0x99, 0xcc);

bool IsRegularFile(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  if (s.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), s.end() - suffix.size(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

int NodeIconId(const DeviceNode& node, bool off) {
  const bool group = node.isGroup();
  if (off) return group ? kIconGroup : kIconDeviceOff;
  switch (node.alarmLevel()) {
    case kAlarmSerious:
      return group ? kIconGroupSerious : kIconDeviceSerious;
    case kAlarmWarning:
      return group ? kIconGroupWarning : kIconDeviceWarning;
    default:
      return group ? kIconGroup : kIconDevice;
  }
}

std::string NodePath(const DeviceNode& node) {
  std::string text;
  for (const DeviceNode* n = &node; n; n = n->parent()) {
    const std::string title = n->title();
    if (text.size() + title.size() >= static_cast<size_t>(MapView::kMaxPathLength)) break;
    text = "\\" + title + text;
  }
  return text + "\\";
}

std::string FitHeaderText(const Canvas& c, const std::string& path, int right) {
  std::string text = path;
  for (size_t k = 1; c.TextWidth(text) + 10 > right && k <= path.size(); ++k) {
    text = "... " + path.substr(k);
  }
  return text;
}

std::array<uint8_t, 20> MoveIconPayload(int16_t id, const NodeRect& r) {
  std::array<uint8_t, 20> out{};
  const Bytes b(out.data(), out.size());
  putI16(b, 0, id);
  putI32(b, 4, r.left);
  putI32(b, 8, r.top);
  putI32(b, 12, r.right);
  putI32(b, 16, r.bottom);
  return out;
}

std::optional<std::string> FindPictureFile(std::string_view text, const std::string& installDir) {
  std::string path(text);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (path.empty()) return std::nullopt;
  if (IsRegularFile(path)) return path;
  const size_t slash = path.find_last_of('/');
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::optional<std::string> images = FindNoCase(installDir, "Images");
  std::optional<std::string> found = images ? FindNoCase(*images, last) : std::nullopt;
  if (!found || !IsRegularFile(*found)) return std::nullopt;
  return found;
}

std::optional<std::string> FindMapPicture(std::string_view text, const std::string& installDir) {
  std::string path(text);
  std::replace(path.begin(), path.end(), '\\', '/');
  // The text comes with the map, maybe from another computer: it never
  // names a file outside Images, and a climb out of a folder names nothing.
  if (path == ".." || path.find("../") != std::string::npos || path.ends_with("/.."))
    return std::nullopt;
  const size_t slash = path.find_last_of('/');
  const std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
  if (last.empty() || last == "." || last == "..") return std::nullopt;
  const std::optional<std::string> images = FindNoCase(installDir, "Images");
  std::optional<std::string> found = images ? FindNoCase(*images, last) : std::nullopt;
  if (!found || !IsRegularFile(*found)) return std::nullopt;
  return found;
}

bool IsWmfPicture(const std::string& path) { return EndsWithNoCase(path, ".wmf"); }

QImage LoadPictureFile(std::string_view text, const std::string& installDir) {
  const std::optional<std::string> found = FindMapPicture(text, installDir);
  if (!found || IsWmfPicture(*found)) return {};
  const std::string& path = *found;
  QImageReader::setAllocationLimit(kPictureAllocationLimitMb);
  QImageReader reader(QString::fromStdString(path));
  return reader.read();
}

MapView::MapView(ConsoleContext& ctx) : ctx_(ctx), group_(&ctx.tree.root()) {
  wait = [](int ms) { ::usleep(static_cast<useconds_t>(ms) * 1000); };
}

MapView::~MapView() = default;

void MapView::resize(int w, int h) {
  width_ = std::max(w, 1);
  height_ = std::max(h, 1);
  QImage next(width_, height_, QImage::Format_RGB32);
  next.fill(Qt::white);
  image_ = next;
  imageCanvas_ = std::make_unique<ImageCanvas>(&image_);
}

Canvas& MapView::dc() {
  if (testCanvas_) return *testCanvas_;
  if (!imageCanvas_) resize(std::max(width_, 1), std::max(height_, 1));
  return *imageCanvas_;
}

int MapView::lineHeight() const {
  if (ctx_.fonts.valueLineHeight > 0) return ctx_.fonts.valueLineHeight;
  const QFontMetrics fm(ctx_.fonts.value);
  return fm.height() + fm.leading();
}

void MapView::setCurrentGroup(DeviceNode& g) {
  group_ = &g;
  drawn_.clear();
  ctx_.tree.setCurrentParent(g);
}

DeviceNode* MapView::selectedNode() const { return group_->child(selected_); }

void MapView::loadGroupPicture(const DeviceNode& group) {
  wmf_.reset();  // a conversion for the group shown before is of no use
  picture_ = group.picture().empty() ? QImage() : LoadPictureFile(group.picture(), ctx_.installDir());
  if (group.picture().empty()) return;
  const std::optional<std::string> wmf = FindMapPicture(group.picture(), ctx_.installDir());
  if (!wmf || !IsWmfPicture(*wmf)) return;
  // Drawn without the picture now, with it once wmf2gd has made it.
  wmf_ = std::make_unique<WmfConversion>(*wmf, [this](QImage img) {
    if (img.isNull()) return;
    picture_ = std::move(img);
    Paint();
    Changed();
  });
}

void MapView::Reset() {
  setCurrentGroup(ctx_.tree.root());
  selected_ = -1;
  loadGroupPicture(*group_);
}

// ---- drawing ----

void MapView::DrawMapHeader(Canvas& c) {
  const int h = lineHeight();
  c.SelectFont(ctx_.fonts.value);
  c.SetBkMode(BkMode::kTransparent);
  c.SetTextColor(SysColorValue(kColorWindowText));
  DrawSysFilledRect(c, 0, 0, width_, h + 5, kColorBtnFace);
  // The start of the path gives way: the group's own name stays in view.
  c.TextOut(4, 4, FitHeaderText(c, NodePath(*group_), width_));
  DrawSysLine(c, 0, 0, width_, 0, kColorBtnHighlight, 1);
  DrawSysLine(c, 0, 0, 0, h + 5, kColorBtnHighlight, 1);
}

void MapView::DrawMapBackground(Canvas& c) {
  const int h = lineHeight();
  if (fitPending && !picture_.isNull() && fitWindow) {
    fitPending = false;
    fitWindow(picture_.width(), picture_.height() + h + 21);
  }
  DrawSysSolidRect(c, 0, h + 1, width_, height_, kColorWindow);
  if (!picture_.isNull()) c.BitBltImage(0, h + 1, picture_);
  DrawMapHeader(c);
  fitPending = false;
}

void MapView::DrawNodeIcon(Canvas& c, int index, bool off) {
  const DeviceNode* node = group_->child(index);
  if (!node) return;
  const int h = lineHeight();
  const NodeRect r = node->iconRect();
  // File rectangles are 32-bit: positions are worked out wide and kept in
  // the canvas's range.
  const auto at = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -1000000, 1000000)); };
  c.DrawIcon(at(r.left), at(int64_t{h} + r.top + 3), NodeIconId(*node, off));
  c.SelectFont(ctx_.fonts.value);
  c.SetTextColor(Rgb(0xff, 0xff, 0xff));
  c.SetBkColor(kLabelBackground);
  c.SetBkMode(BkMode::kOpaque);
  const CanvasRect label{at(int64_t{r.left} - 50), at(int64_t{h} + r.bottom + 4), at(int64_t{r.right} + 50),
                         at(int64_t{h} + r.bottom + 4 + h)};
  std::string title = node->title();
  c.DrawText(title, label, kDtCenter | kDtSingleLine);
  c.SetBkMode(BkMode::kTransparent);
  if (drawn_.size() <= static_cast<size_t>(index)) drawn_.resize(static_cast<size_t>(index) + 1);
  drawn_[static_cast<size_t>(index)] = DrawnIcon{node, NodeIconId(*node, off), r, std::move(title)};
}

void MapView::DrawNodeIcons(Canvas& c, bool skipSelected) {
  for (int i = 0; i < group_->childCount(); ++i) {
    if (skipSelected && i == selected_) continue;
    DrawNodeIcon(c, i, false);
  }
}

void MapView::ToggleSelectionFrame(Canvas& c) {
  const DeviceNode* node = selectedNode();
  if (!node) return;
  const int64_t h = lineHeight();
  const NodeRect r = node->iconRect();
  const auto at = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, -1000000, 1000000)); };
  c.DrawFocusRect({at(r.left), at(r.top + h + 3), at(r.right), at(r.bottom + h + 3)});
}

void MapView::Paint(Canvas& c) {
  if (!(ctx_.monitor.settings().viewFlags & kViewMapClosed)) {
    ToggleSelectionFrame(c);
    DrawMapBackground(c);
    DrawNodeIcons(c, dragging && selected_ >= 0);
    ToggleSelectionFrame(c);
  }
  DrawSysSolidRect(c, 0, height_ - kStripHeight, width_, height_, kColorBtnFace);
  DrawBitmap(c, MapBitmapImage(gripPressed ? kBitmapGripPressed : kBitmapGrip), 0, height_ - kStripHeight);
  DrawBitmap(c, MapBitmapImage(kBitmapClose), width_ - kStripHeight, height_ - kStripHeight);
}

void MapView::DrawStripButton(int bitmap) {
  const bool grip = bitmap == kBitmapGrip || bitmap == kBitmapGripPressed;
  DrawBitmap(dc(), MapBitmapImage(bitmap), grip ? 0 : width_ - kStripHeight, height_ - kStripHeight);
  Changed();
}

void MapView::BlinkAlarmIcons() {
  if (dragging) return;
  Canvas& c = dc();
  ++blinkPhase_;
  // Only icons whose picture, place or label differ from what is drawn at
  // their index are drawn again: a map where nothing blinks costs no drawing.
  bool any = false;
  for (int i = 0; i < group_->childCount(); ++i) {
    const DeviceNode* node = group_->child(i);
    const bool off = node->alarmLevel() < kAlarmNone && blinkPhase_ % 2 == 1;
    if (static_cast<size_t>(i) < drawn_.size()) {
      const DrawnIcon& d = drawn_[static_cast<size_t>(i)];
      if (d.node == node && d.icon == NodeIconId(*node, off) && d.rect == node->iconRect() &&
          d.title == node->title()) {
        continue;
      }
    }
    DrawNodeIcon(c, i, off);
    any = true;
  }
  if (any) Changed();
}

// ---- editing ----

void MapView::SelectNode(int index, bool showInList) {
  if (index < 0) return;
  Canvas& c = dc();
  ToggleSelectionFrame(c);
  selected_ = index;
  ToggleSelectionFrame(c);
  Changed();
  DeviceNode* node = selectedNode();
  if (showInList && node && (node->nodeKind() == kNodeSerial || node->nodeKind() == kNodeSnmp) &&
      selectDeviceRow) {
    selectDeviceRow(*node);
  }
}

void MapView::SelectLastChild() {
  selected_ = group_->childCount() > 0 ? group_->childCount() - 1 : -1;
}

DeviceNode* MapView::AddNode(uint8_t kind, std::string_view ip) {
  if (group_->childCount() >= kMaxChildren) {
    ctx_.ShowLangMessageBox(nullptr, 45, "", MB_ICONERROR);
    return nullptr;
  }
  const int h = lineHeight();
  const WindowRect& saved = ctx_.monitor.settings().map;
  const int64_t w = int64_t{saved.right} - saved.left;
  const int64_t hh = int64_t{saved.bottom} - saved.top;
  int n = cascade_;
  if (w - h - 3 < int64_t{n + 1} * 16 || hh - h - 3 < int64_t{n + 1} * 16 + h) n = 0;
  ctx_.tree.setCurrentParent(*group_);
  DeviceNode* node = Tree_CreateNode(ctx_.tree, kind, ip);
  if (!node) {
    ctx_.ShowLangMessageBox(nullptr, 46, "", MB_ICONERROR);
    return nullptr;
  }
  const int left = n * 16 + h + 10;
  const int top = n * 16 + 10;
  node->setIconRect({left, top, left + 16, top + 16});
  // A new node has no data yet: no alarm, not Serious.
  node->setAlarmLevel(kAlarmNone);
  ToggleSelectionFrame(dc());
  dc().DrawIcon(left, h + top + 3, node->isGroup() ? kIconGroup : kIconDeviceOff);
  selected_ = -1;
  SelectNode(group_->childCount() - 1, true);
  cascade_ = n + 1;
  return node;
}

void MapView::CutNode(int index) {
  if (index < 0) return;
  ctx_.tree.setCurrentParent(*group_);
  if (!Tree_CutChild(ctx_.tree, index)) return;
  SelectLastChild();
}

bool MapView::PasteNode() {
  if (group_->childCount() >= kMaxChildren) {
    ctx_.ShowLangMessageBox(nullptr, 45, "", MB_ICONERROR);
    return false;
  }
  if (!ctx_.tree.clipboard()) {
    ctx_.ShowLangMessageBox(nullptr, 47, "", MB_ICONINFORMATION);
    return false;
  }
  if (!Tree_PasteClipboard(ctx_.tree, *group_)) {
    ctx_.ShowLangMessageBox(nullptr, 45, "", MB_ICONERROR);
    return false;
  }
  const int index = group_->childCount() - 1;
  const DeviceNode* node = group_->child(index);
  const NodeRect r = node->iconRect();
  ToggleSelectionFrame(dc());
  dc().DrawIcon(r.left, lineHeight() + r.top + 3, node->isGroup() ? kIconGroup : kIconDeviceOff);
  selected_ = -1;
  SelectNode(index, true);
  return true;
}

void MapView::DeleteNode(int index) {
  if (index < 0) return;
  ctx_.tree.setCurrentParent(*group_);
  if (!Tree_DeleteChild(ctx_.tree, index)) return;
  SelectLastChild();
}

bool MapView::HitTestIcon(int x, int y, bool select) {
  const int64_t h = lineHeight();
  for (int i = group_->childCount() - 1; i >= 0; --i) {
    const NodeRect r = group_->child(i)->iconRect();
    if (x >= r.left && x < r.right && y >= r.top + h + 3 && y < r.bottom + h + 3) {
      if (select) SelectNode(i, true);
      return true;
    }
  }
  return false;
}

void MapView::BeginIconDrag() {
  dragging = true;
  Canvas& c = dc();
  DrawMapBackground(c);
  DrawNodeIcons(c, true);
  Changed();
}

void MapView::EndIconDrag(int x, int y) {
  dragging = false;
  DeviceNode* node = selectedNode();
  if (!node) return;
  const int h = lineHeight();
  const NodeRect r{x, y - h - 3, x + 16, y + 16 - h - 3};
  node->setIconRect(r);
  Paint();
  Changed();
  if (sendMoveIcon) sendMoveIcon(MoveIconPayload(node->id(), r));
}

void MapView::AnimateZoom(bool entering) {
  Canvas& c = dc();
  const int h = lineHeight();
  const CanvasRect client{0, 0, width_, height_};
  std::array<CanvasRect, 3> rects;
  if (entering) {
    const DeviceNode* node = selectedNode();
    if (!node) return;
    const NodeRect i = node->iconRect();
    const int dl = (i.left - (h + 6)) / 10, dr = (client.right - client.left - i.right) / 10;
    const int dt = (i.top - (h + 6)) / 10, db = (client.bottom - client.top - i.bottom) / 10;
    for (int k = 1; k <= 3; ++k) {
      rects[k - 1] = {client.left + h + i.left + 6 - k * dl, client.top + h + i.top + 6 - k * dt,
                      client.left + h + i.right + 6 + k * dr, client.top + h + i.bottom + 6 + k * db};
      c.DrawFocusRect(rects[k - 1]);
    }
    Changed();
    for (int round = 0; round < 7; ++round) {
      if (wait) wait(20);
      c.DrawFocusRect(rects[0]);
      rects[0] = rects[1];
      rects[1] = rects[2];
      rects[2] = {rects[2].left - dl, rects[2].top - dt, rects[2].right + dr, rects[2].bottom + db};
      c.DrawFocusRect(rects[2]);
      Changed();
    }
    return;
  }
  const NodeRect g = group_->groupRect();
  const int dx = (client.right - (client.left + h + 6)) / 20;
  const int dy = (client.bottom - (client.top + h + 6)) / 20;
  for (int k = 0; k <= 2; ++k) {
    rects[k] = {client.left, client.top + h + 1, g.right - (3 - k) * dx, g.bottom - (3 - k) * dy};
    c.DrawFocusRect(rects[k]);
  }
  Changed();
  for (int round = 0; round < 17; ++round) {
    if (wait) wait(10);
    c.DrawFocusRect(rects[2]);
    rects[2] = rects[1];
    rects[1] = rects[0];
    rects[0] = {rects[0].left, rects[0].top, rects[0].right - dx, rects[0].bottom - dy};
    c.DrawFocusRect(rects[0]);
    Changed();
  }
}

void MapView::EnterGroup() {
  DeviceNode* node = selectedNode();
  if (!node || !node->isGroup()) return;
  AnimateZoom(true);
  ShowGroup(*node, node->childCount() - 1);
}

void MapView::LeaveGroup() {
  DeviceNode* parent = group_->parent();
  if (!parent) return;
  AnimateZoom(false);
  const DeviceNode* left = group_;
  int index = -1;
  for (int i = 0; i < parent->childCount(); ++i) {
    if (parent->child(i) == left) index = i;
  }
  ShowGroup(*parent, index);
}

void MapView::ShowGroup(DeviceNode& group, int selected) {
  setCurrentGroup(group);
  loadGroupPicture(group);
  selected_ = selected;
  {
    const LeadLists lead(*this);
    if (selectDeviceRow) selectDeviceRow(group);
    if (fillDeviceList) fillDeviceList(group);
  }
  // The first device, when there is one, takes the selection.
  for (int i = 0; i < group.childCount(); ++i) {
    if (!group.child(i)->isGroup()) {
      SelectNode(i, true);
      break;
    }
  }
  if (ctx_.monitor.settings().fitPicture) fitPending = true;
  Paint();
  Changed();
}

}  // namespace lark
