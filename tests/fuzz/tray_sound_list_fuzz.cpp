// An Audio value as the tray reads it: split into entries, each resolved in
// the language folder; a file found is always inside that folder.
#include <stdlib.h>

#include <cstdint>
#include <string>

#include "platform/paths.h"
#include "tray/tray_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A language folder holding one sound, with a file beside it that must stay out of reach.
  static const std::string base = [] {
    char tmpl[] = "/tmp/lark-sound-fuzz-XXXXXX";
    std::string dir = mkdtemp(tmpl);
    lark::MakeDirs(dir + "/English");
    lark::WriteFileAtomic(dir + "/English/a.wav", "RIFF");
    lark::WriteFileAtomic(dir + "/secret.wav", "RIFF");
    return dir;
  }();
  const std::string language = base + "/English";
  std::string list(reinterpret_cast<const char*>(data), size);
  for (std::string_view entry : lark::SoundEntries(list)) {
    if (entry.empty() || entry.find(';') != std::string_view::npos) abort();
    if (auto path = lark::SoundFilePath(language, entry)) {
      if (path->rfind(language + "/", 0) != 0 || path->find("/../") != std::string::npos) abort();
    }
  }
  return 0;
}
