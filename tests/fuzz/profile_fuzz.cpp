// Profile text parsing and lookups on arbitrary bytes: the first bytes pick
// the names and the read size, the rest is the file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  size_t sectionLen = static_cast<uint8_t>(in[0]) % 16;
  size_t keyLen = static_cast<uint8_t>(in[1]) % 16;
  size_t readSize = static_cast<uint8_t>(in[2]);
  in.remove_prefix(3);
  std::string section(in.substr(0, sectionLen));
  in.remove_prefix(std::min(sectionLen, in.size()));
  std::string key(in.substr(0, keyLen));
  in.remove_prefix(std::min(keyLen, in.size()));

  lark::Profile p;
  p.loadText(in);
  std::string once = p.text();
  std::string v = p.getString(section, key, "def", readSize);
  if (readSize > 0 && v.size() > readSize - 1) abort();
  p.getInt(section, key, 7);
  for (const std::string& s : p.sectionNames()) p.keyNames(s);

  // Text written is read back the same.
  lark::Profile again;
  again.loadText(once);
  if (again.text() != once) abort();

  // An accepted write reads back as written.
  p.setString(section, key, "x y");
  if (p.text() != once && p.getString(section, key, "", 64) != "x y") abort();
  // Lookups kept up to date across writes agree with a fresh load.
  auto agree = [&] {
    lark::Profile fresh;
    fresh.loadText(p.text());
    for (const std::string& s : fresh.sectionNames()) {
      for (const std::string& k : fresh.keyNames(s)) {
        if (p.getString(s, k, "?", 4096) != fresh.getString(s, k, "?", 4096)) abort();
      }
    }
    if (p.getString(section, key, "?", 4096) != fresh.getString(section, key, "?", 4096)) abort();
  };
  agree();
  p.setString(key, section, "z");
  agree();
  p.removeKey(section, key);
  p.clearSection(section);
  p.removeSection(section);
  (void)p.text();
  return 0;
}
