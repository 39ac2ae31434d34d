#pragma once
// The registry file's text format: the desktop system's registry export
// ("Windows Registry Editor Version 5.00", [ROOT\Path] sections, "Name"="text",
// @= for the default value, dword:, hex:, hex(N):), as pure functions so that
// they can be tested and fuzzed without files.
//
// Reading accepts UTF-8 with or without BOM and UTF-16LE with BOM, CRLF or LF,
// ';' comments, `\` continuation in hex lists, [-Key] and "Name"=- deletions,
// and "REGEDIT4" as header. Values cross as the bytes the ANSI calls see: a
// hex(1), hex(2) or hex(7) list in a UTF-16 file holds UTF-16 text and is
// converted to UTF-8; in a UTF-8 file it holds the bytes themselves.
//
// Writing produces UTF-8 without BOM and LF line ends, keys and values in
// case-insensitive name order so that the file diffs cleanly. A string is
// written as "text" only when it ends in its one NUL and holds no CR, LF or
// invalid UTF-8; otherwise as hex(1), so that every value keeps its type and
// bytes exactly.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/RegistryTree.h"

namespace platform {

// A line the reader skipped.
struct RegFileProblem {
  std::size_t line = 0;  // 1-based; 0 for the file as a whole
  std::string text;      // the line, trimmed, cut to kProblemTextLimit bytes
  std::string problem;
};

constexpr std::size_t kProblemTextLimit = 60;

// Adds the file's keys and values to *out (normally an empty tree). Like the
// desktop system's importer, a line that does not parse is skipped and the
// rest is kept: values below a key line that was skipped are skipped too, so
// that they never land in another key. Returns true when nothing was skipped;
// otherwise lists what was in *problems (when given), in file order.
bool ParseRegFile(std::string_view bytes, RegistryTree* out,
                  std::vector<RegFileProblem>* problems = nullptr);

std::string WriteRegFile(const RegistryTree& tree);

}  // namespace platform
