#include "core/tree_dump.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "core/settings.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace lark {

namespace {

// Texts are written as they stand (a comma in a title is not escaped, as the
// viewer expects); only a line break, which would split the line, is replaced.
std::string Field(std::string s) {
  for (char& c : s) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return s;
}

void AppendTree(const DeviceNode& node, std::string& out) {
  out += TreeMapLine(node);
  out += "\r\n";
  for (const auto& child : node.children()) AppendTree(*child, out);
}

}  // namespace

std::string TreeMapLine(const DeviceNode& n) {
  const uint64_t mask = Tree_SupportedParamMask(n);
  char hex[40];
  snprintf(hex, sizeof hex, "%X,%X", static_cast<unsigned>(mask & 0xffffffffu),
           static_cast<unsigned>(mask >> 32));
  const DeviceNode* parent = n.parent();
  std::string line;
  line += std::to_string(n.id()) + ",";
  line += std::to_string(parent ? parent->id() : 0) + ",";
  line += std::to_string(n.nodeKind()) + ",";
  line += std::to_string(n.commType()) + ",";
  line += Field(n.ip()) + ",";
  line += Field(n.com()) + ",";
  line += std::to_string(n.upsId()) + ",";
  line += Field(n.title()) + ",";
  line += hex;
  line += ",";
  line += std::to_string(n.mibType()) + ",";
  line += std::to_string(static_cast<uint8_t>(n.plcPointNum() & 0xff)) + ",";
  line += std::to_string(static_cast<int32_t>(n.ratingPower()));
  return line;
}

std::string BuildTreeMapText(const DeviceNode& root) {
  std::string out;
  AppendTree(root, out);
  return out;
}

bool WriteTreeMap(const DeviceTree& tree, const std::string& historyDir,
                  const std::string& mapName) {
  if (!IsSafeName(mapName)) return false;
  std::string folder = JoinPath(ToSlash(historyDir), mapName);
  if (!IsDirectory(folder)) return false;
  std::string text;
  if (tree.inStructuralEdit()) {
    text = BuildTreeMapText(tree.root());  // this thread holds the lock already
  } else {
    auto lock = tree.readLock();
    text = BuildTreeMapText(tree.root());
  }
  return WriteFileAtomic(JoinPath(folder, kTreeMapFile), text);
}

std::optional<std::string> BuildImageList(const std::string& installDir) {
  std::optional<std::string> folder = FindNoCase(installDir, "Images");
  if (!folder || !IsDirectory(*folder)) return std::nullopt;
  DIR* dir = opendir(folder->c_str());
  if (!dir) return std::nullopt;
  std::vector<std::string> names;
  while (dirent* e = readdir(dir)) {
    std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    if (IsDirectory(JoinPath(*folder, name))) continue;
    bool usable = true;
    for (unsigned char c : name) usable = usable && c >= 0x20 && c != 0x7f && c != ';';
    if (usable) names.push_back(std::move(name));
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  std::string list;
  for (const std::string& name : names) {
    // The consoles read the list into a buffer of this size with its terminator.
    if (list.size() + name.size() + 1 > kImageListBuffer - 1) continue;
    list += name;
    list += ';';
  }
  return list;
}

bool SaveImageList(const std::string& installDir) {
  std::optional<std::string> list = BuildImageList(installDir);
  if (!list) return true;
  Profile p(SettingsStore(installDir).iniPath());
  p.setString("Images", "List", *list);
  return p.save();
}

}  // namespace lark
