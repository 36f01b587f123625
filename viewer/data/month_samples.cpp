#include "viewer/data/month_samples.h"

#include <algorithm>

namespace lark {

namespace {

// Differences of two 32-bit values need 33 bits: at most 5 groups of 7.
void PutDifference(std::vector<uint8_t>& out, int64_t d) {
  uint64_t z = (static_cast<uint64_t>(d) << 1) ^ static_cast<uint64_t>(d >> 63);
  while (z >= 0x80) {
    out.push_back(static_cast<uint8_t>(z | 0x80));
    z >>= 7;
  }
  out.push_back(static_cast<uint8_t>(z));
}

int64_t GetDifference(const std::vector<uint8_t>& in, size_t& at) {
  uint64_t z = 0;
  for (int shift = 0; at < in.size() && shift < 64; shift += 7) {
    const uint8_t b = in[at++];
    z |= static_cast<uint64_t>(b & 0x7F) << shift;
    if ((b & 0x80) == 0) break;
  }
  return static_cast<int64_t>(z >> 1) ^ -static_cast<int64_t>(z & 1);
}

}  // namespace

void MonthSamples::reset(int valueCount) {
  count_ = std::clamp(valueCount, 0, kMaxHistoryValues);
  stamps_.clear();
  packed_.clear();
  last_.fill(-1);
}

void MonthSamples::push(const PlotSample& s) {
  stamps_.push_back(static_cast<uint32_t>(s.stamp()));
  for (size_t i = 0; i < static_cast<size_t>(count_); ++i) {
    PutDifference(packed_, int64_t{s.values[i]} - last_[i]);
    last_[i] = s.values[i];
  }
}

void MonthSamples::shrink() {
  stamps_.shrink_to_fit();
  packed_.shrink_to_fit();
}

bool MonthSamples::Reader::next(PlotSample& out) {
  if (index_ >= m_->stamps_.size()) return false;
  const uint32_t t = m_->stamps_[index_++];
  out.day = static_cast<uint8_t>(t / 86400);
  out.hour = static_cast<uint8_t>(t / 3600 % 24);
  out.minute = static_cast<uint8_t>(t / 60 % 60);
  out.second = static_cast<uint8_t>(t % 60);
  for (size_t i = 0; i < static_cast<size_t>(m_->count_); ++i) {
    last_[i] = static_cast<int32_t>(last_[i] + GetDifference(m_->packed_, at_));
    out.values[i] = last_[i];
  }
  std::fill(out.values.begin() + m_->count_, out.values.end(), -1);
  return true;
}

MonthSamples::Iterator::Iterator(const MonthSamples& m, bool atEnd)
    : reader_(m), index_(atEnd ? m.size() : 0) {
  if (!atEnd) reader_.next(sample_);
}

MonthSamples::Iterator& MonthSamples::Iterator::operator++() {
  ++index_;
  reader_.next(sample_);
  return *this;
}

}  // namespace lark
