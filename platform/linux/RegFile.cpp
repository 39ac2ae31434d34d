#include "platform/linux/RegFile.h"

#include <cstdint>
#include <cstdio>
#include <vector>

namespace platform {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeaderAnsi = "REGEDIT4";
constexpr std::size_t kHexLineWidth = 77;  // where an export wraps its hex lists

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view Trim(std::string_view text) {
  text = TrimLeft(text);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         RegistryTree::Lower(text.substr(0, prefix.size())) == prefix;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHex32(std::string_view text, std::uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t result = 0;
  for (char c : text) {
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    result = result << 4 | static_cast<std::uint32_t>(digit);
  }
  *value = result;
  return true;
}

void AppendUtf8(std::uint32_t code, std::string* out) {
  if (code < 0x80) {
    out->push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out->push_back(static_cast<char>(0xC0 | code >> 6));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | code >> 12));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | code >> 18));
    out->push_back(static_cast<char>(0x80 | (code >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

// Little-endian UTF-16 (even length) to UTF-8; a lone surrogate becomes U+FFFD,
// as the desktop system's conversion does.
std::string Utf16ToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[i]) |
                                      static_cast<std::uint8_t>(bytes[i + 1]) << 8);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    std::uint32_t code = unit(i);
    if (code >= 0xD800 && code < 0xDC00 && i + 3 < bytes.size()) {
      const std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (code >= 0xD800 && code < 0xE000) code = 0xFFFD;
    AppendUtf8(code, &out);
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<std::uint8_t>(text[i]);
    std::size_t extra;
    std::uint32_t code;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c < 0xE0) {
      extra = 1;
      code = c & 0x1F;
    } else if (c >= 0xE0 && c < 0xF0) {
      extra = 2;
      code = c & 0x0F;
    } else if (c >= 0xF0 && c < 0xF5) {
      extra = 3;
      code = c & 0x07;
    } else {
      return false;
    }
    if (i + extra >= text.size()) return false;
    for (std::size_t k = 1; k <= extra; ++k) {
      const auto next = static_cast<std::uint8_t>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF.
    if ((extra == 2 && code < 0x800) || (extra == 3 && code < 0x10000) || code > 0x10FFFF ||
        (code >= 0xD800 && code < 0xE000)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

class Parser {
 public:
  Parser(std::string_view text, bool wide, RegistryTree* tree)
      : m_text(text), m_wide(wide), m_tree(tree) {
    std::size_t start = 0;
    while (start <= m_text.size()) {
      std::size_t end = m_text.find('\n', start);
      if (end == std::string_view::npos) end = m_text.size();
      std::string_view line = m_text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      m_lines.push_back(line);
      start = end + 1;
    }
  }

  void Run(std::vector<RegFileProblem>* problems) {
    m_problems = problems;
    std::size_t i = 0;
    while (i < m_lines.size() && Trim(m_lines[i]).empty()) ++i;
    if (i == m_lines.size()) return;  // an empty file is an empty registry
    const std::string_view header = Trim(m_lines[i]);
    m_line = i;
    if (header == kHeader || header == kHeaderAnsi) {
      ++m_line;
    } else {
      // Without its header the importer refuses the file; the lines after a
      // damaged first line are still the user's settings.
      Skip(i, "no registry file header");
      if (header.front() != '[') ++m_line;
    }
    for (; m_line < m_lines.size(); ++m_line) {
      const std::size_t first = m_line;
      const std::string_view line = Trim(m_lines[m_line]);
      if (line.empty() || line.front() == ';') continue;
      const char* problem = nullptr;
      if (line.front() == '[') {
        problem = Section(line);
        if (problem) {
          m_key = nullptr;
          m_inSection = true;
          m_keySkipped = true;
        }
      } else if (line.front() == '"' || line.front() == '@') {
        problem = m_keySkipped ? "value of a key line that was skipped" : ValueLine(line);
        // A skipped hex list takes its continuation lines with it.
        while (problem && m_line + 1 < m_lines.size() && !Trim(m_lines[m_line]).empty() &&
               Trim(m_lines[m_line]).back() == '\\') {
          ++m_line;
        }
      } else {
        problem = "neither a key nor a value";
      }
      if (problem) Skip(first, problem);
    }
  }

  bool Clean() const { return m_clean; }

 private:
  void Skip(std::size_t line, const char* problem) {
    m_clean = false;
    if (!m_problems) return;
    std::string_view text = Trim(m_lines[line]);
    if (text.size() > kProblemTextLimit) {
      std::size_t cut = kProblemTextLimit;
      // Never in the middle of a UTF-8 sequence.
      while (cut > 0 && (static_cast<std::uint8_t>(text[cut]) & 0xC0) == 0x80) --cut;
      text = text.substr(0, cut);
    }
    m_problems->push_back({line + 1, std::string(text), problem});
  }

  const char* Section(std::string_view line) {
    if (line.size() < 2 || line.back() != ']') return "key line without closing ']'";
    std::string_view inner = line.substr(1, line.size() - 2);
    const bool remove = !inner.empty() && inner.front() == '-';
    if (remove) inner.remove_prefix(1);
    if (!RegistryTree::ValidName(inner)) return "control character in key name";
    const std::size_t split = inner.find('\\');
    HKey root;
    if (!RegistryTree::RootFromName(inner.substr(0, split), &root)) return "unknown root key";
    const std::string_view path =
        split == std::string_view::npos ? std::string_view() : inner.substr(split + 1);
    m_key = nullptr;
    m_inSection = true;
    m_keySkipped = false;
    if (remove) {
      m_tree->DeletePath(root, path);
      return nullptr;
    }
    if (m_tree->CreatePath(root, path, &m_key) != kErrorSuccess) return "bad key path";
    return nullptr;
  }

  // Reads a quoted string at the start of *rest, leaving *rest after it.
  static bool Quoted(std::string_view* rest, std::string* out) {
    std::string_view text = *rest;
    if (text.empty() || text.front() != '"') return false;
    for (std::size_t i = 1; i < text.size(); ++i) {
      const char c = text[i];
      if (c == '"') {
        *rest = text.substr(i + 1);
        return true;
      }
      // Only \\ and \" are escapes; any other backslash is itself.
      if (c == '\\' && i + 1 < text.size() && (text[i + 1] == '\\' || text[i + 1] == '"')) {
        out->push_back(text[++i]);
      } else {
        out->push_back(c);
      }
    }
    return false;
  }

  const char* ValueLine(std::string_view line) {
    if (!m_inSection) return "value outside any key";
    RegValue value;
    std::string_view rest = line;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else if (!Quoted(&rest, &value.name)) {
      return "value name without closing quote";
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') return "value without '='";
    rest = TrimLeft(rest.substr(1));
    if (rest == "-") {
      if (m_key) m_tree->RemoveValue(m_key, value.name);
      return nullptr;
    }
    if (const char* problem = ValueData(rest, &value)) return problem;
    if (!m_key) return nullptr;  // values of a removed key are dropped
    if (m_tree->PutValue(m_key, std::move(value)) != kErrorSuccess) {
      return "control character in value name";
    }
    return nullptr;
  }

  const char* ValueData(std::string_view rest, RegValue* value) {
    if (!rest.empty() && rest.front() == '"') {
      std::string text;
      if (!Quoted(&rest, &text)) return "string without closing quote";
      if (!Trim(rest).empty()) return "text after the closing quote";
      value->type = kRegSz;
      value->data.assign(text.begin(), text.end());
      value->data.push_back(0);
      return nullptr;
    }
    if (StartsWithNoCase(rest, "dword:")) {
      std::uint32_t number;
      if (!ParseHex32(Trim(rest.substr(6)), &number)) return "bad dword";
      value->type = kRegDword;
      for (int shift = 0; shift < 32; shift += 8) {
        value->data.push_back(static_cast<std::uint8_t>(number >> shift));
      }
      return nullptr;
    }
    if (StartsWithNoCase(rest, "hex:")) {
      value->type = kRegBinary;
      rest.remove_prefix(4);
    } else if (StartsWithNoCase(rest, "hex(")) {
      const std::size_t close = rest.find("):");
      if (close == std::string_view::npos || !ParseHex32(rest.substr(4, close - 4), &value->type)) {
        return "bad hex type";
      }
      rest.remove_prefix(close + 2);
    } else {
      return "unknown value data";
    }
    if (const char* problem = HexList(rest, &value->data)) return problem;
    const bool text =
        value->type == kRegSz || value->type == kRegExpandSz || value->type == kRegMultiSz;
    if (m_wide && text && value->data.size() % 2 == 0) {
      const std::string utf8 = Utf16ToUtf8(
          std::string_view(reinterpret_cast<const char*>(value->data.data()), value->data.size()));
      value->data.assign(utf8.begin(), utf8.end());
    }
    return nullptr;
  }

  // A comma-separated byte list that may go on over lines ending in '\'.
  const char* HexList(std::string_view first, std::vector<std::uint8_t>* data) {
    std::string list(Trim(first));
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      if (m_line + 1 >= m_lines.size()) break;
      list += Trim(m_lines[++m_line]);
    }
    std::size_t start = 0;
    while (start < list.size()) {
      std::size_t end = list.find(',', start);
      if (end == std::string::npos) end = list.size();
      const std::string_view item = Trim(std::string_view(list).substr(start, end - start));
      std::uint32_t byte;
      if (item.size() > 2 || !ParseHex32(item, &byte)) return "bad hex byte";
      data->push_back(static_cast<std::uint8_t>(byte));
      start = end + 1;
    }
    return nullptr;
  }

  std::string_view m_text;
  bool m_wide;
  RegistryTree* m_tree;
  std::vector<std::string_view> m_lines;
  std::size_t m_line = 0;
  RegistryTree::Key* m_key = nullptr;
  bool m_inSection = false;
  bool m_keySkipped = false;  // the last key line was skipped
  bool m_clean = true;
  std::vector<RegFileProblem>* m_problems = nullptr;
};

std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

bool PlainString(const std::vector<std::uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size() - 1);
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
         IsUtf8(text);
}

void WriteHexList(std::string line, const std::vector<std::uint8_t>& data, std::string* out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  bool itemOnLine = false;
  for (std::size_t i = 0; i < data.size(); ++i) {
    if (itemOnLine && line.size() + 3 > kHexLineWidth) {
      *out += line;
      *out += "\\\n";
      line = "  ";
    }
    line.push_back(kDigits[data[i] >> 4]);
    line.push_back(kDigits[data[i] & 0xF]);
    if (i + 1 < data.size()) line.push_back(',');
    itemOnLine = true;
  }
  *out += line;
  out->push_back('\n');
}

void WriteValue(const RegValue& value, std::string* out) {
  std::string line = value.name.empty() ? "@=" : "\"" + Escape(value.name) + "\"=";
  if (value.type == kRegSz && PlainString(value.data)) {
    const std::string_view text(reinterpret_cast<const char*>(value.data.data()),
                                value.data.size() - 1);
    *out += line + "\"" + Escape(text) + "\"\n";
  } else if (value.type == kRegDword && value.data.size() == 4) {
    char digits[9];
    const std::uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                                 static_cast<std::uint32_t>(value.data[3]) << 24;
    std::snprintf(digits, sizeof digits, "%08x", number);
    *out += line + "dword:" + digits + "\n";
  } else {
    char prefix[20];
    if (value.type == kRegBinary) {
      std::snprintf(prefix, sizeof prefix, "hex:");
    } else {
      std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
    }
    WriteHexList(line + prefix, value.data, out);
  }
}

void WriteKey(const RegistryTree::Key& key, const std::string& path, bool isRoot,
              std::string* out) {
  if (!isRoot || !key.values.empty()) {
    *out += "[" + path + "]\n";
    for (const auto& [lower, value] : key.values) WriteValue(value, out);
    out->push_back('\n');
  }
  for (const auto& [lower, subkey] : key.subkeys) {
    WriteKey(*subkey, path + "\\" + subkey->name, false, out);
  }
}

}  // namespace

bool ParseRegFile(std::string_view bytes, RegistryTree* out,
                  std::vector<RegFileProblem>* problems) {
  std::string decoded;
  bool wide = false;
  bool oddLength = false;
  if (bytes.size() >= 2 && static_cast<std::uint8_t>(bytes[0]) == 0xFF &&
      static_cast<std::uint8_t>(bytes[1]) == 0xFE) {
    oddLength = bytes.size() % 2 != 0;
    decoded = Utf16ToUtf8(bytes.substr(2));  // drops a last odd byte
    bytes = decoded;
    wide = true;
  } else if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    bytes.remove_prefix(3);
  }
  if (oddLength && problems) {
    problems->push_back({0, "", "UTF-16 file of odd length; its last byte is ignored"});
  }
  Parser parser(bytes, wide, out);
  parser.Run(problems);
  return parser.Clean() && !oddLength;
}

std::string WriteRegFile(const RegistryTree& tree) {
  std::string out(kHeader);
  out += "\n\n";
  for (HKey root : RegistryTree::Roots()) {
    WriteKey(tree.RootKey(root), RegistryTree::RootName(root), true, &out);
  }
  return out;
}

}  // namespace platform
