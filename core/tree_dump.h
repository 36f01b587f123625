// Two small exports of the service's state for other programs: the tree dump
// "Tree_Map.dat" (one comma-separated line per node, for the history viewer)
// and the image list ([Images] "List" of manager.ini, the picture files the
// consoles synchronise).
#pragma once
#include <optional>
#include <string>

#include "core/device_tree.h"

namespace lark {

inline constexpr const char* kTreeMapFile = "Tree_Map.dat";
// The image list was built in a buffer of this size; the consoles read no more.
inline constexpr size_t kImageListBuffer = 2056;

// One node's line without its line end:
// id,parent,kind,commType,ip,com,upsId,title,SUPPORT_LO,SUPPORT_HI,mibType,sensorType,ratingPower
std::string TreeMapLine(const DeviceNode& node);
// Every line, depth first from the root, each group before its children (CRLF).
std::string BuildTreeMapText(const DeviceNode& root);
// Writes "<historyDir>/<mapName>/Tree_Map.dat" anew; false (nothing written)
// when the folder is missing or the write fails. Takes the tree lock shared.
bool WriteTreeMap(const DeviceTree& tree, const std::string& historyDir,
                  const std::string& mapName);

// The picture files of "<installDir>/Images" (folders left out), each followed
// by ';', sorted by name; names that do not fit the list buffer whole, or that
// hold a ';' or a control character, are left out. nullopt when the folder is
// missing.
std::optional<std::string> BuildImageList(const std::string& installDir);
// Rebuilds [Images] "List" in manager.ini; a missing folder leaves the key as
// it was. False when manager.ini could not be written.
bool SaveImageList(const std::string& installDir);

}  // namespace lark
