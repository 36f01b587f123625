#include "core/map_file.h"

#include <stdio.h>
#include <sys/stat.h>

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/event_log_sink.h"
#include "core/legacy_maps.h"
#include "core/settings.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace lark {

namespace {

constexpr size_t kWholeValue = 1 << 16;
// Heap texts of a node (picture, PLC sources) are kept to what one line of
// the old readers held.
constexpr size_t kHeapTextMax = 399;
// Refusals logged one by one per load; the rest are counted in one line.
constexpr int kMapRefusalLines = 20;

// Text values go into the file as they stand; a line break would end the line
// and let the rest be read as another key.
std::string OneLine(std::string_view v) {
  std::string s(v);
  for (char& c : s) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return s;
}

std::string Num(int64_t v) { return std::to_string(v); }

void Key(std::vector<std::string>& out, std::string_view key, std::string_view value) {
  std::string line(key);
  line += '=';
  line += OneLine(value);
  out.push_back(std::move(line));
}
void Key(std::vector<std::string>& out, std::string_view key, int64_t value) {
  Key(out, key, Num(value));
}
std::string Numbered(std::string_view prefix, int n) {
  return std::string(prefix) + std::to_string(n);
}

void AppendNode(const DeviceNode& node, std::vector<std::string>& mainLines,
                std::vector<std::string>& body, int& index) {
  mainLines.push_back("Index" + std::to_string(index) + ".ID=" + Num(node.id()));
  ++index;
  body.push_back("[ID" + Num(node.id()) + "]");
  for (std::string& l : MapNodeLines(node)) body.push_back(std::move(l));
  for (const auto& child : node.children()) AppendNode(*child, mainLines, body, index);
}

// Lines of the text with their positions; headers indexed by their "[...]"
// part (first occurrence wins, as a scan from the start finds it).
struct ScannedText {
  std::vector<std::string_view> lines;
  std::unordered_map<std::string_view, size_t> headers;
};

ScannedText Scan(std::string_view text) {
  ScannedText s;
  s.lines = SplitTextLines(text);
  for (size_t i = 0; i < s.lines.size(); ++i) {
    std::string_view l = s.lines[i];
    if (l.size() < 4 || l.substr(0, 3) != "[ID") continue;
    size_t close = l.find(']');
    if (close == std::string_view::npos) continue;
    s.headers.emplace(l.substr(0, close + 1), i);
  }
  return s;
}

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

// One side of an icon or group rectangle from its map key.
template <NodeRect (DeviceNode::*Get)() const, void (DeviceNode::*Set)(const NodeRect&),
          int32_t NodeRect::*Side>
void SetRectField(DeviceNode& n, std::string_view, int32_t x) {
  NodeRect r = (n.*Get)();
  r.*Side = x;
  (n.*Set)(r);
}

// Applies one "key=value" line of a node's section (case-sensitive prefixes).
void ApplyLine(DeviceNode& n, std::string_view line) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return;
  std::string_view value = line.substr(eq + 1);
  auto num = [&] { return LeadingInt(value); };
  auto i16v = [&] { return static_cast<int16_t>(num()); };
  auto u8v = [&] { return static_cast<uint8_t>(num()); };

