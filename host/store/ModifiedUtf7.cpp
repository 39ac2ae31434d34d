#include "host/store/ModifiedUtf7.h"

#include <glib.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

namespace mailhost {
namespace {

constexpr char kShift = '&';
constexpr char kUnshift = '-';
constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+,";

bool StandsForItself(std::uint32_t c) {
  return c >= 0x20 && c <= 0x7e;
}

struct GFree {
  void operator()(void* p) const { g_free(p); }
};

// Appends the base64 of the UTF-16 units, big-endian, without padding.
void AppendShifted(const gunichar2* units, std::size_t size, std::string& out) {
  out += kShift;
  std::uint32_t bits = 0;
  int count = 0;
  for (std::size_t i = 0; i < size; ++i) {
    bits = (bits << 16) | units[i];
    count += 16;
    while (count >= 6) {
      count -= 6;
      out += kAlphabet[(bits >> count) & 0x3f];
    }
  }
  if (count > 0) out += kAlphabet[(bits << (6 - count)) & 0x3f];
  out += kUnshift;
}

}  // namespace

std::optional<std::string> DecodeModifiedUtf7(std::string_view encoded) {
  std::string out;
  bool afterShift = false;
  for (std::size_t at = 0; at < encoded.size();) {
    const auto c = static_cast<unsigned char>(encoded[at]);
    if (c != kShift) {
      if (!StandsForItself(c)) return std::nullopt;
      out += static_cast<char>(c);
      ++at;
      afterShift = false;
      continue;
    }
    const auto end = encoded.find(kUnshift, at + 1);
    if (end == std::string_view::npos) return std::nullopt;
    if (end == at + 1) {
      out += kShift;
      at = end + 1;
      afterShift = false;
      continue;
    }
    // One character takes one shift: "&AMQ-&AMQ-" is not how "ÄÄ" is written.
    if (afterShift) return std::nullopt;
    std::vector<gunichar2> units;
    std::uint32_t bits = 0;
    int count = 0;
    for (std::size_t i = at + 1; i < end; ++i) {
      const auto value = kAlphabet.find(encoded[i]);
      if (value == std::string_view::npos) return std::nullopt;
      bits = ((bits << 6) | static_cast<std::uint32_t>(value)) & 0x3fffff;
      count += 6;
      if (count >= 16) {
        count -= 16;
        units.push_back(static_cast<gunichar2>((bits >> count) & 0xffff));
      }
    }
    // What is left is padding: fewer than six bits, all zero.
    if (count >= 6 || (bits & ((1u << count) - 1)) != 0) return std::nullopt;
    if (std::any_of(units.begin(), units.end(),
                    [](gunichar2 unit) { return unit == 0 || StandsForItself(unit); }))
      return std::nullopt;
    std::unique_ptr<gchar, GFree> utf8(
        g_utf16_to_utf8(units.data(), static_cast<glong>(units.size()), nullptr, nullptr, nullptr));
    if (!utf8) return std::nullopt;  // a broken surrogate pair
    out += utf8.get();
    at = end + 1;
    afterShift = true;
  }
  return out;
}

std::optional<std::string> EncodeModifiedUtf7(std::string_view text) {
  const gchar* p = text.data();
  const gchar* end = p + text.size();
  if (!g_utf8_validate(p, static_cast<gssize>(text.size()), nullptr)) return std::nullopt;
  std::string out;
  while (p < end) {
    const gunichar c = g_utf8_get_char(p);
    if (StandsForItself(c)) {
      out += static_cast<char>(c);
      if (c == static_cast<gunichar>(kShift)) out += kUnshift;
      p = g_utf8_next_char(p);
      continue;
    }
    const gchar* run = p;
    while (p < end && !StandsForItself(g_utf8_get_char(p))) p = g_utf8_next_char(p);
    glong count = 0;
    std::unique_ptr<gunichar2, GFree> units(
        g_utf8_to_utf16(run, static_cast<glong>(p - run), nullptr, &count, nullptr));
    if (!units) return std::nullopt;
    AppendShifted(units.get(), static_cast<std::size_t>(count), out);
  }
  return out;
}

}  // namespace mailhost
