#include "core/legacy_maps.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <unordered_set>
#include <vector>

#include "common/bytes.h"
#include "core/event_log_sink.h"
#include "platform/paths.h"

namespace lark {

namespace {

// Reads an old list file: one entry a line, each cut to 63 bytes (the whole
// line is one entry; the old reader split a longer line into two rows).
std::optional<std::string> ReadOldList(const std::string& installDir, const char* name,
                                       bool domainLine, std::array<std::string, kListRows>& rows,
                                       int32_t& count, int32_t* domain) {
  std::optional<std::string> path = FindNoCase(installDir, name);
  if (!path || IsDirectory(*path)) return std::nullopt;
  std::optional<std::string> text = ReadFile(*path);
  if (!text) return std::nullopt;
  std::vector<std::string_view> lines = SplitTextLines(*text);
  size_t next = 0;
  if (domainLine) {
    *domain = (next < lines.size() && LeadingInt(lines[next]) != 0) ? 1 : 0;
    ++next;
  }
  for (auto& r : rows) r.clear();
  count = 0;
  for (; next < lines.size() && count < kListRows; ++next) {
    rows[count++] = std::string(CutUtf8(lines[next], kListEntryMax));
  }
  return path;
}

}  // namespace

std::optional<std::string> ImportOldEmailList(const std::string& installDir, EmailList& list) {
  return ReadOldList(installDir, "MEmail.dat", false, list.addresses, list.count, nullptr);
}

std::optional<std::string> ImportOldSmsList(const std::string& installDir, SmsPhoneList& list) {
  return ReadOldList(installDir, "MSMS.DAT", false, list.phones, list.count, nullptr);
}

std::optional<std::string> ImportOldBroadcastList(const std::string& installDir,
                                                  BroadcastList& list) {
  return ReadOldList(installDir, "MBroad.dat", true, list.hosts, list.count, &list.wholeDomain);
}

}  // namespace lark

// ---- old maps ----

namespace lark {

namespace {

class OldMapLines {
 public:
  explicit OldMapLines(std::string_view text) : lines_(SplitTextLines(text)) {}
  bool atEnd() const { return pos_ >= lines_.size(); }
  // A short file reads as empty lines: the fields stay zero.
  std::string_view next() { return atEnd() ? std::string_view() : lines_[pos_++]; }
  void skip(int n) {
    for (int i = 0; i < n; ++i) next();
  }
  int32_t number() { return LeadingInt(next()); }
  std::string text(size_t max) { return std::string(CutUtf8(next(), max)); }
  NodeRect rect() {
    std::string_view l = next();
    int32_t v[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
      v[i] = LeadingInt(l);
      size_t comma = l.find(',');
      if (comma == std::string_view::npos) break;
      l.remove_prefix(comma + 1);
    }
    return NodeRect{v[0], v[1], v[2], v[3]};
  }

