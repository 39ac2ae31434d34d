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
#include <string>
#include <string_view>

#include "platform/common/RegistryTree.h"

namespace platform {

// Adds the file's keys and values to *out (normally an empty tree). On a
// malformed file returns false with a one-line description in *error; *out
// then holds whatever was read before the fault.
bool ParseRegFile(std::string_view bytes, RegistryTree* out, std::string* error);

std::string WriteRegFile(const RegistryTree& tree);

}  // namespace platform
