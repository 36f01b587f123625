// Shared request helpers and the map commands: list, open, save, new and the
// auto-load name.
#include "linkserver/link_database.h"
#include "linkserver/link_requests.h"

#include <dirent.h>
#include <strings.h>

#include <algorithm>
#include <vector>

#include "linkserver/control_lock.h"
#include "core/device_tree.h"
#include "linkserver/link_transfer.h"
#include "core/map_file.h"
#include "core/settings.h"
#include "core/tree_dump.h"
#include "platform/paths.h"

namespace lark {

namespace {

constexpr size_t kOpenMapNameOff = 5;
constexpr size_t kSaveMapNameOff = 6, kSaveMapNameSize = 256;
constexpr size_t kNewMapNameOff = 5, kNewMapNameSize = 256;
constexpr size_t kAutoLoadNameOff = 5;

bool HasUmfExtension(std::string_view name) {
  return name.size() > kMapExtension.size() &&
         strncasecmp(name.data() + name.size() - kMapExtension.size(), kMapExtension.data(),
                     kMapExtension.size()) == 0;
}

std::vector<std::string> MapFiles(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return names;
  while (dirent* e = readdir(d)) {
    std::string name = e->d_name;
    if (!HasUmfExtension(name) || !IsSafeName(name)) continue;
    if (IsDirectory(JoinPath(dir, name))) continue;
    names.push_back(std::move(name));
  }
  closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

// A map file name from the wire: plain, with ".UMF" added when it has no '.'.
std::optional<std::string> MapFileName(std::string text) {
  if (!text.empty() && text.find('.') == std::string::npos) text += kMapExtension;
  if (!IsSafeName(text, kMapNameMax)) return std::nullopt;
  return text;
}

bool TreeReady(const LinkRequest& r) { return r.services.tree && r.services.maps; }

void AfterMapChange(LinkRequest& r) {
  if (r.services.mapChanged) r.services.mapChanged();
}

void WriteTreeDump(LinkRequest& r) {
  if (r.services.settings == nullptr) return;
  WriteTreeMap(*r.services.tree, r.services.settings->historyDirectory,
               r.services.maps->currentMapName());
}

}  // namespace

std::string FrameText(const LinkFrameView& frame, size_t off, size_t size) {
  if (off >= frame.size() || size == 0) return {};
  CBytes field = frame.bytes().subspan(off, std::min(size, frame.size() - off));
  // The terminator is forced at the field's last byte.
  size_t n = std::min(field.size(), size - 1);
  size_t end = 0;
  while (end < n && field[end] != 0) ++end;
  return std::string(reinterpret_cast<const char*>(field.data()), end);
}

std::string PrintableText(std::string_view text, size_t n) {
  size_t end = 0;
  while (end < text.size() && end < n && static_cast<unsigned char>(text[end]) >= 0x20) ++end;
  return std::string(text.substr(0, end));
}

void BeginSuccessReply(LinkRequest& r, LinkFrameBuilder& reply) {
  reply.beginReply(r.command(), LinkSuccessCode(r.command()));
  if (LinkReplyEchoesSub(r.command())) reply.putU8(r.sub());
}

void PutControlLock(LinkRequest& r, LinkFrameBuilder& reply) {
  uint8_t img[kControlLockSize];
  r.services.lock.writeImage(img, 0);
  reply.putBytes(img);
}

DeviceNode* FindRequestNode(LinkRequest& r, int32_t id) {
  if (r.services.tree == nullptr) return nullptr;
  return Tree_FindNodeById(*r.services.tree, id);
}

bool SaveSettings(LinkRequest& r) {
  if (!r.services.settingsStore || !r.services.settings) return false;
  return r.services.settingsStore->SaveManagerIni(*r.services.settings);
}

// ---- 2: map list ----

void HandleGetMapList(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!TreeReady(r) || !r.services.settings) return BuildLinkFailureReply(r, reply);
  SaveSettings(r);
  MapStore& maps = *r.services.maps;
  if (maps.currentMapName().empty()) {
    maps.setCurrentMapName(std::string(kUntitledMap));
    maps.SaveMapFile(false);
  }
  BeginSuccessReply(r, reply);
  std::string head = r.services.settings->autoLoadMap + ";" + maps.currentMapName() +
                     std::string(kMapExtension) + ";";
  reply.putBytes(asBytes(head));
  for (const std::string& name : MapFiles(r.services.installDir)) {
    // Names that no longer fit are left out rather than cut.
    if (name.size() + 1 > LinkReplyRoom(reply)) break;
    reply.putBytes(asBytes(name));
    reply.putU8(';');
  }
}

// ---- 3: open map ----

void HandleOpenMap(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!TreeReady(r)) return BuildLinkFailureReply(r, reply);
  std::string name = FrameText(r.frame, kOpenMapNameOff, kWireNameMax + 1);
  if (!IsSafeName(name, kMapNameMax) || !FindNoCase(r.services.installDir, name)) {
    return BuildLinkFailureReply(r, reply);
  }
  r.takeLock(kLinkCmdOpenMap);
  Tree_ClearAll(*r.services.tree);
  r.services.maps->OpenMapFile(name);
  AfterMapChange(r);
  BeginSuccessReply(r, reply);
}

