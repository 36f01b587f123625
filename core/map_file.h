// The map file store: one ".UMF" file per map in the install folder, in INI
// syntax, holding the device tree ([Main] "Number" and "Index%d.ID", one
// [ID%d] section per node). The service has one current map; its name (the
// file name cut at its first '.') names the file and the map's data folder.
//
// Reading: [Main] and two keys per node go through Profile; the rest of a
// node's section is read by a case-sensitive line scanner, as every console
// and older service reads these files. Writing: the whole file is built in
// memory and written once through a temp file and rename, so a crash leaves
// the old map or the new one.
//
// Everything here runs on the loop thread. Loads hold a StructuralEdit (the
// workers paused, the tree lock exclusive); saves hold the tree lock shared.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/device_tree.h"

namespace lark {

class EventLogSink;

inline constexpr std::string_view kUntitledMap = "Untitled";
inline constexpr std::string_view kMapExtension = ".UMF";
// Nodes nested deeper than this are refused by the loaders: the tree walks
// recurse, and a hostile file must not be able to exhaust the stack.
inline constexpr int kMaxMapDepth = kMaxTreeDepth;
// Places of [Main] "Number" looked at, at most (ids are 16-bit).
inline constexpr int32_t kMaxMapPlaces = 65536;

// What the map store needs from outside the tree.
struct MapStoreHooks {
  // A loaded serial device takes its slot in the port table.
  std::function<void(DeviceNode&)> attachSerialDevice;
  // After a map is opened: compute the pending scheduled actions for today.
  std::function<void(DeviceTree&)> afterOpen;
  // Tests: called after a map's temp file is written, just before the
  // rename; false abandons the save.
  std::function<bool()> beforeRename;
  // Asked between nodes while a map loads: true ends the load there (the
  // service is asked to stop).
  std::function<bool()> stopRequested;
  // The set-up of each loaded node in place of InitNodeBlocks (the console
  // sets up its own copy of the tree).
  std::function<void(DeviceTree&, DeviceNode&)> initNode;
};

// Sets up a loaded node's live data: audio countdowns idle, the one block of
// its kind and CommType with its initial values, and its registration (SNMP
// table, port table). Groups get no block.
void InitNodeBlocks(DeviceTree& tree, DeviceNode& node, const MapStoreHooks& hooks);

// The whole map file text for the tree under `root` (CRLF line ends).
std::string BuildMapText(const DeviceNode& root);
// The [ID%d] section lines of one node (no header, no line ends).
std::vector<std::string> MapNodeLines(const DeviceNode& node);

// Reads map text into the tree (the root's fields are overwritten, its
// children kept; the caller frees the tree first when it wants a clean load).
// Raises the tree's next node id past every id read. Each id is placed
// once: an index naming an id already placed (the root's 0 included) or one
// out of range is refused with a line in the log, so the time taken grows
// with the file's length. Returns the number of nodes read.
int LoadMapText(std::string_view text, DeviceTree& tree, const MapStoreHooks& hooks,
                EventLogSink& log);

class MapStore {
 public:
  MapStore(std::string installDir, DeviceTree& tree, EventLogSink& log, MapStoreHooks hooks = {});

  const std::string& installDir() const { return installDir_; }
  // The current map's name without extension; "Untitled" for a new map, empty
  // before any map was opened.
  const std::string& currentMapName() const { return current_; }
  void setCurrentMapName(std::string name) { current_ = std::move(name); }
  // The current map's file path (found without case when it exists).
  std::string currentMapPath() const;
  MapStoreHooks& hooks() { return hooks_; }
  EventLogSink& log() { return log_; }

  // Opens `name` (a file name with extension, from the install folder; may be
  // empty). A name that names nothing, or is not a plain file name, is
  // cleared and a new "Untitled" map is started (the tree is left as it is).
  // Old-format maps are converted first.
  void OpenMapFile(std::string& name);
  // Reads the file at `path` into the tree; false when it cannot be read.
  bool LoadMapFile(const std::string& path);
  // Writes the whole tree under the current name, or (saveAs) under
  // `newName` (with or without extension), which becomes current; the data
  // folder follows the map. False when the file could not be written (the
  // old file is then untouched).
  bool SaveMapFile(bool saveAs = false, std::string_view newName = {});
  // The update form: rewrites the whole sections of `node` and its
  // descendants in the current file, [Main] left alone.
  bool SaveMapNode(const DeviceNode& node);
  // Clears the tree and starts a new, saved, empty map under `name`; false
  // when the name is not a plain file name or the file exists already.
  bool NewMap(std::string_view name);
  // How many devices of the map opened last no poller took (the network
  // device table was full or had their address); reading clears it, so the
  // line naming them is written once, after the event log has its folder.
  int takeUnmonitoredCount();

 private:
  bool WriteMap(const std::string& path, std::string_view text);
  std::string installDir_;
  DeviceTree& tree_;
  EventLogSink& log_;
  MapStoreHooks hooks_;
  std::string current_;
  int unmonitored_ = 0;  // loop thread only
};

// The name cut at its first '.'.
std::string MapNameOf(std::string_view fileName);

}  // namespace lark
