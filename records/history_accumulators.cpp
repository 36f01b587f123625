#include "records/history_accumulators.h"

#include <unistd.h>

#include <cstdio>

#include "platform/paths.h"
#include "records/history_files.h"

namespace lark {

namespace {

bool IsToday(const AccRecord& r, const WallTime& today) {
  return r.year == today.year && r.month == today.month && r.day == today.day;
}

AccRecord Stamped(AccRecord r, const WallTime& today) {
  r.year = static_cast<uint16_t>(today.year);
  r.month = static_cast<uint16_t>(today.month);
  r.day = static_cast<uint16_t>(today.day);
  return r;
}

// The binary file, open for reading and writing, cut back to whole records.
class AccFile {
 public:
  AccFile(const std::string& path, HistoryAccumulator kind)
      : kind_(kind), recordSize_(AccRecordSize(kind)) {
    fd_ = OpenCreatingFolders(path);
    if (fd_ < 0) return;
    const off_t size = lseek(fd_, 0, SEEK_END);
    const off_t whole = size < 0 ? -1 : size - size % static_cast<off_t>(recordSize_);
    if (whole < 0 || (whole != size && ftruncate(fd_, whole) != 0)) {
      close(fd_);
      fd_ = -1;
      return;
    }
    count_ = static_cast<size_t>(whole) / recordSize_;
  }
  ~AccFile() {
    if (fd_ >= 0) close(fd_);
  }
  AccFile(const AccFile&) = delete;
  AccFile& operator=(const AccFile&) = delete;

  bool ok() const { return fd_ >= 0; }
  size_t count() const { return count_; }
  std::optional<AccRecord> at(size_t index) const {
    std::array<uint8_t, kInverterAccRecordSize> buf{};
    const off_t off = static_cast<off_t>(index * recordSize_);
    if (index >= count_ ||
        pread(fd_, buf.data(), recordSize_, off) != static_cast<ssize_t>(recordSize_)) {
      return std::nullopt;
    }
    return DecodeAccRecord(CBytes(buf.data(), recordSize_), kind_);
  }
  std::optional<AccRecord> last() const { return count_ == 0 ? std::nullopt : at(count_ - 1); }
  // One write per record, so a crash leaves a whole record or a cut one.
  bool put(size_t index, const AccRecord& r) {
    std::array<uint8_t, kInverterAccRecordSize> buf{};
    EncodeAccRecord(r, kind_, Bytes(buf.data(), recordSize_));
    const off_t off = static_cast<off_t>(index * recordSize_);
    if (pwrite(fd_, buf.data(), recordSize_, off) != static_cast<ssize_t>(recordSize_))
      return false;
    if (index == count_) ++count_;
    return true;
  }
  bool append(const AccRecord& r) { return put(count_, r); }
  bool replaceLast(const AccRecord& r) { return count_ > 0 && put(count_ - 1, r); }

