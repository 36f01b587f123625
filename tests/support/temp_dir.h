// A fresh temporary folder per test, removed afterwards.
#pragma once
#include <string>

namespace lark::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Path of a built program (under the build folder), e.g. "service/Larkcore".
std::string BuiltProgram(const std::string& relative);
// Path under the source tree.
std::string SourcePath(const std::string& relative);

}  // namespace lark::test
