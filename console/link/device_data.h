// The console's side of device data: the forms of the service's answer to a
// device-data poll (over the link and the shared memory alike) and the
// status pushes of the call-back connection, applied to the console's tree.
// Every read is bounded by the bytes given; the tree's own block choice and
// mask offsets (core/live_data.h) say where words go.
#pragma once
#include <cstdint>

#include "common/bytes.h"
#include "core/device_tree.h"

namespace lark {

// Answer forms: 0 node image, 1 the node's block, 2 and 4 status lists,
// 3 full list.
inline constexpr uint8_t kFormNode = 0;
inline constexpr uint8_t kFormBlock = 1;
inline constexpr uint8_t kFormStatusList = 2;
inline constexpr uint8_t kFormFullList = 3;
inline constexpr uint8_t kFormStatusListAll = 4;

// Applies `data` (the bytes after the node identifier) in form `form` to
// `node`, the node the answer names. Entries of a list are looked up from
// `root`. Returns the number of nodes changed.
int ApplyDeviceDataForm(DeviceNode& root, DeviceNode& node, uint8_t form, CBytes data);

// Replaces a node's block from the wire, keeping the console's last-reported
// event-mask words. False when the node has no block or `image` is short.
bool ReplaceBlockKeepingMasks(DeviceNode& node, CBytes image);

// A status push over the call-back connection: `kindByte` names the block,
// `data` follows the identifier. False when the node or block does not match.
bool ApplyStatusPush(DeviceNode& node, uint8_t kindByte, CBytes data);

}  // namespace lark
