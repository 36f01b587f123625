// The service's map list and the names typed for Save and New: any bytes
// give at most 20 non-empty names that hold no separator or zero and fit
// their slot, a display name that is the current name's part before its
// first '.', and a typed name is sent only as a plain file name that fits
// the 256-byte buffer with its terminator.
#include <cstdint>
#include <string>

#include "console/link/request_payloads.h"
#include "console/link/service_link.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  LinkSessionData s;
  ApplyMapList(s, CBytes(data, size));
  if (s.maps.size() > 20) __builtin_trap();
  for (const std::string* name : {&s.autoLoadMap, &s.currentMap}) {
    if (name->size() > 259 || name->find_first_of(std::string(";\0", 2)) != std::string::npos) __builtin_trap();
  }
  for (const std::string& name : s.maps) {
    if (name.empty() || name.size() > 259 || name.find_first_of(std::string(";\0", 2)) != std::string::npos)
      __builtin_trap();
  }
  if (s.currentMap.compare(0, s.currentMapBase.size(), s.currentMapBase) != 0 ||
      s.currentMapBase.find('.') != std::string::npos)
    __builtin_trap();

  const std::string typed(reinterpret_cast<const char*>(data), size);
  if (const std::optional<std::string> name = MapFileName(typed)) {
    if (name->empty() || name->size() >= kMapNameBufferBytes || name->front() == '.' ||
        name->find("..") != std::string::npos || name->find_first_of(std::string("/\\\0", 3)) != std::string::npos)
      __builtin_trap();
    for (unsigned char c : *name)
      if (c < 0x20) __builtin_trap();
    const std::vector<uint8_t> buf = MapNameBuffer(*name);
    if (buf.size() != kMapNameBufferBytes || buf[name->size()] != 0) __builtin_trap();
  }
  return 0;
}
