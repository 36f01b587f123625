// Older installations: maps in the line format with a "Version1".."Version4"
// first line, and the notification lists in three small text files. Both are
// read once and converted.
#pragma once
#include <optional>
#include <string>

#include "core/device_tree.h"
#include "core/map_file.h"
#include "core/settings.h"

namespace lark {

// Each reads its old list file from the install folder (found without case)
// into the list and returns the file's path, or nullopt when there is none.
// The file is not deleted here: the caller writes the list to manager.ini
// first, so a failed write never loses it.
std::optional<std::string> ImportOldEmailList(const std::string& installDir, EmailList& list);
std::optional<std::string> ImportOldSmsList(const std::string& installDir, SmsPhoneList& list);
std::optional<std::string> ImportOldBroadcastList(const std::string& installDir,
                                                  BroadcastList& list);

// Converts the map file `name` (in the install folder, found without case)
// when its first line is "Version1".."Version4": the tree is replaced by the
// old map, the old file is kept under "<name>.bak", and the map is saved as
// "<map>.UMF", which `name` then names. False (nothing changed) for any other
// file, which the normal loader then reads.
bool MigrateOldMap(MapStore& store, DeviceTree& tree, std::string& name);

// Reads the records of an old map (the whole text, version line first) into the
// tree under its root; `version` 1..4. Returns the nodes read. Exposed for
// the fuzz target and the tests.
int ReadOldMapText(int version, std::string_view text, DeviceTree& tree, const MapStoreHooks& hooks,
                   EventLogSink& log);
// The version (1..4) an old map's text starts with, or 0.
int OldMapVersion(std::string_view text);

}  // namespace lark
