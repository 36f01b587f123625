#include "common/sms_pdu.h"

#include <algorithm>
#include <cstdio>

namespace lark {

bool IsValidSmsNumber(std::string_view number) {
  if (!number.empty() && number[0] == '+') number.remove_prefix(1);
  if (number.empty() || number.size() > kSmsMaxNumberDigits) return false;
  for (char c : number) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  std::u16string out;
  size_t i = 0;
  while (i < text.size()) {
    auto b = static_cast<uint8_t>(text[i]);
    size_t need = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : 4;
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (need == 0) {
      cp = b;
    } else if (need <= 3 && need <= text.size() - i - 1) {
      uint32_t v = b & (0x3Fu >> need);
      bool ok = true;
      for (size_t k = 1; k <= need; ++k) {
        auto c = static_cast<uint8_t>(text[i + k]);
        if ((c & 0xC0) != 0x80) ok = false;
        v = (v << 6) | (c & 0x3Fu);
      }
      if (ok && v >= kMin[need] && v <= 0x10FFFF && !(v >= 0xD800 && v <= 0xDFFF)) {
        cp = v;
        len = need + 1;
      }
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

bool NeedsPduMode(std::string_view text) {
  for (char c : text) {
    auto u = static_cast<uint8_t>(c);
    if (c != '\n' && (u < 0x20 || u > 0x7E)) return true;
  }
  return false;
}

namespace {

void Hex(std::string& out, uint32_t octet) {
  char buf[4];
  std::snprintf(buf, sizeof buf, "%02X", octet & 0xFFu);
  out += buf;
}

}  // namespace

std::vector<SmsPdu> EncodeSmsPdu(std::string_view number, std::string_view text, uint8_t ref) {
  std::string address;
  bool international = !number.empty() && number[0] == '+';
  if (international) number.remove_prefix(1);
  Hex(address, static_cast<uint32_t>(number.size()));
  address += international ? "91" : "81";
  for (size_t i = 0; i < number.size(); i += 2) {
    address += i + 1 < number.size() ? number[i + 1] : 'F';
    address += number[i];
  }

  std::u16string units = Utf8ToUtf16(text);
  std::vector<std::u16string> parts;
  if (units.size() <= kSmsSingleUnits) {
    parts.push_back(units);
  } else {
    for (size_t at = 0; at < units.size() && parts.size() < kSmsMaxParts;) {
      size_t n = std::min(kSmsPartUnits, units.size() - at);
      // A surrogate pair stays in one part.
      if (at + n < units.size() && units[at + n - 1] >= 0xD800 && units[at + n - 1] <= 0xDBFF) --n;
      parts.push_back(units.substr(at, n));
      at += n;
    }
  }
  const bool linked = parts.size() > 1;
  std::vector<SmsPdu> out;
  for (size_t p = 0; p < parts.size(); ++p) {
    std::string hex = linked ? "007100" : "003100";
    hex += address;
    hex += "0008A7";
    std::string data;
    if (linked) {
      data += "050003";
      Hex(data, ref);
      Hex(data, static_cast<uint32_t>(parts.size()));
      Hex(data, static_cast<uint32_t>(p + 1));
    }
    for (char16_t u : parts[p]) {
      Hex(data, static_cast<uint32_t>(u) >> 8);
      Hex(data, u);
    }
    Hex(hex, static_cast<uint32_t>(data.size() / 2));
    hex += data;
    out.push_back(SmsPdu{hex, static_cast<int>(hex.size() / 2 - 1)});
  }
  return out;
}

}  // namespace lark
