#include "console/dialogs/map_edit/image_list.h"

#include <algorithm>
#include <string_view>

#include "linkserver/link_transfer.h"
#include "platform/paths.h"

namespace lark {

std::vector<std::string> ParseImageList(CBytes text) {
  const auto* begin = reinterpret_cast<const char*>(text.data());
  std::string_view list(begin, text.size());
  list = list.substr(0, list.find('\0'));
  std::vector<std::string> names;
  size_t start = 0;
  for (size_t end = list.find(';'); end != std::string_view::npos; end = list.find(';', start)) {
    const std::string_view name = list.substr(start, end - start);
    start = end + 1;
    // SafeWireName with one part: no '/', '\', ':', "." or "..", no control
    // characters, at most what a chunk header's name field holds.
    if (!SafeWireName(name, 1)) continue;
    if (std::find(names.begin(), names.end(), name) != names.end()) continue;
    names.emplace_back(name);
  }
  return names;
}

std::vector<std::string> MissingImages(const std::vector<std::string>& listed,
                                       const std::string& imagesDir) {
  std::vector<std::string> missing;
  for (const std::string& name : listed) {
    // The file grows as "<name>.part": a name too long for that cannot be
    // stored here, and must not stop the names after it.
    if (name.size() > kStorableImageName) continue;
    if (!FindNoCase(imagesDir, name)) missing.push_back(name);
  }
  return missing;
}

}  // namespace lark
