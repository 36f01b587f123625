#include "devices/snmp/snmp_monitor.h"

#include "platform/paths.h"

namespace lark {

bool SnmpTrafficMonitor::open() {
  std::lock_guard<std::mutex> lock(mu_);
  return openLocked();
}

bool SnmpTrafficMonitor::openLocked() {
  closeLocked();
  std::string path = JoinPath(
      installDir_, "NetworkMonitor" + std::to_string(fileCounter_ % kNetworkMonitorFiles) + ".txt");
  fileCounter_ = (fileCounter_ + 1) % kNetworkMonitorFiles;
  file_ = fopen(path.c_str(), "w+");
  written_ = 0;
  return file_ != nullptr;
}

void SnmpTrafficMonitor::close() {
  std::lock_guard<std::mutex> lock(mu_);
  closeLocked();
}

void SnmpTrafficMonitor::closeLocked() {
  if (file_) fclose(file_);
  file_ = nullptr;
}

bool SnmpTrafficMonitor::isOn() const {
  std::lock_guard<std::mutex> lock(mu_);
  return file_ != nullptr;
}

void SnmpTrafficMonitor::log(std::string_view deviceIp, std::string_view text, int direction) {
  std::lock_guard<std::mutex> lock(mu_);
  if (!file_) return;
  WallTime t = clock_.now();
  int n = fprintf(file_, "\r\n%02d:%02d:%02d %.*s %s %.*s", t.hour, t.minute, t.second,
                  static_cast<int>(deviceIp.size()), deviceIp.data(),
                  direction == 0 ? "Tx>:" : "Rx<:", static_cast<int>(text.size()), text.data());
  fflush(file_);
  if (n > 0) written_ += static_cast<uint64_t>(n);
  if (written_ > kNetworkMonitorFileMax) openLocked();
}

}  // namespace lark
