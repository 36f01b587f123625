#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

namespace lark::test {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "lark-test-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string BuiltProgram(const std::string& relative) {
  return std::string(LARK_BINARY_DIR) + "/" + relative;
}

std::string SourcePath(const std::string& relative) {
  return std::string(LARK_SOURCE_DIR) + "/" + relative;
}

}  // namespace lark::test
