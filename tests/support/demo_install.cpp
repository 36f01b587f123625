#include "tests/support/demo_install.h"

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "platform/paths.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace lark::test {

std::string TrimDemoMap(const std::string& map, int keep) {
  std::istringstream in(map);
  std::string line, out;
  bool skip = false, main = false;
  while (std::getline(in, line)) {
    std::string bare = line;
    if (!bare.empty() && bare.back() == '\r') bare.pop_back();
    if (!bare.empty() && bare.front() == '[') {
      int id = -1;
      skip = std::sscanf(bare.c_str(), "[ID%d]", &id) == 1 && id >= keep;
      main = bare == "[Main]";
    } else if (main) {
      int index = -1, id = -1;
      if (std::sscanf(bare.c_str(), "Index%d.ID=%d", &index, &id) == 2 && index >= keep) continue;
      if (bare.rfind("Number=", 0) == 0) {
        out += "Number=" + std::to_string(keep) + "\r\n";
        continue;
      }
    }
    if (!skip) out += line + "\n";
  }
  return out;
}

bool CopyDemoInstall(const std::string& folder, int keep, bool polled) {
  std::error_code ec;
  fs::copy(SourcePath("data"), folder, fs::copy_options::recursive, ec);
  if (ec) return false;
  const std::string map = folder + "/Demo.UMF";
  auto text = ReadFile(map);
  if (!text) return false;
  std::string trimmed = TrimDemoMap(*text, keep);
  if (!polled) {
    for (size_t at; (at = trimmed.find("Comm.Stop=No")) != std::string::npos;)
      trimmed.replace(at, 12, "Comm.Stop=Yes");
  }
  return WriteFileAtomic(map, trimmed);
}

}  // namespace lark::test
