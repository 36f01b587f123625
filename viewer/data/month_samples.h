// A month's samples as the viewer keeps them: a sample parsed into a
// PlotSample, then packed. Each sample keeps its time as seconds from the
// month's start, and its values as the difference to the same value of the
// sample before, zigzag-coded in 7-bit groups, so a value that moves slowly
// takes one byte. Read in order (the graph and the export walk the month
// from its start); a sample's time is also at hand by its index.
#pragma once
#include <array>
#include <cstdint>
#include <iterator>
#include <vector>

namespace lark {

inline constexpr int kMaxHistoryValues = 56;
inline constexpr int32_t kLinkLostValue = 10000;

struct PlotSample {
  uint8_t day = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
  std::array<int32_t, kMaxHistoryValues> values{};
  // Seconds from the start of day 0 of the month.
  int64_t stamp() const { return day * 86400LL + hour * 3600LL + minute * 60LL + second; }
  bool linkLost() const { return values[0] == kLinkLostValue; }
};

class MonthSamples {
 public:
  // Samples of `valueCount` values each (later ones read -1), none kept yet.
  explicit MonthSamples(int valueCount = kMaxHistoryValues) { reset(valueCount); }
  void reset(int valueCount);
  void push(const PlotSample& s);
  // Gives back what growing left unused, once the last sample is in.
  void shrink();

  size_t size() const { return stamps_.size(); }
  bool empty() const { return stamps_.empty(); }
  int64_t stamp(size_t i) const { return stamps_[i]; }
  // Bytes held, for the benchmark's per-sample figure.
  size_t heapBytes() const {
    return stamps_.capacity() * sizeof(uint32_t) + packed_.capacity();
  }

  // Unpacks the samples one after the other from the first.
  class Reader {
   public:
    explicit Reader(const MonthSamples& m) : m_(&m) { last_.fill(-1); }
    // The next sample into `out`; false after the last.
    bool next(PlotSample& out);

   private:
    const MonthSamples* m_;
    size_t index_ = 0;
    size_t at_ = 0;  // in packed_
    std::array<int32_t, kMaxHistoryValues> last_;
  };

  // For range-for: each sample unpacked in turn, valid until the next step.
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = PlotSample;
    using difference_type = std::ptrdiff_t;
    using pointer = const PlotSample*;
    using reference = const PlotSample&;
    Iterator(const MonthSamples& m, bool atEnd);
    reference operator*() const { return sample_; }
    pointer operator->() const { return &sample_; }
    Iterator& operator++();
    bool operator==(const Iterator& o) const { return index_ == o.index_; }

   private:
    Reader reader_;
    PlotSample sample_;
    size_t index_;
  };
  Iterator begin() const { return Iterator(*this, false); }
  Iterator end() const { return Iterator(*this, true); }

 private:
  int count_ = 0;                                // values packed per sample
  std::vector<uint32_t> stamps_;                 // seconds from the month's start
  std::vector<uint8_t> packed_;                  // count_ coded differences per sample
  std::array<int32_t, kMaxHistoryValues> last_;  // values of the last sample pushed
};

}  // namespace lark
