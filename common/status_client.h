// The console's end of the status exchange, as far as a tool or a test on
// this machine needs it: its own object with a request, the service's view
// read-only.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "common/status_frame.h"
#include "platform/shared_memory.h"

namespace lark {

class StatusClient {
 public:
  explicit StatusClient(std::string ownName = kStatusClientObject,
                        std::string serverName = kStatusServerObject)
      : ownName_(std::move(ownName)), serverName_(std::move(serverName)) {}

  // Creates and maps the own object and writes its header (state 0).
  SharedMemory::Created create();
  // (Re)opens and maps the service's view; true when its header is there.
  bool attach();
  void close();

  uint8_t ownState() const { return LoadStatusViewState(own_.view()); }
  void setOwnState(uint8_t state) { StoreStatusViewState(own_.view(), state); }
  // Whether the service that made the attached view still runs it.
  bool serverAlive() const { return server_.ownerAlive(); }
  // The service's state byte; -1 when not attached.
  int serverState() const;
  // Writes `frame` into the own view from byte 3 and posts it (state 2).
  bool post(CBytes frame);
  // A copy of the service's answer frame, bounded to its view; nullopt
  // unless the service's state is 4 (answer ready).
  std::optional<std::vector<uint8_t>> answer() const;

  SharedMemory& own() { return own_; }
  // Bounded read of the service's object: false when any byte lies past it.
  bool readServer(size_t off, std::span<uint8_t> out) const { return server_.read(off, out); }

 private:
  std::string ownName_;
  std::string serverName_;
  SharedMemory own_;
  SharedMemory server_;
};

}  // namespace lark