// ---- 8: save map ----

void HandleSaveMap(LinkRequest& r, LinkFrameBuilder& reply) {
  // The lock is taken (and freed after the reply) whatever the outcome.
  r.takeLock(kLinkCmdSaveMap);
  if (!TreeReady(r)) return BuildLinkFailureReply(r, reply);
  std::optional<std::string> newName;
  if (r.sub() != 0) {
    newName = MapFileName(FrameText(r.frame, kSaveMapNameOff, kSaveMapNameSize));
    if (!newName) return BuildLinkFailureReply(r, reply);
  }
  MapStore& maps = *r.services.maps;
  if (maps.currentMapName().empty()) maps.setCurrentMapName(std::string(kUntitledMap));
  const bool saved = newName ? maps.SaveMapFile(true, *newName) : maps.SaveMapFile(false);
  if (!saved) return BuildLinkFailureReply(r, reply);
  if (newName) AfterMapChange(r);
  // The database's copy of the tree is refilled later; the reply does not wait.
  if (r.services.database) r.services.database->refillTreeMap();
  WriteTreeDump(r);
  Tree_ComputeNextFreeId(*r.services.tree);
  BeginSuccessReply(r, reply);
}

// ---- 9: new map ----

void HandleNewMap(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!TreeReady(r)) return BuildLinkFailureReply(r, reply);
  auto name = MapFileName(FrameText(r.frame, kNewMapNameOff, kNewMapNameSize));
  if (!name) return BuildLinkFailureReply(r, reply);
  if (FindNoCase(r.services.installDir, *name)) {
    // An existing map is never overwritten, and the lock is not taken.
    reply.beginReply(kLinkCmdNewMap, LinkFailureCode(kLinkCmdOpenMap));
    return;
  }
  r.takeLock(kLinkCmdNewMap);
  if (!r.services.maps->NewMap(*name)) return BuildLinkFailureReply(r, reply);
  AfterMapChange(r);
  BeginSuccessReply(r, reply);
}

// ---- 10: auto-load name ----

void HandleSetAutoLoadMap(LinkRequest& r, LinkFrameBuilder& reply) {
  if (!r.services.settings) return BuildLinkFailureReply(r, reply);
  std::string name;
  if (r.frame.size() > kAutoLoadNameOff) {
    // Stored in manager.ini: a line break must not reach the file.
    name = PrintableText(FrameText(r.frame, kAutoLoadNameOff, kMapNameMax + 1), kMapNameMax);
  }
  r.services.settings->autoLoadMap = name;
  if (!SaveSettings(r)) return BuildLinkFailureReply(r, reply);
  BeginSuccessReply(r, reply);
}

}  // namespace lark
