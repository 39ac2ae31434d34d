#include "settings/Reg.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

#include "platform/Error.h"
#include "platform/Platform.h"

namespace sonvera {

std::int32_t LastRegResult = 0;

std::string Trim(const std::string& text) {
  auto begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return "";
  auto end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

namespace {

// Converts to a 32-bit integer as the original run time does: rounding half
// to even, and an overflow is an error.
std::int32_t ToLong(double value) {
  double rounded = std::nearbyint(value);  // default mode: half to even
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() &&
        rounded <= std::numeric_limits<std::int32_t>::max())) {
    throw platform::Error("Overflow");
  }
  return static_cast<std::int32_t>(rounded);
}

double NumberOf(const std::string& text) {
  std::string t = Trim(text);
  if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h')) {
    return static_cast<double>(static_cast<std::int32_t>(std::strtoul(t.c_str() + 2, nullptr, 16)));
  }
  if (t.size() > 2 && t[0] == '&' && (t[1] == 'O' || t[1] == 'o')) {
    return static_cast<double>(static_cast<std::int32_t>(std::strtoul(t.c_str() + 2, nullptr, 8)));
  }
  return std::strtod(t.c_str(), nullptr);
}

}  // namespace

bool IsNumericText(const std::string& text) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  std::size_t i = 0;
  if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h' || t[1] == 'O' || t[1] == 'o')) {
    bool hex = t[1] == 'H' || t[1] == 'h';
    for (i = 2; i < t.size(); ++i) {
      char c = t[i];
      bool ok = hex ? std::isxdigit(static_cast<unsigned char>(c)) : (c >= '0' && c <= '7');
      if (!ok) return false;
    }
    return true;
  }
  if (t[i] == '+' || t[i] == '-') ++i;
  bool digits = false;
  while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, digits = true;
  }
  if (!digits) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    bool exponent = false;
    while (i < t.size() && std::isdigit(static_cast<unsigned char>(t[i]))) ++i, exponent = true;
    if (!exponent) return false;
  }
  return i == t.size();
}

RegData GetRegValue(platform::HKey root, const std::string& keyPath, const std::string& valueName) {
  auto& reg = platform::GetRegistry();
  platform::HKey key = 0;
  RegData result = std::string();
  LastRegResult = reg.OpenKey(root, keyPath, &key);
  if (LastRegResult == platform::kErrorSuccess && key != 0) {
    std::uint32_t type = platform::kRegNone;
    std::uint32_t size = 0;
    LastRegResult = reg.QueryValue(key, valueName, &type, nullptr, &size);
    if (type == platform::kRegSz) {
      std::vector<std::uint8_t> buffer(size);
      LastRegResult = reg.QueryValue(key, valueName, &type, buffer.data(), &size);
      if (LastRegResult == platform::kErrorSuccess) {
        std::string text(buffer.begin(), buffer.end());
        auto nul = text.find('\0');
        result = nul == std::string::npos ? text : text.substr(0, nul);
      }
    } else if (type == platform::kRegDword) {
      std::uint8_t bytes[4] = {};
      size = 4;
      LastRegResult = reg.QueryValue(key, valueName, &type, bytes, &size);
      if (LastRegResult == platform::kErrorSuccess) {
        std::uint32_t v = bytes[0] | (bytes[1] << 8) | (bytes[2] << 16) |
                          (static_cast<std::uint32_t>(bytes[3]) << 24);
        result = static_cast<std::int32_t>(v);
      }
    }
  }
  LastRegResult = reg.CloseKey(key);
  return result;
}

std::int32_t SetRegValue(platform::HKey root, const std::string& keyPath,
                         const std::string& valueName, const RegInput& value, bool forceText) {
  bool numeric =
      std::holds_alternative<std::int64_t>(value) || std::holds_alternative<double>(value) ||
      IsNumericText(std::get_if<std::string>(&value) ? std::get<std::string>(value) : "");
  bool asText = forceText || !numeric;

  std::string text;
  std::int32_t number = 0;
  if (asText) {
    if (auto s = std::get_if<std::string>(&value)) {
      text = *s;
    } else if (auto i = std::get_if<std::int64_t>(&value)) {
      text = std::to_string(*i);
    } else {
      char buf[64];
      std::snprintf(buf, sizeof buf, "%.15g", std::get<double>(value));
      text = buf;
    }
    text = Trim(text);
  } else if (auto s = std::get_if<std::string>(&value)) {
    number = ToLong(NumberOf(*s));
  } else if (auto i = std::get_if<std::int64_t>(&value)) {
    number = ToLong(static_cast<double>(*i));
  } else {
    number = ToLong(std::get<double>(value));
  }

  auto& reg = platform::GetRegistry();
  platform::HKey key = 0;
  LastRegResult = reg.CreateKey(root, keyPath, &key);
  // A key that could not be made is the cause; the write then only fails on its handle.
  const std::int32_t created = LastRegResult;
  if (asText) {
    std::vector<std::uint8_t> data(text.begin(), text.end());
    data.push_back(0);
    LastRegResult = reg.SetValue(key, valueName, platform::kRegSz, data.data(),
                                 static_cast<std::uint32_t>(data.size()));
  } else {
    auto v = static_cast<std::uint32_t>(number);
    std::uint8_t data[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                            static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
    LastRegResult = reg.SetValue(key, valueName, platform::kRegDword, data, 4);
  }
  const std::int32_t written = created != platform::kErrorSuccess ? created : LastRegResult;
  LastRegResult = reg.CloseKey(key);
  return written;
}

void CreateRegKey(platform::HKey root, const std::string& keyPath) {
  auto& reg = platform::GetRegistry();
  platform::HKey key = 0;
  LastRegResult = reg.CreateKey(root, keyPath, &key);
  LastRegResult = reg.CloseKey(key);
}

std::string RegDataText(const RegData& data) {
  if (auto s = std::get_if<std::string>(&data)) return *s;
  return std::to_string(std::get<std::int32_t>(data));
}

}  // namespace sonvera
