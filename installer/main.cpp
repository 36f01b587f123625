// Larkinstall install <program> <service name> <display name> [--root DIR] [--no-systemd]
// Larkinstall uninstall <service name> [--root DIR] [--no-systemd]
#include <string>
#include <vector>

#include "installer/installer.h"
#include "platform/paths.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return lark::RunInstaller(args, lark::ExecutableDir());
}