 private:
  HistoryAccumulator kind_;
  size_t recordSize_;
  int fd_ = -1;
  size_t count_ = 0;  // whole records in the file
};

}  // namespace

size_t AccRecordSize(HistoryAccumulator kind) {
  return kind == HistoryAccumulator::kSensor ? kSensorAccRecordSize : kInverterAccRecordSize;
}

int AccValueCount(HistoryAccumulator kind) {
  return kind == HistoryAccumulator::kSensor ? kSensorAccValues : kInverterAccValues;
}

void EncodeAccRecord(const AccRecord& r, HistoryAccumulator kind, Bytes out) {
  putU16(out, acc_off::kYear, r.year);
  putU16(out, acc_off::kMonth, r.month);
  putU16(out, acc_off::kDay, r.day);
  putU16(out, acc_off::kPadding, 0);
  for (int i = 0; i < AccValueCount(kind); ++i) {
    putI32(out, acc_off::kValues + 4 * static_cast<size_t>(i), r.values[static_cast<size_t>(i)]);
  }
}

AccRecord DecodeAccRecord(CBytes in, HistoryAccumulator kind) {
  AccRecord r;
  r.year = u16At(in, acc_off::kYear);
  r.month = u16At(in, acc_off::kMonth);
  r.day = u16At(in, acc_off::kDay);
  for (int i = 0; i < AccValueCount(kind); ++i) {
    r.values[static_cast<size_t>(i)] = i32At(in, acc_off::kValues + 4 * static_cast<size_t>(i));
  }
  return r;
}

std::string AccTwinLine(const AccRecord& r, HistoryAccumulator kind) {
  char date[32];
  snprintf(date, sizeof date, "%04u/%02u/%02u", unsigned{r.year}, unsigned{r.month},
           unsigned{r.day});
  std::string line = date;
  for (int i = 0; i < AccValueCount(kind); ++i) {
    line += ',';
    line += std::to_string(r.values[static_cast<size_t>(i)]);
  }
  return line;
}

AccPaths AccumulatorPaths(std::string_view historyDir, std::string_view mapName, int id,
                          HistoryAccumulator kind) {
  const char* stem = kind == HistoryAccumulator::kSensor ? "AccSensor_" : "AccInverter_";
  AccPaths p;
  p.file = JoinPath(JoinPath(ToSlash(historyDir), mapName), stem + std::to_string(id) + ".DAT");
  p.twin = p.file + ".txt";
  return p;
}

void UpdateInverterAccumulator(const AccPaths& paths, const WallTime& today,
                               const std::array<int32_t, kInverterAccValues>& live,
                               bool fillAllowed) {
  constexpr auto kKind = HistoryAccumulator::kInverter;
  AccFile file(paths.file, kKind);
  if (!file.ok()) return;
  // A negative live slot keeps the record's value.
  auto fill = [&](AccRecord& r) {
    bool copied = false;
    for (size_t i = 0; fillAllowed && i < live.size(); ++i) {
      if (live[i] >= 0) {
        r.values[i] = live[i];
        copied = true;
      }
    }
    return copied;
  };
  std::optional<AccRecord> last = file.last();
  if (!last) {
    AccRecord r;
    if (fill(r)) file.append(Stamped(r, today));
  } else if (IsToday(*last, today)) {
    if (fill(*last)) file.replaceLast(Stamped(*last, today));
  } else {
    if (!AppendHistoryLine(paths.twin, AccTwinLine(*last, kKind))) return;
    file.append(Stamped(AccRecord{}, today));
  }
}

std::optional<int32_t> UpdateSensorAccumulator(const AccPaths& paths, const WallTime& today,
                                               int32_t liveTotal, bool snmp) {
  constexpr auto kKind = HistoryAccumulator::kSensor;
  AccFile file(paths.file, kKind);
  if (!file.ok()) return std::nullopt;
  if (!FileExists(paths.twin)) {
    // Rebuilt from the finished days: the last record reaches the twin at
    // its day change (below, or at a later sample).
    std::string text;
    for (size_t i = 0; i + 1 < file.count(); ++i) {
      if (std::optional<AccRecord> r = file.at(i)) text += AccTwinLine(*r, kKind) + "\r\n";
    }
    if (!WriteFileAtomic(paths.twin, text)) return std::nullopt;
  }
  std::optional<AccRecord> last = file.last();
  if (!last) {
    AccRecord r;
    if (liveTotal >= 0 || snmp) r.values[0] = liveTotal;
    file.append(Stamped(r, today));
    return std::nullopt;
  }
  if (!IsToday(*last, today)) {
    if (AppendHistoryLine(paths.twin, AccTwinLine(*last, kKind))) {
      file.append(Stamped(AccRecord{}, today));
    }
    return std::nullopt;
  }
  if (liveTotal < 0) return std::nullopt;
  if (last->values[0] <= liveTotal) {
    last->values[0] = liveTotal;
    file.replaceLast(*last);
    return std::nullopt;
  }
  return last->values[0];
}

}  // namespace lark