  struct Fixed {
    std::string_view prefix;
    void (*apply)(DeviceNode&, std::string_view, int32_t);
  };
  // First match in this order, as the keys were always matched.
  static const Fixed kFixed[] = {
      {"PreviousID=", [](DeviceNode&, std::string_view, int32_t) {}},
      {"upsGroupSNMP=", [](DeviceNode&, std::string_view, int32_t) {}},
      {"Title=", [](DeviceNode& n, std::string_view v, int32_t) { n.setTitle(v); }},
      {"IP=", [](DeviceNode& n, std::string_view v, int32_t) { n.setIp(v); }},
      {"Port=",
       [](DeviceNode& n, std::string_view, int32_t x) { n.setPort(static_cast<uint16_t>(x)); }},
      {"COM=", [](DeviceNode& n, std::string_view v, int32_t) { n.setCom(v); }},
      {"Baud=",
       [](DeviceNode& n, std::string_view, int32_t x) { n.setBaud(static_cast<uint16_t>(x)); }},
      {"UPSID=",
       [](DeviceNode& n, std::string_view, int32_t x) { n.setUpsId(static_cast<int16_t>(x)); }},
      {"CommType=",
       [](DeviceNode& n, std::string_view, int32_t x) { n.setCommType(static_cast<int16_t>(x)); }},
      {"Community=", [](DeviceNode& n, std::string_view v, int32_t) { n.setCommunity(v); }},
      {"Comm.Stop=",
       [](DeviceNode& n, std::string_view v, int32_t) {
         n.setLinkStatus(v == "Yes" ? kLinkStopped : kLinkUnidentified);
       }},
      {"SaveInDatabase=",
       [](DeviceNode& n, std::string_view v, int32_t) { n.setSaveInDatabase(v == "Yes"); }},
      {"iconRect.left=",
       SetRectField<&DeviceNode::iconRect, &DeviceNode::setIconRect, &NodeRect::left>},
      {"iconRect.top=",
       SetRectField<&DeviceNode::iconRect, &DeviceNode::setIconRect, &NodeRect::top>},
      {"iconRect.right=",
       SetRectField<&DeviceNode::iconRect, &DeviceNode::setIconRect, &NodeRect::right>},
      {"iconRect.bottom=",
       SetRectField<&DeviceNode::iconRect, &DeviceNode::setIconRect, &NodeRect::bottom>},
      {"groupRect.left=",
       SetRectField<&DeviceNode::groupRect, &DeviceNode::setGroupRect, &NodeRect::left>},
      {"groupRect.top=",
       SetRectField<&DeviceNode::groupRect, &DeviceNode::setGroupRect, &NodeRect::top>},
      {"groupRect.right=",
       SetRectField<&DeviceNode::groupRect, &DeviceNode::setGroupRect, &NodeRect::right>},
      {"groupRect.bottom=",
       SetRectField<&DeviceNode::groupRect, &DeviceNode::setGroupRect, &NodeRect::bottom>},
      {"Sync.DateTime=", [](DeviceNode& n, std::string_view, int32_t x) { n.setSyncDateTime(x); }},
      {"Bitmap=",
       [](DeviceNode& n, std::string_view v, int32_t) { n.setPicture(CutUtf8(v, kHeapTextMax)); }},
  };
  for (const Fixed& f : kFixed) {
    if (StartsWith(line, f.prefix)) {
      f.apply(n, value, num());
      return;
    }
  }

  // Numbered keys: the number follows the prefix; key n is row or slot n - 1.
  enum Field { kWDay, kWHour, kWMin, kWEvent, kSYear, kSMonth, kSDay, kSHour, kSMin, kSEvent };
  static constexpr struct {
    std::string_view prefix;
    Field field;
  } kSchedule[] = {
      {"Week.Day", kWDay},         {"Week.Hour", kWHour},     {"Week.Minute", kWMin},
      {"Week.Event", kWEvent},     {"Specific.Year", kSYear}, {"Specific.Month", kSMonth},
      {"Specific.Day", kSDay},     {"Specific.Hour", kSHour}, {"Specific.Minute", kSMin},
      {"Specific.Event", kSEvent},
  };
  for (const auto& k : kSchedule) {
    if (!StartsWith(line, k.prefix)) continue;
    // Wider than the key's number, so "Week.Day-2147483648" stays a bad row.
    const int64_t wide = int64_t{LeadingInt(line.substr(k.prefix.size()))} - 1;
    if (wide < 0 || wide >= (k.field <= kWEvent ? kWeekScheduleCount : kDateScheduleCount)) return;
    const int row = static_cast<int>(wide);
    if (k.field <= kWEvent) {
      // "Week.Day" starts a row: the row's other keys follow it.
      ScheduleWeekEntry e = k.field == kWDay ? ScheduleWeekEntry{} : n.weekEntry(row);
      switch (k.field) {
        case kWDay:
          e.weekday = i16v();
          break;
        case kWHour:
          e.hour = u8v();
          break;
        case kWMin:
          e.minute = u8v();
          break;
        default:
          e.actionClass = u8v();
          break;
      }
      n.setWeekEntry(row, e);
    } else {
      ScheduleDateEntry e = k.field == kSYear ? ScheduleDateEntry{} : n.dateEntry(row);
      switch (k.field) {
        case kSYear:
          e.year = i16v();
          break;
        case kSMonth:
          e.month = u8v();
          break;
        case kSDay:
          e.day = u8v();
          break;
        case kSHour:
          e.hour = u8v();
          break;
        case kSMin:
          e.minute = u8v();
          break;
        default:
          e.actionClass = u8v();
          break;
      }
      n.setDateEntry(row, e);
    }
    return;
  }

