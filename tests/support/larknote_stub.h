// A stand-in for the desktop-message program that records how it was called.
#pragma once
#include <string>
#include <vector>

namespace lark::test {

// Writes an executable "Larknote" into `dir` that appends its arguments to
// `dir`/larknote.calls; returns the path of that record file.
std::string InstallLarknoteStub(const std::string& dir);
// Every call recorded so far, each as its argument list (argv[1..]).
std::vector<std::vector<std::string>> ReadLarknoteCalls(const std::string& recordFile);

}  // namespace lark::test
