// What the Diagram tab reads of a node: the family that decides which table
// column applies, and that family's live-data block when the node has it.
// A missing block or an offset outside it reads as no reading (-1, masks 0),
// so a node whose block was never sent, or that changed its CommType, paints
// titles, captions and frame only. Made afresh for each paint.
#pragma once
#include <cstdint>
#include <string>

#include "core/device_node.h"
#include "core/live_data.h"

namespace lark {

enum class DiagramFamily : uint8_t { kNone, kSnmp, kAscii, kBinary, kModbus, kGprs };

// SNMP and GPRS by kind; a serial device by CommType: ASCII for 0 and 4,
// binary for 1, Modbus for 2, 3, 5 and 6; anything else none.
DiagramFamily DiagramFamilyOf(const DeviceNode& node);

class DiagramSource {
 public:
  explicit DiagramSource(const DeviceNode& node);

  DiagramFamily family() const { return family_; }
  int16_t commType() const { return commType_; }
  bool hasBlock() const { return block_ != nullptr; }

  // Value slot n of the block's value array, -1 when absent.
  int32_t slot(int n) const;
  // The signed word at byte `off`, -1 when absent.
  int32_t word(size_t off) const;
  // Bit n of the low 32 bits of the last-reported event mask.
  bool bit(int n) const { return n >= 0 && n < 32 && ((status() >> n) & 1u) != 0; }
  uint32_t status() const { return static_cast<uint32_t>(mask(MaskWord::kReported)); }
  uint64_t mask(MaskWord word) const;
  // The component fault word: low 32 bits of the last-reported extended mask.
  uint32_t faultWord() const { return static_cast<uint32_t>(mask(MaskWord::kExtReported)); }
  // The family's BatteryStatus (0 floating, 1 charging, 2 resting, 3 discharging).
  int32_t batteryStatus() const;
  // The eight-character date at `off` as "YYYY\MM\DD"; empty when the first
  // byte is 0 or the field leaves the block.
  std::string date(size_t off) const;

 private:
  DiagramFamily family_;
  int16_t commType_;
  const LiveDataBlock* block_ = nullptr;
};

// An SNMP device, a GPRS station, or a local UPS of CommType 0 or 2: the
// devices the single-phase mimic reads its events and values from.
bool IsSinglePhaseSource(const DiagramSource& src);

// v x 10 for the binary block's whole volts and amperes, computed wide and
// held at INT32_MAX; a value without reading stays as it is.
int32_t TimesTen(int32_t v);

}  // namespace lark
