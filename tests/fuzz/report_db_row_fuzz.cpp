// Database answers as the report reads them: the first byte picks the
// event or the history select, the rest is the answer's text. Rows of
// another device or day are dropped; kept rows are real dates in range.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/device_node.h"
#include "records/report_readers.h"

namespace {

class Answer final : public lark::ReportDatabase {
 public:
  explicit Answer(std::string text) : text_(std::move(text)) {}
  std::optional<std::string> selectEvents(const lark::ReportDevice&,
                                          const lark::ReportPeriod&) override {
    return text_;
  }
  std::optional<std::string> selectHistoryDay(const lark::ReportDevice&,
                                              const lark::ReportDate&) override {
    return text_;
  }

 private:
  std::string text_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace lark;
  if (size < 1) return 0;
  Answer db(std::string(reinterpret_cast<const char*>(data + 1), size - 1));
  DatabaseReportSource source(db);
  const ReportDevice device{7, "d", kNodeSnmp, 0, kMibMakerUps};
  const ReportPeriod period{{2024, 2, 28}, {2024, 3, 1}};
  if (data[0] & 1) {
    for (const EventRecord& e : source.events(device, period)) {
      if (e.number != 7 || !InReportPeriod(period, e.year, e.month, e.day)) abort();
    }
  } else {
    source.historyRows(device, period, 48, [&](const HistoryRow& r) {
      if (!InReportPeriod(period, r.year, r.month, r.day) || r.values.size() != 48) abort();
    });
    ReadHistoryStats(source, device, period);
  }
  return 0;
}