  if (StartsWith(line, "PLC.PointNum")) return n.setPlcPointNum(i16v());
  if (StartsWith(line, "PLC.XBYPASS")) return n.setPlcXBypass(i16v());
  if (StartsWith(line, "PLC.BYPASSUPSID")) return n.setPlcBypassUpsId(i16v());

  static constexpr std::string_view kPlc[] = {"PLC.UPSID",     "PLC.XTPCTrip",  "PLC.XUCBTrip",
                                              "PLC.YTPCAlarm", "PLC.YUPSAlarm", "PLC.Source"};
  for (size_t k = 0; k < std::size(kPlc); ++k) {
    if (!StartsWith(line, kPlc[k])) continue;
    const int64_t wide = int64_t{LeadingInt(line.substr(kPlc[k].size()))} - 1;
    if (wide < 0 || wide >= kPlcPointCount) return;
    const int slot = static_cast<int>(wide);
    switch (k) {
      case 0:
        return n.setPlcUpsId(slot, i16v());
      case 1:
        return n.setPlcXtpcTrip(slot, i16v());
      case 2:
        return n.setPlcXucbTrip(slot, i16v());
      case 3:
        return n.setPlcYtpcAlarm(slot, i16v());
      case 4:
        return n.setPlcYupsAlarm(slot, i16v());
      default:
        return n.setPlcSource(slot, CutUtf8(value, kHeapTextMax));
    }
  }

  if (StartsWith(line, "Location=")) return n.setLocation(value);
  if (StartsWith(line, "MIB.Type=")) return n.setMibType(u8v());
}

int Depth(const DeviceNode* n) {
  int d = 0;
  for (; n && n->parent(); n = n->parent()) ++d;
  return d;
}

void Report(EventLogSink& log, uint32_t level, const std::string& text) {
  log.WriteEventLog(0, level, kSystemEventCode, text);
}

bool KnownNode(uint8_t kind, int16_t commType) {
  if (kind > kNodeGprs) return false;
  if (kind == kNodeSerial && (commType < kCommAscii || commType > kCommMeterSum)) return false;
  return true;
}

// Loop thread: the only one that changes the tree's structure.
int CountUnmonitored(const DeviceNode& node) {
  int n = node.isGroup() || node.monitored() ? 0 : 1;
  for (const auto& c : node.children()) n += CountUnmonitored(*c);
  return n;
}

// The tree text under the tree lock held shared, unless this (the loop)
// thread is inside a structural edit and holds it already.
std::string RootText(const DeviceTree& tree) {
  if (tree.inStructuralEdit()) return BuildMapText(tree.root());
  auto lock = tree.readLock();
  return BuildMapText(tree.root());
}

}  // namespace

// ---- node blocks ----

