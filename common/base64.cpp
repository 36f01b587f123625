#include "common/base64.h"

#include <cstdint>

namespace lark {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int SextetOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string Base64Encode(std::string_view in) {
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  for (size_t i = 0; i < in.size(); i += 3) {
    size_t left = in.size() - i;
    uint32_t v = static_cast<uint32_t>(static_cast<uint8_t>(in[i])) << 16;
    if (left > 1) v |= static_cast<uint32_t>(static_cast<uint8_t>(in[i + 1])) << 8;
    if (left > 2) v |= static_cast<uint8_t>(in[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += left > 1 ? kAlphabet[(v >> 6) & 63] : '=';
    out += left > 2 ? kAlphabet[v & 63] : '=';
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string* out, size_t capacity) {
  out->clear();
  uint32_t v = 0;
  int have = 0;  // sextets in the quartet so far
  auto fail = [out] {
    out->clear();
    return false;
  };
  for (char c : text) {
    if (c == '=') {
      // Padding ends the quartet: two sextets give one byte, three give two.
      if (have < 2) {
        if (have == 0) continue;  // padding after a whole quartet
        return fail();
      }
      size_t bytes = static_cast<size_t>(have - 1);
      if (out->size() + bytes > capacity) return fail();
      v <<= 6 * (4 - have);
      out->push_back(static_cast<char>(v >> 16));
      if (bytes == 2) out->push_back(static_cast<char>(v >> 8));
      v = 0;
      have = 0;
      continue;
    }
    int s = SextetOf(c);
    if (s < 0) continue;
    v = (v << 6) | static_cast<uint32_t>(s);
    if (++have == 4) {
      if (out->size() + 3 > capacity) return fail();
      out->push_back(static_cast<char>(v >> 16));
      out->push_back(static_cast<char>(v >> 8));
      out->push_back(static_cast<char>(v));
      v = 0;
      have = 0;
    }
  }
  if (have != 0) return fail();
  return true;
}

}  // namespace lark
