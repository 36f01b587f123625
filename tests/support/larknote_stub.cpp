#include "tests/support/larknote_stub.h"

#include <sys/stat.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace lark::test {

namespace {
// Arguments end with a unit separator, calls with a record separator, so any
// text (blanks, quotes, new lines) comes back as it was passed.
constexpr char kArgEnd = '\x1f';
constexpr char kCallEnd = '\x1e';
}  // namespace

std::string InstallLarknoteStub(const std::string& dir) {
  std::string record = dir + "/larknote.calls";
  std::string script = dir + "/Larknote";
  std::ofstream out(script, std::ios::trunc);
  // The whole call is written at once, so stubs running side by side never
  // interleave their records.
  out << "#!/bin/sh\n"
      << "us=$(printf '\\037')\n"
      << "r=''\n"
      << "for a in \"$@\"; do r=\"$r$a$us\"; done\n"
      << "printf '%s\\036' \"$r\" >> '" << record << "'\n";
  out.close();
  if (!out || chmod(script.c_str(), 0755) != 0) throw std::runtime_error("cannot write " + script);
  return record;
}

std::vector<std::vector<std::string>> ReadLarknoteCalls(const std::string& recordFile) {
  std::ifstream in(recordFile, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  std::string data = ss.str();
  std::vector<std::vector<std::string>> calls;
  std::vector<std::string> args;
  std::string arg;
  for (char c : data) {
    if (c == kArgEnd) {
      args.push_back(arg);
      arg.clear();
    } else if (c == kCallEnd) {
      calls.push_back(args);
      args.clear();
    } else {
      arg.push_back(c);
    }
  }
  return calls;
}

}  // namespace lark::test
