#include "devices/port_table.h"

#include <chrono>

namespace lark {

uint32_t SerialPollConfig::timeoutPolls() const {
  uint32_t interval = pollIntervalMs == 0 ? 1 : pollIntervalMs;
  uint32_t polls = replyTimeoutMs / interval;
  return polls == 0 ? 1 : polls;
}

// ---- SerialPortRecord ----

int SerialPortRecord::nextPollable(int slot, int kind) const {
  for (int i = 1; i <= kBusSlots; ++i) {
    int s = (slot + i) % kBusSlots;
    const DeviceNode* d = devices[static_cast<size_t>(s)];
    if (d == nullptr || d->linkStatus() == kLinkStopped) continue;
    int ct = d->commType();
    bool match =
        kind == 2 ? (ct == 2 || ct == 3 || ct == 5 || ct == 6 || ct == 7 || ct == 8) : ct == kind;
    if (match) return s;
  }
  return -1;
}

void SerialPortRecord::setRequest(std::string_view frame, int bus) {
  txLen = std::min(frame.size(), tx.size());
  std::copy_n(frame.begin(), txLen, tx.begin());
  received = 0;
  awaiting = bus;
}

SerialLineParams SerialEngine::lineParams(const DeviceNode& node) const {
  SerialLineParams p;
  p.baud = node.baud();
  if (node.commType() == kCommPlc) {
    p.evenParity = true;
    p.dataBits = 7;
  }
  return p;
}

// ---- PortTable ----

PortTable::PortTable(PortOpener& opener, SerialTrace* trace, SerialLogFn log,
                     SerialPollConfig config)
    : opener_(opener), trace_(trace), log_(std::move(log)), config_(config) {}

PortTable::~PortTable() { StopSerialThreads(); }

void PortTable::log(const std::string& text) const {
  if (log_) log_(text);
}

void PortTable::setEngine(uint8_t protocol, SerialEngine* engine) {
  if (protocol < engines_.size()) engines_[protocol] = engine;
}

void PortTable::setConfig(const SerialPollConfig& config) {
  std::lock_guard<std::mutex> g(cfgMu_);
  config_ = config;
}

SerialPollConfig PortTable::config() const {
  std::lock_guard<std::mutex> g(cfgMu_);
  return config_;
}

bool PortTable::AttachPortDevice(DeviceNode& node, bool pause) {
  int com = ComNumberOf(node.com());
  int bus = node.upsId();
  if (com == 0 || bus < 0 || bus >= kBusSlots) {
    log("Device " + std::to_string(node.id()) + ": port \"" + node.com() + "\" address " +
        std::to_string(bus) + " is not usable; not polled");
    return false;
  }
  if (pause) PauseSerialThreads();
  {
    std::unique_lock<std::shared_mutex> g(regMu_);
    auto& rec = records_[static_cast<size_t>(com)];
    if (!rec) {
      rec = std::make_unique<SerialPortRecord>();
      rec->com = com;
      rec->protocol = static_cast<uint8_t>(node.commType());
    }
    DeviceNode*& slot = rec->devices[static_cast<size_t>(bus)];
    if (slot != nullptr && slot != &node) {
      log("COM" + std::to_string(com) + " address " + std::to_string(bus) + ": device " +
          std::to_string(node.id()) + " replaces device " + std::to_string(slot->id()));
      if (rec->awaiting == bus) rec->awaiting = -1;
    }
    slot = &node;
  }
  if (pause) ResumeSerialThreads();
  return true;
}

void PortTable::DetachPortDevice(DeviceNode& node, bool pause) {
  if (pause) PauseSerialThreads();
  {
    std::unique_lock<std::shared_mutex> g(regMu_);
    // The node is looked for where it is, not where its (possibly edited)
    // COM text and address say, and only its own slot is cleared.
    for (int com = 1; com <= kMaxComPort; ++com) {
      auto& rec = records_[static_cast<size_t>(com)];
      if (!rec) continue;
      bool found = false;
      for (int bus = 0; bus < kBusSlots; ++bus) {
        if (rec->devices[static_cast<size_t>(bus)] != &node) continue;
        rec->devices[static_cast<size_t>(bus)] = nullptr;
        if (rec->awaiting == bus) {
          rec->awaiting = -1;
          rec->received = 0;
        }
        found = true;
      }
      if (!found) continue;
      bool empty = true;
      for (DeviceNode* d : rec->devices) empty = empty && d == nullptr;
      if (empty) rec.reset();  // closes the port
    }
  }
  if (pause) ResumeSerialThreads();
}

bool PortTable::IsPortDeviceIdTaken(int16_t id, std::string_view com, int bus) const {
  int n = ComNumberOf(com);
  if (n == 0 || bus < 0 || bus >= kBusSlots) return false;
  std::shared_lock<std::shared_mutex> g(regMu_);
  const auto& rec = records_[static_cast<size_t>(n)];
  if (!rec) return false;
  const DeviceNode* d = rec->devices[static_cast<size_t>(bus)];
  return d != nullptr && d->id() != id;
}

int PortTable::NextPollableDevice(int portIndex, int slot, int kind) const {
  int com = portIndex + 1;
  if (com < 1 || com > kMaxComPort) return -1;
  std::shared_lock<std::shared_mutex> g(regMu_);
  const auto& rec = records_[static_cast<size_t>(com)];
  return rec ? rec->nextPollable(slot, kind) : -1;
}

DeviceNode* PortTable::deviceAt(int com, int bus) const {
  if (com < 1 || com > kMaxComPort || bus < 0 || bus >= kBusSlots) return nullptr;
  std::shared_lock<std::shared_mutex> g(regMu_);
  const auto& rec = records_[static_cast<size_t>(com)];
  return rec ? rec->devices[static_cast<size_t>(bus)] : nullptr;
}

bool PortTable::isPortOpen(int com) const {
  if (com < 1 || com > kMaxComPort) return false;
  // The poll thread opens and closes the line while it holds the registry
  // shared, so a reader takes it exclusively.
  std::unique_lock<std::shared_mutex> g(regMu_);
  const auto& rec = records_[static_cast<size_t>(com)];
  return rec && rec->port != nullptr;
}

bool PortTable::hasRecord(int com) const {
  if (com < 1 || com > kMaxComPort) return false;
  std::shared_lock<std::shared_mutex> g(regMu_);
  return records_[static_cast<size_t>(com)] != nullptr;
}

bool PortTable::ServesProtocol(Thread t, uint8_t protocol) {
  switch (t) {
    case kThreadA:
      return protocol == 0 || protocol == 4;
    case kThreadB:
      return protocol == 1;
    case kThreadC:
      return protocol == 2 || protocol == 3 || (protocol >= 5 && protocol <= 8);
  }
  return false;
}

bool PortTable::leaveRequested(Thread t) const {
  const ThreadState& s = threads_[static_cast<size_t>(t)];
  return s.stopWord.load() > 0 || s.pauseWord.load() >= 1;
}

void PortTable::openPort(SerialPortRecord& rec, SerialEngine& engine) {
  int first = -1;
  for (int s = 0; s < kBusSlots && first < 0; ++s) {
    DeviceNode* d = rec.devices[static_cast<size_t>(s)];
    if (d != nullptr && engine.opensWith(*d, rec.protocol)) first = s;
  }
  if (first < 0) return;
  auto port = opener_.open(rec.com, engine.lineParams(*rec.devices[static_cast<size_t>(first)]));
  if (!port) {
    for (int s = first; s < kBusSlots; ++s) {
      DeviceNode* d = rec.devices[static_cast<size_t>(s)];
      if (d != nullptr && engine.accepts(*d, rec.protocol)) engine.markLost(*d);
    }
    return;
  }
  port->attachTrace(trace_, rec.com, rec.protocol);
  rec.port = std::move(port);
  rec.received = 0;
  rec.awaiting = -1;
}

void PortTable::servePort(SerialPortRecord& rec) {
  SerialEngine* engine = rec.protocol < engines_.size() ? engines_[rec.protocol] : nullptr;
  if (engine == nullptr) return;
  if (rec.port && rec.port->failed()) {
    // The adapter went away (EIO/ENODEV): drop the dead line, reopen next pass.
    log("COM" + std::to_string(rec.com) + ": the line failed; closing it to reopen");
    rec.port.reset();
    rec.received = 0;
    rec.awaiting = -1;
    return;
  }
  if (!rec.port) {
    openPort(rec, *engine);
    return;
  }
  int slot = rec.currentSlot;
  DeviceNode* d = rec.devices[static_cast<size_t>(slot)];
  if (d != nullptr && engine->accepts(*d, rec.protocol)) {
    if (engine->pollStep(rec, slot, config().timeoutPolls()) == 0) return;
  }
  for (int i = 1; i <= kBusSlots; ++i) {
    int s = (slot + i) % kBusSlots;
    if (rec.devices[static_cast<size_t>(s)] != nullptr) {
      rec.currentSlot = static_cast<uint8_t>(s);
      break;
    }
  }
}

void PortTable::runPass(Thread t) {
  for (int com = 1; com <= kMaxComPort; ++com) {
    {
      std::shared_lock<std::shared_mutex> g(regMu_);
      SerialPortRecord* rec = records_[static_cast<size_t>(com)].get();
      if (rec == nullptr || !ServesProtocol(t, rec->protocol)) continue;
      servePort(*rec);
    }
    if (leaveRequested(t)) return;
  }
}

void PortTable::threadMain(Thread t) {
  ThreadState& s = threads_[static_cast<size_t>(t)];
  for (;;) {
    if (s.stopWord.load() >= 1) {
      s.stopWord = 2;
      break;
    }
    if (s.pauseWord.load() == 1) {
      std::unique_lock<std::mutex> g(waitMu_);
      s.pauseWord = 2;
      s.phase = 2;
      waitCv_.notify_all();
      waitCv_.wait(g, [&] { return s.pauseWord.load() != 2 || s.stopWord.load() >= 1; });
      continue;
    }
    if (s.pauseWord.load() == 3) break;
    s.phase = 0;
    runPass(t);
    if (leaveRequested(t)) continue;
    s.phase = 1;
    uint32_t interval = config().pollIntervalMs;
    std::unique_lock<std::mutex> g(waitMu_);
    waitCv_.wait_for(g, std::chrono::milliseconds(interval),
                     [&] { return s.stopWord.load() >= 1 || s.pauseWord.load() == 1; });
  }
  std::lock_guard<std::mutex> g(waitMu_);
  s.phase = 3;
  s.running = false;
  waitCv_.notify_all();
}

void PortTable::start() {
  if (started_) return;
  started_ = true;
  for (int i = 0; i < kThreadCount; ++i) {
    ThreadState& s = threads_[static_cast<size_t>(i)];
    s.stopWord = 0;
    s.pauseWord = pauseDepth_ > 0 ? 1 : 0;
    s.running = true;
    s.thread = std::thread([this, i] { threadMain(static_cast<Thread>(i)); });
  }
}

void PortTable::PauseSerialThreads() {
  if (pauseDepth_++ > 0) return;
  std::unique_lock<std::mutex> g(waitMu_);
  for (ThreadState& s : threads_) {
    if (s.pauseWord.load() != 2) s.pauseWord = 1;
  }
  waitCv_.notify_all();
  auto allPaused = [&] {
    for (ThreadState& s : threads_) {
      if (s.running.load() && s.pauseWord.load() != 2) return false;
    }
    return true;
  };
  // Every step is bounded, so the threads get here; the log only says why a
  // caller is still waiting.
  while (!waitCv_.wait_for(g, std::chrono::seconds(10), allPaused)) {
    if (log_) log_("Serial poll threads: still waiting for the pause");
  }
}

void PortTable::ResumeSerialThreads() {
  if (pauseDepth_ == 0 || --pauseDepth_ > 0) return;
  std::lock_guard<std::mutex> g(waitMu_);
  for (ThreadState& s : threads_) s.pauseWord = 0;
  waitCv_.notify_all();
}

void PortTable::StopSerialThreads() {
  {
    std::lock_guard<std::mutex> g(waitMu_);
    for (ThreadState& s : threads_) s.stopWord = 1;
    waitCv_.notify_all();
  }
  for (ThreadState& s : threads_) {
    if (s.thread.joinable()) s.thread.join();
  }
  started_ = false;
}

bool PortTable::running() const {
  for (const ThreadState& s : threads_) {
    if (s.running.load()) return true;
  }
  return false;
}

std::string PortTable::threadPhase(Thread t) const {
  static const char* const kNames[] = {"pass", "wait", "paused", "ended"};
  int p = threads_[static_cast<size_t>(t)].phase.load();
  return p >= 0 && p <= 3 ? kNames[p] : "?";
}

}  // namespace lark