 private:
  std::vector<std::string_view> lines_;
  size_t pos_ = 0;
};

struct OldMapContext {
  int version;
  OldMapLines& in;
  DeviceTree& tree;
  const MapStoreHooks& hooks;
  EventLogSink& log;
  std::unordered_set<int32_t> ids;
  int read = 0;
  bool stop = false;
};

void Warn(EventLogSink& log, const std::string& text) {
  log.WriteEventLog(0, kLevelWarning, kSystemEventCode, text);
}

void ForgetIds(OldMapContext& c, const DeviceNode& node) {
  for (const auto& child : node.children()) {
    c.ids.erase(child->id());
    ForgetIds(c, *child);
  }
}

// A record read but not kept: its descendants already took their port slots
// and SNMP table entries, which must not point at freed nodes.
void DropOldRecord(OldMapContext& c, DeviceNode& node) {
  ForgetIds(c, node);
  for (const auto& child : node.children()) Tree_FreeSubtree(c.tree, *child);
}

// Reads one record (and a group's children) into `node`.
void ReadOldRecord(OldMapContext& c, DeviceNode& node, int depth, bool isRoot) {
  OldMapLines& in = c.in;
  const int v = c.version;
  int32_t id = in.number();
  node.setId(isRoot ? 0 : static_cast<int16_t>(id));
  node.setTitle(in.text(v == 1 ? 32 : 31));
  if (v >= 2) in.skip(2);
  node.setIp(in.text(29));
  node.setPort(static_cast<uint16_t>(in.number()));
  node.setCommunity(in.text(29));
  int32_t oldKind = in.number();
  node.setIconRect(in.rect());
  node.setGroupRect(in.rect());
  std::string picture;
  if (v == 4) {
    picture = in.text(399);
  } else {
    std::string_view l = in.next();
    if (!l.empty() && l.front() >= '0' && l.front() <= '9') {
      in.next();
      l = in.next();
    }
    picture = std::string(CutUtf8(l, 259));
  }
  int32_t count = in.number();
  int16_t baud = 0;
  if (count == -1) {
    in.skip(12);
    node.setCom(in.text(9));
    node.setUpsId(static_cast<int16_t>(in.number()));
    in.skip(2);
    in.number();  // the child count of a device: 0
    baud = static_cast<int16_t>(in.number());
    in.skip(8);
    if (v >= 3) {
      node.setPlcPointNum(static_cast<int16_t>(in.number()));
      node.setPlcXBypass(static_cast<int16_t>(in.number()));
      node.setPlcBypassUpsId(static_cast<int16_t>(in.number()));
      int groups = v == 3 ? 6 : 10;
      for (int i = 0; i < groups; ++i) {
        node.setPlcUpsId(i, static_cast<int16_t>(in.number()));
        node.setPlcXtpcTrip(i, static_cast<int16_t>(in.number()));
        node.setPlcXucbTrip(i, static_cast<int16_t>(in.number()));
        node.setPlcYtpcAlarm(i, static_cast<int16_t>(in.number()));
        node.setPlcYupsAlarm(i, static_cast<int16_t>(in.number()));
      }
    }
  }

  if (isRoot || oldKind == 1) {
    node.setNodeKind(kNodeGroup);
    node.setPicture(picture);
    ++c.read;
    if (count > 0 && depth + 1 > kMaxMapDepth) {
      // The tree walks recurse: the rest of a map nested this deep is dropped.
      Warn(c.log, "Old map: groups nested too deep; the rest of the map is not read");
      c.stop = true;
    }
    for (int32_t i = 0; i < count && !in.atEnd() && !c.stop; ++i) {
      if (c.hooks.stopRequested && c.hooks.stopRequested()) {
        c.stop = true;
        break;
      }
      auto child = std::make_unique<DeviceNode>();
      ReadOldRecord(c, *child, depth + 1, false);
      const int32_t cid = child->id();
      std::string what = "Old map node " + std::to_string(cid);
      if (cid < 1 || c.ids.count(cid)) {
        Warn(c.log, what + ": the id is out of range or used twice; skipped");
        DropOldRecord(c, *child);
        continue;
      }
      DeviceNode* added = node.addChild(child);  // refused past 300 children
      if (!added) {
        DropOldRecord(c, *child);
        continue;
      }
      c.ids.insert(cid);
      // Blocks and registration once the node is in the tree, as the new-format
      // loader does.
      InitNodeBlocks(c.tree, *added, c.hooks);
      if (static_cast<uint32_t>(added->idU16()) >= c.tree.nextNodeId()) {
        c.tree.setNextNodeId(static_cast<uint32_t>(added->idU16()) + 1);
      }
    }
    if (isRoot) InitNodeBlocks(c.tree, node, c.hooks);
    return;
  }

  ++c.read;
  node.setSaveInDatabase(true);
  node.setBaud(static_cast<uint16_t>(baud));
  switch (oldKind) {
    case 0:
    case 2:
      node.setNodeKind(kNodeSnmp);
      break;
    case 3:
      node.setNodeKind(kNodeSerial);
      node.setCommType(kCommThreePhase);
      node.setBaud(2400);
      break;
    case 4:
      node.setNodeKind(kNodeSerial);
      node.setCommType(kCommModbusTrv5200);
      node.setBaud(9600);
      break;
    case 5: {
      node.setNodeKind(kNodeSerial);
      node.setCommType(kCommPlc);
      node.setBaud(9600);
      node.setSaveInDatabase(false);
      // The picture line holds the PLC source names, TAB-separated.
      std::string_view rest = picture;
      for (int i = 0; i < 10; ++i) {
        size_t tab = rest.find('\t');
        std::string_view source = rest.substr(0, tab);
        if (!source.empty()) node.setPlcSource(i, source);
        if (tab == std::string_view::npos) break;
        rest.remove_prefix(tab + 1);
      }
      break;
    }
    default:
      node.setNodeKind(kNodeSerial);
      node.setCommType(kCommAscii);
      break;
  }
}

// Copies `path` to a backup name that does not exist yet (".bak", then
// ".bak.1" ...); an existing backup is never replaced.
std::optional<std::string> KeepBackup(const std::string& path, std::string_view content) {
  for (int i = 0; i < 10; ++i) {
    std::string bak = path + ".bak" + (i == 0 ? std::string() : "." + std::to_string(i));
    int fd = open(bak.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return std::nullopt;
    }
    size_t done = 0;
    bool ok = true;
    while (done < content.size()) {
      ssize_t n = write(fd, content.data() + done, content.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ok = false;
        break;
      }
      done += static_cast<size_t>(n);
    }
    ok = ok && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    if (ok) return bak;
    unlink(bak.c_str());
    return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

int OldMapVersion(std::string_view text) {
  std::vector<std::string_view> first = SplitTextLines(text.substr(0, 64));
  if (first.empty()) return 0;
  std::string_view l = first[0];
  if (l.size() < 8 || l.substr(0, 7) != "Version") return 0;
  char d = l[7];
  return (d >= '1' && d <= '4') ? d - '0' : 0;
}

int ReadOldMapText(int version, std::string_view text, DeviceTree& tree, const MapStoreHooks& hooks,
                   EventLogSink& log) {
  if (version < 1 || version > 4) return 0;
  OldMapLines in(text);
  in.next();  // the version line
  OldMapContext c{version, in, tree, hooks, log, {}, 0, false};
  ReadOldRecord(c, tree.root(), 0, true);
  // Nodes were put together below one another before they reached the tree.
  tree.rebuildIndex();
  return c.read;
}

bool MigrateOldMap(MapStore& store, DeviceTree& tree, std::string& name) {
  std::optional<std::string> path = FindNoCase(store.installDir(), name);
  if (!path || IsDirectory(*path)) return false;
  std::optional<std::string> text = ReadFile(*path);
  if (!text) return false;
  int version = OldMapVersion(*text);
  if (version == 0) return false;

  {
    DeviceTree::StructuralEdit edit(tree);
    Tree_FreeAll(tree);
    store.setCurrentMapName(MapNameOf(name));
    MakeDirs(JoinPath(store.installDir(), store.currentMapName()));
    tree.setNextNodeId(1);
    ReadOldMapText(version, *text, tree, store.hooks(), store.log());
    tree.setCurrentParent(tree.root());
    tree.setCurrentChildIndex(tree.root().childCount() == 0 ? -1 : 0);
  }

  std::string target = store.currentMapPath();
  std::optional<std::string> bak = KeepBackup(*path, *text);
  if (!bak && target == *path) {
    Warn(store.log(), "The old map " + name + " could not be backed up; it was not converted");
    return true;
  }
  if (!store.SaveMapFile(false)) return true;
  if (target != *path && bak) unlink(path->c_str());
  store.log().WriteEventLog(0, kLevelInformation, kSystemEventCode,
                            "The old map " + name + " was converted");
  name = AfterLastBackslash(target);
  return true;
}

}  // namespace lark
