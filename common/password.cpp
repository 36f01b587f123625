#include "common/password.h"

#include <array>
#include <cstdint>

namespace lark {

namespace {

// Character -> 6-bit value, -1 outside the alphabet.
constexpr std::array<int8_t, 256> MakeValues() {
  std::array<int8_t, 256> v{};
  for (auto& x : v) x = -1;
  for (size_t i = 0; i < kPasswordAlphabet.size(); ++i) {
    v[static_cast<unsigned char>(kPasswordAlphabet[i])] = static_cast<int8_t>(i);
  }
  return v;
}
constexpr std::array<int8_t, 256> kValues = MakeValues();

}  // namespace

std::string EncodePassword(std::string_view plain) {
  std::string out;
  out.reserve((plain.size() + 2) / 3 * 4);
  for (size_t i = 0; i < plain.size(); i += 3) {
    uint32_t n = 0;
    for (size_t k = 0; k < 3 && i + k < plain.size(); ++k) {
      n |= static_cast<uint32_t>(static_cast<unsigned char>(plain[i + k])) << (8 * k);
    }
    for (int k = 0; k < 4; ++k) out += kPasswordAlphabet[(n >> (6 * k)) & 63];
  }
  return out;
}

std::optional<std::string> DecodePasswordBytes(std::string_view encoded) {
  if (encoded.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(encoded.size() / 4 * 3);
  for (size_t i = 0; i < encoded.size(); i += 4) {
    uint32_t n = 0;
    for (size_t k = 0; k < 4; ++k) {
      int8_t d = kValues[static_cast<unsigned char>(encoded[i + k])];
      if (d < 0) return std::nullopt;
      n |= static_cast<uint32_t>(d) << (6 * k);
    }
    for (int k = 0; k < 3; ++k) out += static_cast<char>((n >> (8 * k)) & 0xFF);
  }
  return out;
}

std::optional<std::string> DecodePassword(std::string_view encoded) {
  auto bytes = DecodePasswordBytes(encoded);
  if (!bytes) return std::nullopt;
  size_t zero = bytes->find('\0');
  if (zero != std::string::npos) bytes->resize(zero);
  return bytes;
}

}  // namespace lark
