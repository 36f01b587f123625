// Qt stays in the console: the service and its tools never link it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/temp_dir.h"

namespace lark {
namespace {

std::string Libraries(const std::string& program) {
  std::string out;
  FILE* p = popen(("ldd " + program + " 2>&1").c_str(), "r");
  if (p == nullptr) return out;
  char buf[512];
  while (fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out;
}

TEST(QtBoundaryTest, OnlyTheConsoleLinksQt) {
  for (const char* program : {"service/Larkcore", "tools/ups_sim", "tools/larklink"}) {
    const std::string libs = Libraries(test::BuiltProgram(program));
    ASSERT_NE(libs.find("libc.so"), std::string::npos) << program << ": " << libs;
    EXPECT_EQ(libs.find("libQt"), std::string::npos) << program;
  }
  EXPECT_NE(Libraries(test::BuiltProgram("console/shell/Larkview")).find("libQt6Widgets"), std::string::npos);
}

}  // namespace
}  // namespace lark
