#include "console/diagram/diagram_readings.h"

#include <algorithm>
#include <optional>
#include <string>

#include "core/device_node.h"
#include "core/live_data.h"

namespace lark {
namespace {

// Values the inverter maps fill (device MIB and Modbus registers); the UPS
// slots beyond them stay unknown for these devices.
constexpr int kInverterSlots = 30;

struct ReadingSource {
  BlockKind kind;
  int count;  // values listed, from slot 0
};

std::optional<ReadingSource> SourceOf(const DeviceNode& n) {
  if (n.nodeKind() == kNodeSnmp)
    return (n.mibType() == kMibInverter || n.mibType() == kMibSensor)
               ? std::optional<ReadingSource>({BlockKind::kSnmp, kInverterSlots})
               : std::nullopt;
  if (n.nodeKind() != kNodeSerial) return std::nullopt;
  switch (n.commType()) {
    case kCommInverter: return ReadingSource{BlockKind::kModbus, kInverterSlots};
    case kCommSensor: return ReadingSource{BlockKind::kSensor, static_cast<int>(kSensorSlotCount)};
    case kCommMeter: return ReadingSource{BlockKind::kMeter, 10};
    case kCommMeterSum: return ReadingSource{BlockKind::kMeterSum, 4};
    default: return std::nullopt;
  }
}

}  // namespace

bool IsUpsLessDevice(const DeviceNode& node) { return !node.isGroup() && SourceOf(node).has_value(); }

void DrawReadingRows(RowCursor& rows, RowCursor& more, const DeviceNode& node, int bottom) {
  const std::optional<ReadingSource> s = SourceOf(node);
  if (!s) return;
  rows.Caption("Readings");
  const LiveDataBlock* b = node.block(s->kind);
  if (b == nullptr) return;
  const int count = std::min(s->count, b->slotCount());
  RowCursor* at = &rows;
  for (int i = 0; i < count; ++i) {
    if (b->slot(i) < 0) continue;
    if (at == &rows && rows.bottom() > bottom) {
      at = &more;
      more.Caption("Readings");
    }
    at->Values("Value " + std::to_string(i), b->slot(i), -1, -1, RowFormat::kWhole, "");
  }
}

}  // namespace lark