void InitNodeBlocks(DeviceTree& tree, DeviceNode& node, const MapStoreHooks& hooks) {
  node.resetAudioRepeat();
  if (node.isGroup()) {
    node.freeAllBlocks();
    return;
  }
  if (node.nodeKind() == kNodeSnmp && node.mibType() == kMibUnknown) node.setMibType(kMibMakerUps);
  KeepOnlyCommTypeBlock(node);
  switch (node.nodeKind()) {
    case kNodeSnmp:
      // A refused node is marked not monitored by the table; the store
      // counts them once the map is open.
      tree.endpoints().addSnmpDevice(node);
      return;
    case kNodeGprs:
      return;  // the station link finds it when the station calls
    case kNodeSerial:
      break;
    default:
      return;
  }
  if (node.commType() == kCommSensor && node.plcPointNum() == 0) {
    if (LiveDataBlock* b = node.block(BlockKind::kSensor)) PresetTwoPointSensor(*b);
  }
  if (node.commType() == kCommPlc) {
    if (LiveDataBlock* b = node.block(BlockKind::kAscii)) {
      b->putText(994, 1011 - 994, "Norva");
      b->putText(1011, 16, "PLC");
    }
  }
  if (node.commType() != kCommMeterSum && hooks.attachSerialDevice) {
    hooks.attachSerialDevice(node);
  }
}

// ---- writer ----

std::vector<std::string> MapNodeLines(const DeviceNode& n) {
  std::vector<std::string> out;
  const DeviceNode* parent = n.parent();
  Key(out, "PreviousID", parent ? parent->id() : 0);
  Key(out, "Title", n.title());
  Key(out, "IP", n.ip());
  Key(out, "COM", n.com());
  Key(out, "UPSID", n.upsId());
  Key(out, "Baud", static_cast<int16_t>(n.baud()));
  Key(out, "CommType", n.commType());
  Key(out, "Port", static_cast<int16_t>(n.port()));
  Key(out, "Community", n.community());
  Key(out, "Comm.Stop", n.linkStatus() == kLinkStopped ? "Yes" : "No");
  Key(out, "SaveInDatabase", n.saveInDatabase() ? "Yes" : "No");
  Key(out, "upsGroupSNMP", n.nodeKind());
  NodeRect ir = n.iconRect(), gr = n.groupRect();
  Key(out, "iconRect.left", ir.left);
  Key(out, "iconRect.top", ir.top);
  Key(out, "iconRect.right", ir.right);
  Key(out, "iconRect.bottom", ir.bottom);
  Key(out, "groupRect.left", gr.left);
  Key(out, "groupRect.top", gr.top);
  Key(out, "groupRect.right", gr.right);
  Key(out, "groupRect.bottom", gr.bottom);
  Key(out, "Sync.DateTime", n.syncDateTime());
  Key(out, "Bitmap", n.picture());
  if (!n.isGroup()) {
    for (int r = 0; r < kWeekScheduleCount; ++r) {
      ScheduleWeekEntry e = n.weekEntry(r);
      if (e.actionClass == 0) continue;
      Key(out, Numbered("Week.Day", r + 1), e.weekday);
      Key(out, Numbered("Week.Hour", r + 1), e.hour);
      Key(out, Numbered("Week.Minute", r + 1), e.minute);
      Key(out, Numbered("Week.Event", r + 1), e.actionClass);
    }
    for (int r = 0; r < kDateScheduleCount; ++r) {
      // A dated row of class 0 is how a weekly action is cancelled on one
      // date: it is kept; only wholly empty rows are left out.
      ScheduleDateEntry e = n.dateEntry(r);
      if (e.actionClass == 0 && e.year == 0 && e.month == 0 && e.day == 0) continue;
      Key(out, Numbered("Specific.Year", r + 1), e.year);
      Key(out, Numbered("Specific.Month", r + 1), e.month);
      Key(out, Numbered("Specific.Day", r + 1), e.day);
      Key(out, Numbered("Specific.Hour", r + 1), e.hour);
      Key(out, Numbered("Specific.Minute", r + 1), e.minute);
      Key(out, Numbered("Specific.Event", r + 1), e.actionClass);
    }
  }
  const bool serial = n.nodeKind() == kNodeSerial;
  if (serial && n.commType() == kCommPlc) {
    Key(out, "PLC.PointNum", n.plcPointNum());
    Key(out, "PLC.XBYPASS", n.plcXBypass());
    Key(out, "PLC.BYPASSUPSID", n.plcBypassUpsId());
    for (int i = 0; i < kPlcPointCount; ++i) {
      Key(out, Numbered("PLC.UPSID", i + 1), n.plcUpsId(i));
      Key(out, Numbered("PLC.XTPCTrip", i + 1), n.plcXtpcTrip(i));
      Key(out, Numbered("PLC.XUCBTrip", i + 1), n.plcXucbTrip(i));
      Key(out, Numbered("PLC.YTPCAlarm", i + 1), n.plcYtpcAlarm(i));
      Key(out, Numbered("PLC.YUPSAlarm", i + 1), n.plcYupsAlarm(i));
      std::string src = n.plcSource(i);
      if (!src.empty()) Key(out, Numbered("PLC.Source", i + 1), src);
    }
  }
  if ((n.nodeKind() == kNodeSnmp && n.mibType() == kMibMakerUps) ||
      (serial && n.commType() == kCommModbusTrv5200)) {
    for (int i = 0; i < 4; ++i) Key(out, Numbered("PLC.UPSID", i + 1), n.plcUpsId(i));
  }
  Key(out, "Location", n.location());
  Key(out, "MIB.Type", n.mibType());
  return out;
}

