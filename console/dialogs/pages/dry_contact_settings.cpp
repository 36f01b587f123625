#include "console/dialogs/pages/dry_contact_settings.h"

#include "common/bytes.h"
#include "core/device_node.h"

namespace lark {

int32_t PackDryContact(const DryContact& c) {
  return (c.event & 0x7F) | (c.active ? 0x80 : 0) | ((c.number & 0x7F) << 8) | (c.normallyClosed ? 0x8000 : 0);
}

DryContact UnpackDryContact(int32_t r) {
  return {(r >> 8) & 0x7F, r & 0x7F, (r & 0x80) != 0, (r & 0x8000) != 0};
}

DryContactSubmission BuildDryContactSubmission(uint16_t nodeId, int16_t commType, bool outputsShown,
                                               bool inputsShown, const DryContactRecords& loaded,
                                               const DryContactRecords& typed) {
  DryContactSubmission out;
  out.block.assign(kDryContactSettingsSize, 0);
  Bytes b(out.block.data(), out.block.size());
  putU16(b, 0, nodeId);
  auto group = [&](bool shown, int first, int count, size_t flagOff, size_t recordsOff) {
    if (!shown) return;
    bool changed = false;
    for (int i = 0; i < count; ++i) {
      const size_t k = static_cast<size_t>(first + i);
      changed = changed || typed[k] != loaded[k];
      putI32(b, recordsOff + 4 * static_cast<size_t>(i), typed[k]);
    }
    putU32(b, flagOff, changed ? 1 : 0);
    out.send = out.send || changed;
  };
  group(outputsShown, 0, kOutputContacts, kOutputFlagOffset, kOutputRecordsOffset);
  if (commType != kCommThreePhase)
    group(inputsShown, kOutputContacts, kInputContacts, kInputFlagOffset, kInputRecordsOffset);
  return out;
}

std::string DryContactEventName(const std::vector<std::string>& list, int event) {
  if (event >= 1 && static_cast<size_t>(event) <= list.size()) return list[static_cast<size_t>(event - 1)];
  return "(" + std::to_string(event) + ")";
}

std::vector<std::string> DryContactLog(int16_t commType, const DryContactRecords& records,
                                       const std::vector<std::string>& outputEvents,
                                       const std::vector<std::string>& inputEvents) {
  if (commType == kCommModbusUps) return {""};
  auto items = [&](const char* head, int first, int count, const std::vector<std::string>& list) {
    std::string text = head;
    for (int n = first; n < first + count; ++n) {
      const DryContact c = UnpackDryContact(records[static_cast<size_t>(n)]);
      text += "(" + std::to_string(n) + ":" + DryContactEventName(list, c.event) + "," +
              (c.active ? "Active" : "Deactive") + "," + (c.normallyClosed ? "NC" : "NO") + ") ";
    }
    return text;
  };
  std::vector<std::string> out{items("Out-Contact: ", 0, kOutputContacts, outputEvents)};
  if (commType == kCommAscii) out.push_back(items("In-Contact: ", kOutputContacts, kInputContacts, inputEvents));
  return out;
}

}  // namespace lark
