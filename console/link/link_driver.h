// Running the link without windows: the main window's link timers armed on
// a reactor, and the downloaded map read into the console's tree with the
// service's own map reader (until the console has its map window).
#pragma once
#include <string>

#include "console/link/reactor.h"
#include "console/link/service_link.h"

namespace lark {

// The main window's timer ids that drive the link.
enum LinkTimerId : uint32_t {
  kTimerSecond = 1025,   // one-second steps
  kTimerRepaint = 1028,  // reply queue 2
  kTimerQueue3 = 1029,   // request queue 3
  kTimerQueue5 = 1031,   // search queue 5
  kTimerLink = 1033,     // LinkTick and the shared-memory exchange
};

bool ArmLinkTimers(Reactor& reactor, ServiceLink& link);
void KillLinkTimers(Reactor& reactor);

// Frees the console's tree and reads the map file at `path` into it.
bool LoadDownloadedMap(DeviceTree& tree, const std::string& path);

}  // namespace lark
