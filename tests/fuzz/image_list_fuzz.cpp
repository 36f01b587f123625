// The picture list of Sync Images comes from the service: any bytes parse
// into distinct plain file names, none holding the list's separator, each
// one a name that stays inside the folder it is joined to.
#include <cstdint>
#include <set>
#include <string>

#include "console/dialogs/map_edit/image_list.h"
#include "linkserver/link_transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  std::set<std::string> seen;
  for (const std::string& name : ParseImageList(CBytes(data, size))) {
    if (name.find_first_of(";/\\:") != std::string::npos || name.find('\0') != std::string::npos)
      __builtin_trap();
    if (name == "." || name == ".." || SafeWireName(name, 1) != name) __builtin_trap();
    if (!seen.insert(name).second) __builtin_trap();
  }
  return 0;
}