std::string BuildMapText(const DeviceNode& root) {
  std::vector<std::string> mainLines, body;
  int index = 0;
  AppendNode(root, mainLines, body, index);
  std::string out = "[Main]\r\n";
  // The order the key-by-key writer left: the root's index, the count, then
  // the other indexes.
  out += mainLines[0] + "\r\n";
  out += "Number=" + std::to_string(index) + "\r\n";
  for (size_t i = 1; i < mainLines.size(); ++i) out += mainLines[i] + "\r\n";
  for (const std::string& l : body) out += l + "\r\n";
  return out;
}

// ---- reader ----

int LoadMapText(std::string_view text, DeviceTree& tree, const MapStoreHooks& hooks,
                EventLogSink& log) {
  Profile prof;
  prof.loadText(text);
  ScannedText scanned = Scan(text);
  int32_t number = LeadingInt(prof.getString("Main", "Number", "0", kWholeValue));
  if (number > kMaxMapPlaces) number = kMaxMapPlaces;
  std::unordered_set<int32_t> skipped;
  // Every id is placed once, the root's included: a file naming one id at
  // every place would otherwise read that section again at each of them.
  std::unordered_set<int32_t> placed;
  int read = 0;
  int refusals = 0;
  // A hostile file can hold 65536 bad places: the log gets the first few,
  // and the text of a line is made only when it is written.
  auto refuse = [&](auto text) {
    if (++refusals <= kMapRefusalLines) Report(log, kLevelWarning, text());
  };

  for (int32_t place = 0; place < number; ++place) {
    if (hooks.stopRequested && hooks.stopRequested()) {
      Report(log, kLevelWarning, "The map load was stopped; the rest of the map is not read");
      break;
    }
    std::string indexKey = "Index" + std::to_string(place) + ".ID";
    const int32_t fileId = LeadingInt(prof.getString("Main", indexKey, "0", 16));
    // Checked before any lookup: 65536 and its multiples must not wrap onto the root.
    if (fileId < 0 || fileId > static_cast<int32_t>(kMaxNodeId)) {
      refuse([&] {
        return "Map index " + std::to_string(place) + ": the id " + std::to_string(fileId) +
               " is out of range; skipped";
      });
      continue;
    }
    const int16_t id = static_cast<int16_t>(fileId);
    if (!placed.insert(id).second) {
      refuse([&] {
        return "Map index " + std::to_string(place) + ": the id " + std::to_string(id) +
               " is used twice; skipped";
      });
      continue;
    }
    std::string section = "ID" + std::to_string(id);
    auto header = scanned.headers.find("[" + section + "]");
    if (header == scanned.headers.end()) continue;

    int32_t previous = LeadingInt(prof.getString(section, "PreviousID", "0", 16));
    int32_t kindValue = LeadingInt(prof.getString(section, "upsGroupSNMP", "0", 16));
    std::string what = "Map node " + std::to_string(id);

    DeviceNode* node = nullptr;
    std::unique_ptr<DeviceNode> fresh;
    DeviceNode* parent = nullptr;
    if (id == 0) {
      node = &tree.root();
    } else {
      if (skipped.count(previous)) {
        skipped.insert(id);
        refuse([&] { return what + ": its group was skipped; skipped"; });
        continue;
      }
      parent = tree.findById(previous);
      if (!parent) break;  // parents come first: the rest of the file is out of order
      if (kindValue < 0 || kindValue > kNodeGprs) {
        skipped.insert(id);
        refuse([&] {
          return what + ": unknown node kind " + std::to_string(kindValue) + "; skipped";
        });
        continue;
      }
      if (!parent->isGroup() || Depth(parent) + 1 > kMaxMapDepth) {
        skipped.insert(id);
        refuse([&] { return what + ": not placed under a group within reach; skipped"; });
        continue;
      }
      if (parent->childCount() >= kMaxChildren) continue;
      fresh = std::make_unique<DeviceNode>();
      node = fresh.get();
      node->setId(id);
      node->setNodeKind(static_cast<uint8_t>(kindValue));
    }

    node->setTitle("Untitled");
    node->setBaud(2400);
    node->setCommunity("quorel");
    node->setLinkStatus(kLinkUnidentified);
    node->setSaveInDatabase(true);
    for (size_t i = header->second + 1; i < scanned.lines.size(); ++i) {
      std::string_view line = scanned.lines[i];
      if (!line.empty() && line.front() == '[') break;
      ApplyLine(*node, line);
    }
    if (id == 0) node->setNodeKind(kNodeGroup);

    if (fresh) {
      if (!KnownNode(fresh->nodeKind(), fresh->commType())) {
        skipped.insert(id);
        refuse([&] {
          return what + ": unknown communication type " + std::to_string(fresh->commType()) +
                 "; skipped";
        });
        continue;
      }
      node = parent->addChild(fresh);
      if (!node) continue;
      tree.indexSubtree(*node);
    }
    if (hooks.initNode) {
      hooks.initNode(tree, *node);
    } else {
      InitNodeBlocks(tree, *node, hooks);
    }
    ++read;
    if (static_cast<uint32_t>(node->idU16()) >= tree.nextNodeId()) {
      tree.setNextNodeId(static_cast<uint32_t>(node->idU16()) + 1);
    }
  }
  if (refusals > kMapRefusalLines)
    Report(log, kLevelWarning,
           std::to_string(refusals - kMapRefusalLines) +
               " more map places were refused and not logged");
  return read;
}

