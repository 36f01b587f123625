// Canned answers of an ASCII-protocol UPS: what the simulator in tools/ says
// and what the engine's tests expect. Values differ by bus address so two
// units on one bus can be told apart.
#pragma once
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

namespace lark {

struct AsciiUpsProfile {
  int address = 1;  // bus address 0..99
  std::string manufacturer = "Lark Power";
  std::string model = "LK3000";
  int modelClass = 3;
  std::string firmware = "2.10";
  std::string cpu = "5001";  // hex; 5001 enables the module queries
  std::string serial = "LK0000001";
  // Capability answers: character i '1' = capability (AVL) or list entry i.
  std::string avl = "000110000000010010110";
  std::string al1 = "0000000000000000000000000";
  std::string al2 = "0010000001100000000000000";
  std::string al3 = "1100000000000000000000000";
  std::set<std::string> refused;  // codes answered "R"
  int events = 60;                // event-log records ("AEL")
  int eventFormat = 1;            // 1 records ("EVT"), 0 texts ("ELS")
  bool alarm = false;             // "STA" alarm `alarmField` active
  int alarmField = 0;
  int upsType = 1;                // "RAT" field 13, the UPS type code
  std::map<std::string, std::string, std::less<>> answers;  // code -> payload, over the canned one
};

// The payload answering query `code` whose request carried `args` after the
// code (e.g. "26;25" for "EVT"); nullopt when the unit refuses it.
std::optional<std::string> AsciiSampleAnswer(const AsciiUpsProfile& ups, std::string_view code,
                                             std::string_view args);
// The input voltage of phase 1 (slot 43, tenths of a volt) that unit
// `address` reports: 2290 + address - 1, used by tests to tell units apart.
int AsciiSampleInputVoltage(int address);

}  // namespace lark
