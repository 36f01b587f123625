// Reads and writes values of a key store, for people checking what the
// service and the tray programs exchange.
// Usage: larkkey <store folder> get <key> <name>
//        larkkey <store folder> set <key> <name> <value>
#include <cstdio>
#include <string>

#include "platform/key_store.h"

int main(int argc, char** argv) {
  const std::string op = argc > 2 ? argv[2] : "";
  if (!((op == "get" && argc == 5) || (op == "set" && argc == 6))) {
    std::fprintf(stderr, "usage: %s <store folder> get <key> <name> | set <key> <name> <value>\n",
                 argv[0]);
    return 2;
  }
  lark::KeyStore keys(argv[1]);
  if (op == "set") {
    if (keys.write(argv[3], argv[4], argv[5])) return 0;
    std::fprintf(stderr, "larkkey: cannot write %s/%s in %s\n", argv[3], argv[4], argv[1]);
    return 1;
  }
  auto value = keys.read(argv[3], argv[4]);
  if (!value) return 1;
  std::printf("%s\n", value->c_str());
  return 0;
}
