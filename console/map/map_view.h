// The map: the children of the current group as icons over the group's
// picture, the header with the group's path, blinking of icons in alarm, and
// the operations on icons and groups (select, add, cut, paste, delete, hit
// test, icon drag, entering and leaving groups). Everything is drawn through
// a Canvas into the map's persistent image; the window (map_window.h) shows
// that image and feeds the mouse in. Tests put a RecordingCanvas in its place.
#pragma once
#include <QImage>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/views/canvas.h"
#include "core/device_tree.h"

namespace lark {

class WmfConversion;

class ConsoleContext;

// The icon of a node by kind and level; `off` gives the blink-off form.
int NodeIconId(const DeviceNode& node, bool off);
// "\Main\...\title\" from the root down to the node; titles that would make
// it 256 characters or more are left out from the top.
std::string NodePath(const DeviceNode& node);
// The header text for a client `right` edge: leading characters of `path`
// give way to "... " until it fits (or nothing is left to drop).
std::string FitHeaderText(const Canvas& c, const std::string& path, int right);
// The 20 bytes of a move-icon request: id (16 bits), two reserved bytes,
// left, top, right, bottom (32 bits each), low byte first.
std::array<uint8_t, 20> MoveIconPayload(int16_t id, const NodeRect& r);

// The file a group's picture text names: `text` may be a Windows path; when
// it names no regular file, its last part is looked up without case in the
// install's Images folder. nullopt when neither is a regular file.
std::optional<std::string> FindPictureFile(std::string_view text, const std::string& installDir);
// The file a map's picture text names, inside the install's Images folder
// only: its last part looked up there without case (a Windows path from
// another computer keeps its picture); a text with ".." names nothing.
std::optional<std::string> FindMapPicture(std::string_view text, const std::string& installDir);
bool IsWmfPicture(const std::string& path);
// A map picture (found by FindMapPicture): BMP, JPG, JPEG, GIF, ICO through
// QImageReader (within its allocation limit). Null image when nothing could
// be read, and for WMF, which MapView converts off the window thread.
QImage LoadPictureFile(std::string_view text, const std::string& installDir);

class MapView {
 public:
  // Fixed sizes of the window's parts.
  static constexpr int kStripHeight = 16;  // bottom strip: grip, slider, box, close
  static constexpr int kMaxPathLength = 256;

  explicit MapView(ConsoleContext& ctx);
  ~MapView();

  // The drawing surface: the persistent image, or a test's canvas.
  void resize(int w, int h);
  int width() const { return width_; }
  int height() const { return height_; }
  const QImage& image() const { return image_; }
  void setCanvas(Canvas* c) { testCanvas_ = c; }
  Canvas& dc();
  int lineHeight() const;

  DeviceNode& currentGroup() const { return *group_; }
  void setCurrentGroup(DeviceNode& g);
  int selected() const { return selected_; }
  void clearSelection() { selected_ = -1; }
  DeviceNode* selectedNode() const;
  bool hasPicture() const { return !picture_.isNull(); }
  const QImage& picture() const { return picture_; }
  // Loads the group's picture, or frees the one loaded. A WMF picture comes
  // later: the view repaints and reports changed() when it is ready.
  void loadGroupPicture(const DeviceNode& group);
  bool fitPending = false;
  bool dragging = false;  // any mouse drag: no blinking meanwhile
  bool gripPressed = false;  // the grip is held: paint shows it pressed

  // Drawing.
  void DrawMapHeader(Canvas& c);
  void DrawMapBackground(Canvas& c);
  void DrawNodeIcon(Canvas& c, int index, bool off);
  void DrawNodeIcons(Canvas& c, bool skipSelected);
  void ToggleSelectionFrame(Canvas& c);
  // Frame off, background and header, icons, frame on, bottom strip.
  void Paint(Canvas& c);
  void Paint() { Paint(dc()); }
  // Bitmap 131 or 132 on the grip, 133 or 134 on the close button, at once.
  void DrawStripButton(int bitmap);
  // One blink step: icons below level 2 alternate with their off form.
  void BlinkAlarmIcons();
  int blinkPhase() const { return blinkPhase_; }

  // Editing.
  void SelectNode(int index, bool showInList);
  DeviceNode* AddNode(uint8_t kind, std::string_view ip);
  void CutNode(int index);
  bool PasteNode();
  void DeleteNode(int index);
  bool HitTestIcon(int x, int y, bool select);
  void BeginIconDrag();
  // (x, y): the icon's new top-left corner in client coordinates.
  void EndIconDrag(int x, int y);
  void EnterGroup();
  void LeaveGroup();
  void AnimateZoom(bool entering);
  // After a new map: root group, nothing selected, the root's picture.
  void Reset();

  // While the map itself refills or selects rows of the lists, the lists'
  // selection reactions (a refilled list selects its first row) leave the
  // map where it is: the map leads, it does not follow its own refill.
  bool leadsLists() const { return leadsLists_ > 0; }
  class LeadLists {
   public:
    explicit LeadLists(MapView& v) : v_(v) { ++v_.leadsLists_; }
    ~LeadLists() { --v_.leadsLists_; }
    LeadLists(const LeadLists&) = delete;
    LeadLists& operator=(const LeadLists&) = delete;

   private:
    MapView& v_;
  };

  // Waits of the zoom animation (tests: none), the icon move request to the
  // service, and the list selection of a node (the lists fill it).
  std::function<void(int ms)> wait;
  std::function<void(std::array<uint8_t, 20>)> sendMoveIcon;
  std::function<void(DeviceNode&)> selectDeviceRow;
  std::function<void(DeviceNode&)> fillDeviceList;
  // Called after a drawing on the surface outside a paint (the window repaints
  // at once), and with a pending fit to give the window the picture's size
  // (client width and height).
  std::function<void()> changed;
  std::function<void(int w, int h)> fitWindow;

 private:
  void Changed() {
    if (changed) changed();
  }
  void SelectLastChild();
  // The group shown after entering or leaving, `selected` its selection
  // unless a device takes it.
  void ShowGroup(DeviceNode& group, int selected);
  ConsoleContext& ctx_;
  DeviceNode* group_;
  int selected_ = -1;
  int cascade_ = 0;  // place of the next new icon
  int leadsLists_ = 0;  // LeadLists scopes open
  int blinkPhase_ = 0;
  // What DrawNodeIcon last drew at each child index of group_.
  struct DrawnIcon {
    const DeviceNode* node = nullptr;  // compared only, never read
    int icon = -1;
    NodeRect rect;
    std::string title;
  };
  std::vector<DrawnIcon> drawn_;
  int width_ = 0, height_ = 0;
  QImage image_;
  std::unique_ptr<Canvas> imageCanvas_;
  Canvas* testCanvas_ = nullptr;
  QImage picture_;
  std::unique_ptr<WmfConversion> wmf_;  // the group's WMF picture being made
};

}  // namespace lark