std::string MapNameOf(std::string_view fileName) {
  size_t dot = fileName.find('.');
  return std::string(dot == std::string_view::npos ? fileName : fileName.substr(0, dot));
}

// ---- the store ----

MapStore::MapStore(std::string installDir, DeviceTree& tree, EventLogSink& log, MapStoreHooks hooks)
    : installDir_(std::move(installDir)), tree_(tree), log_(log), hooks_(std::move(hooks)) {}

std::string MapStore::currentMapPath() const {
  std::string name = current_.empty() ? std::string(kUntitledMap) : current_;
  return ResolveNoCase(installDir_, name + std::string(kMapExtension));
}

bool MapStore::LoadMapFile(const std::string& path) {
  std::optional<std::string> text = ReadFile(path);
  if (!text) return false;
  LoadMapText(*text, tree_, hooks_, log_);
  return true;
}

void MapStore::OpenMapFile(std::string& name) {
  if (!name.empty()) {
    std::optional<std::string> found =
        IsSafeName(name) ? FindNoCase(installDir_, name) : std::nullopt;
    if (!found) name.clear();
  }
  unmonitored_ = 0;
  if (name.empty()) {
    current_ = std::string(kUntitledMap);
    MakeDirs(JoinPath(installDir_, current_));
    return;
  }
  std::string path = *FindNoCase(installDir_, name);
  tree_.setNextNodeId(1);
  if (MigrateOldMap(*this, tree_, name)) {
    unmonitored_ = CountUnmonitored(tree_.root());
    if (hooks_.afterOpen) hooks_.afterOpen(tree_);
    return;
  }
  {
    DeviceTree::StructuralEdit edit(tree_);
    Tree_FreeAll(tree_);
    current_ = MapNameOf(name);
    MakeDirs(JoinPath(installDir_, current_));
    tree_.setNextNodeId(1);
    if (!LoadMapFile(path)) {
      Report(log_, kLevelWarning, "The map file " + name + " could not be read");
    }
    tree_.setCurrentParent(tree_.root());
    tree_.setCurrentChildIndex(0);
  }
  unmonitored_ = CountUnmonitored(tree_.root());
  if (hooks_.afterOpen) hooks_.afterOpen(tree_);
}

