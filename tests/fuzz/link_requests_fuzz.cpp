// Console requests of any bytes against real subsystems on a scratch
// install folder: every handler must stay inside its frame and its reply
// buffer, and answer within the largest frame.
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "linkserver/command_queue.h"
#include "linkserver/control_lock.h"
#include "core/device_tree.h"
#include "core/event_log.h"
#include "core/event_log_sink.h"
#include "core/language_texts_store.h"
#include "linkserver/link_commands.h"
#include "core/map_file.h"
#include "core/settings.h"
#include "platform/clock.h"

namespace {

using namespace lark;

class NullLog final : public EventLogSink {
 public:
  void WriteEventLog(int32_t, uint32_t, int32_t, std::string_view) override {}
};

struct World {
  std::string dir;
  FakeClock clock{1000};
  CommandQueues queues;
  ControlLock lock{clock, queues};
  NullLog log;
  DeviceTree tree;
  ServiceSettings settings;
  SettingsStore store;
  MapStore maps;
  EventLog eventLog{clock, {}};
  LanguageTables languages;
  NullUpsCommandSink sink;
  LinkServices services{lock};
  std::vector<uint8_t> out = std::vector<uint8_t>(kLinkBufferSize);

  explicit World(std::string d)
      : dir(std::move(d)), store(dir), maps(dir, tree, log), languages(dir) {
    Tree_ResetRoot(tree);
    settings.historyDirectory = dir;
    services.installDir = dir;
    services.tree = &tree;
    services.maps = &maps;
    services.settingsStore = &store;
    services.settings = &settings;
    services.eventLog = &eventLog;
    services.languages = &languages;
    services.clock = &clock;
    services.deviceCommands = &sink;
    services.upsControl = &sink;
    std::string name;
    maps.OpenMapFile(name);
    eventLog.setPath(dir, maps.currentMapName());
    // A few nodes for the requests to find.
    DeviceNode* group = Tree_CreateNode(tree, kNodeGroup, "");
    tree.setCurrentParent(*group);
    for (uint8_t kind : {kNodeSerial, kNodeSnmp, kNodeGprs, kNodeSerial}) {
      Tree_CreateNode(tree, kind, "10.0.0.1");
    }
  }
};

World& TheWorld() {
  static World* w = [] {
    char tmpl[] = "/tmp/link_requests_fuzz.XXXXXX";
    const char* d = mkdtemp(tmpl);
    if (d == nullptr) abort();
    static std::string scratch = d;
    // The scratch folder goes when the run ends.
    atexit([] { std::filesystem::remove_all(scratch); });
    return new World(scratch);
  }();
  return *w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  World& w = TheWorld();
  // The server hands over whole frames only: make the header say so.
  if (size < 1 || size > 0xFFFF) return 0;
  std::vector<uint8_t> frame(size + 4);
  frame[0] = 1;
  frame[1] = kLinkKindRequest;
  frame[2] = static_cast<uint8_t>(size >> 8);
  frame[3] = static_cast<uint8_t>(size);
  std::memcpy(frame.data() + 4, data, size);
  // Keep the tree from growing without end over a long run.
  if (w.tree.root().childCount() > 50) {
    DeviceTree::StructuralEdit edit(w.tree);
    Tree_ClearAll(w.tree);
  }
  uint16_t version = 0x0907;
  const int slot = data[0] % 10;
  LinkRequest r(frame, slot, LinkPeer{0x7F000001, 4000}, version, w.services);
  LinkFrameBuilder b(w.out);
  size_t n = DispatchLinkRequest(r, b);
  if (n > 0xFFFF + kLinkHeaderSize) __builtin_trap();
  w.lock.reset();
  return 0;
}
