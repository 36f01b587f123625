// A small console tree of every node kind for the console link's fuzz
// targets, and a reactor that only remembers what it is asked.
#pragma once
#include <functional>
#include <vector>

#include "console/link/reactor.h"
#include "console/link/service_link.h"
#include "core/device_tree.h"

namespace lark::fuzz {

inline std::vector<DeviceNode*> BuildConsoleTree(DeviceTree& tree) {
  std::vector<DeviceNode*> nodes{&tree.root()};
  auto add = [&](DeviceNode& parent, uint8_t kind, int16_t comm) -> DeviceNode& {
    tree.setCurrentParent(parent);
    DeviceNode* n = Tree_CreateNode(tree, kind, kind == kNodeSnmp ? "10.0.0.1" : "");
    if (kind == kNodeSerial) n->setCommType(comm);
    nodes.push_back(n);
    return *n;
  };
  DeviceNode& group = add(tree.root(), kNodeGroup, 0);
  add(tree.root(), kNodeSnmp, 0);
  add(tree.root(), kNodeGprs, 0);
  for (int16_t comm = 0; comm <= 9; ++comm) add(group, kNodeSerial, comm);
  tree.setCurrentParent(tree.root());
  return nodes;
}

class NullReactor final : public Reactor {
 public:
  bool watchSocket(int, SocketHandler) override { return true; }
  void expectConnect(int) override {}
  void setSendPending(int, bool) override {}
  void setReadWatched(int, bool) override {}
  void unwatchSocket(int) override {}
  bool setTimer(uint32_t, uint32_t, Task) override { return true; }
  void killTimer(uint32_t) override {}
  void post(Task task) override { posted.push_back(std::move(task)); }
  void runPosted() {
    std::vector<Task> now;
    now.swap(posted);
    for (Task& t : now) t();
  }
  std::vector<Task> posted;
};

inline void RunToState7(ServiceLink& link) {
  const uint8_t walk[][2] = {{1, 0}, {2, 0}, {2, 1}, {2, 2}, {3, 0}, {3, 2}, {4, 0}, {4, 2}, {6, 0}, {6, 2}, {7, 0}};
  for (const auto& s : walk) link.requestState(s[0], s[1]);
}

}  // namespace lark::fuzz
