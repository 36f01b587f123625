// Modbus RTU slaves on a scripted line for the master's unit tests: each
// address has a register table (function 3 and 4 read the same table) and
// discrete inputs; writes are echoed and kept. Faults are switched by the
// test between steps.
#pragma once
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/support/scripted_serial_port.h"

namespace lark::test {

class ScriptedModbusSlaves {
 public:
  explicit ScriptedModbusSlaves(std::shared_ptr<ScriptedLine> line);

  void setRegister(int address, int reg, uint16_t value) { regs_[address][reg] = value; }
  void setInput(int address, int input, bool on) { inputs_[address][input] = on; }
  void addSlave(int address) { regs_[address]; }
  std::set<int> silent;         // addresses that answer nothing
  std::map<int, int> requests;  // frames seen per address
  bool ignoreWrites = false;    // writes get no answer
  // When set, answers the next request in place of the table (used once);
  // the request and the table's own answer are handed in.
  std::function<std::string(const std::string& request, const std::string& answer)> nextReply;
  struct Write {
    int address, function, reg, value;
  };
  std::vector<Write> writes;

  // The answer frame (with CRC) to a read of `quantity` items from `start`.
  std::string answerTo(const std::string& request) const;

 private:
  void onFrame(const std::string& frame);
  std::shared_ptr<ScriptedLine> line_;
  std::map<int, std::map<int, uint16_t>> regs_;
  std::map<int, std::map<int, bool>> inputs_;
};

// Frame bytes with their CRC appended.
std::string WithCrc(std::string body);

}  // namespace lark::test
