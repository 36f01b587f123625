#include "devices/modbus/modbus_frame.h"

#include "common/checksum.h"

namespace lark {

namespace {

bool IsRead(uint8_t function) { return function >= 1 && function <= 4; }

size_t ByteCountFor(uint8_t function, uint16_t quantity) {
  return function <= 2 ? (static_cast<size_t>(quantity) + 7) / 8
                       : 2 * static_cast<size_t>(quantity);
}

bool CrcMatches(CBytes frame) {
  const size_t n = frame.size();
  const uint16_t crc = Crc16Modbus(frame.first(n - 2));
  return frame[n - 2] == (crc & 0xFF) && frame[n - 1] == (crc >> 8);
}

RtuCheck Bad(const char* reason) {
  RtuCheck c;
  c.status = RtuStatus::kBad;
  c.reason = reason;
  return c;
}

RtuCheck NeedMore(size_t total) {
  RtuCheck c;
  c.length = total;
  return c;
}

}  // namespace

std::array<uint8_t, kRtuReadRequestSize> BuildReadRequest(uint8_t address, uint8_t function,
                                                          uint16_t start, uint16_t quantity) {
  std::array<uint8_t, kRtuReadRequestSize> f{address, function};
  putBe16(Bytes(f), 2, start);
  putBe16(Bytes(f), 4, quantity);
  const uint16_t crc = Crc16Modbus(CBytes(f.data(), 6));
  putU16(Bytes(f), 6, crc);
  return f;
}

std::vector<uint8_t> BuildRtuFrame(uint8_t address, CBytes pdu) {
  std::vector<uint8_t> f;
  f.reserve(pdu.size() + 3);
  f.push_back(address);
  f.insert(f.end(), pdu.begin(), pdu.end());
  const uint16_t crc = Crc16Modbus(f);
  f.push_back(static_cast<uint8_t>(crc & 0xFF));
  f.push_back(static_cast<uint8_t>(crc >> 8));
  return f;
}

RtuCheck CheckRtuAnswer(CBytes request, CBytes got) {
  if (request.size() < 6) return Bad("no request");
  if (got.size() < kRtuHeaderSize) return NeedMore(kRtuHeaderSize);
  const uint8_t asked = request[1];
  if (got[0] != request[0]) return Bad("wrong address");
  if (got[1] == (asked | 0x80)) {
    if (got.size() < 5) return NeedMore(5);
    if (!CrcMatches(got.first(5))) return Bad("bad CRC");
    RtuCheck c;
    c.status = RtuStatus::kException;
    c.length = 5;
    c.exception = got[2];
    return c;
  }
  if (got[1] != asked) return Bad("wrong function");
  size_t total = 8;
  if (IsRead(asked)) {
    const size_t n = got[2];
    if (n != ByteCountFor(asked, be16At(request, 4))) return Bad("wrong byte count");
    total = n + 5;
    if (total > kMaxRtuAnswer) return Bad("answer too long");
  } else if (asked != 5 && asked != 6) {
    return Bad("function not asked");
  }
  if (got.size() < total) return NeedMore(total);
  if (!CrcMatches(got.first(total))) return Bad("bad CRC");
  if (!IsRead(asked) && !std::equal(got.begin() + 2, got.begin() + 6, request.begin() + 2)) {
    return Bad("write echo differs");
  }
  RtuCheck c;
  c.status = RtuStatus::kComplete;
  c.length = total;
  return c;
}

int32_t RtuReadAnswer::reg(int r) const {
  if (function != 3 && function != 4) return -1;
  const long off = static_cast<long>(r) - start;
  if (off < 0 || off >= quantity || static_cast<size_t>(2 * off + 2) > data.size()) return -1;
  return be16At(data, static_cast<size_t>(2 * off));
}

bool RtuReadAnswer::input(int n) const {
  if (function != 1 && function != 2) return false;
  const long off = static_cast<long>(n) - start;
  if (off < 0 || off >= quantity || static_cast<size_t>(off / 8) >= data.size()) return false;
  return ((data[static_cast<size_t>(off / 8)] >> (off % 8)) & 1u) != 0;
}

bool ReadAnswerOf(CBytes request, CBytes answer, RtuReadAnswer* out) {
  if (request.size() < 6 || answer.size() < kRtuHeaderSize || !IsRead(request[1])) return false;
  const size_t n = answer[2];
  if (answer.size() < n + 3) return false;
  out->function = request[1];
  out->start = be16At(request, 2);
  out->quantity = be16At(request, 4);
  out->data = answer.subspan(3, n);
  return true;
}

}  // namespace lark