int MapStore::takeUnmonitoredCount() { return std::exchange(unmonitored_, 0); }

bool MapStore::WriteMap(const std::string& path, std::string_view text) {
  bool ok = hooks_.beforeRename ? WriteFileAtomic(path, text, hooks_.beforeRename)
                                : WriteFileAtomic(path, text);
  if (!ok) Report(log_, kLevelWarning, "The map file " + path + " could not be written");
  return ok;
}

bool MapStore::SaveMapFile(bool saveAs, std::string_view newName) {
  if (saveAs) {
    std::string file(newName);
    if (!IsSafeName(file)) {
      Report(log_, kLevelWarning, "Save map as: \"" + OneLine(file) + "\" is not a file name");
      return false;
    }
    std::string oldName = current_;
    std::string name = MapNameOf(file);
    if (name.empty()) return false;
    std::string text = RootText(tree_);
    // Written over the file it really replaces (found without case).
    if (!WriteMap(ResolveNoCase(installDir_, name + std::string(kMapExtension)), text)) {
      return false;
    }
    current_ = name;
    if (!oldName.empty() && oldName != name) {
      std::string from = JoinPath(installDir_, oldName);
      std::string to = JoinPath(installDir_, name);
      if (IsDirectory(from) && !FileExists(to)) rename(from.c_str(), to.c_str());
    }
    MakeDirs(JoinPath(installDir_, current_));
    return true;
  }
  if (current_.empty()) current_ = std::string(kUntitledMap);
  std::string text = RootText(tree_);
  return WriteMap(currentMapPath(), text);
}

bool MapStore::SaveMapNode(const DeviceNode& node) {
  std::string path = currentMapPath();
  Profile p(path);
  {
    std::shared_lock<std::shared_mutex> lock;
    if (!tree_.inStructuralEdit()) lock = tree_.readLock();
    std::vector<const DeviceNode*> stack{&node};
    while (!stack.empty()) {
      const DeviceNode* n = stack.back();
      stack.pop_back();
      std::string section = "ID" + std::to_string(n->id());
      // The whole section is rewritten, so keys of rows emptied since the
      // last save go with it.
      p.clearSection(section);
      for (const std::string& line : MapNodeLines(*n)) {
        size_t eq = line.find('=');
        p.setString(section, line.substr(0, eq), line.substr(eq + 1));
      }
      for (int i = n->childCount() - 1; i >= 0; --i) stack.push_back(n->child(i));
    }
  }
  if (hooks_.beforeRename) p.setBeforeRenameHook(hooks_.beforeRename);
  bool ok = p.save();
  if (!ok) Report(log_, kLevelWarning, "The map file " + path + " could not be written");
  return ok;
}

bool MapStore::NewMap(std::string_view nameIn) {
  std::string file(nameIn);
  if (file.find('.') == std::string::npos) file += kMapExtension;
  if (!IsSafeName(file) || FindNoCase(installDir_, file)) return false;
  Tree_ClearAll(tree_);
  tree_.setNextNodeId(1);
  current_ = MapNameOf(file);
  if (!SaveMapFile(false)) return false;
  OpenMapFile(file);
  return true;
}

}  // namespace lark
