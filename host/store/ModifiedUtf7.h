#pragma once
// IMAP's mailbox-name encoding (modified UTF-7, RFC 3501 5.1.3), in which
// Maildir++ folder names are written on disk: printable ASCII stands for
// itself, "&-" for '&', and anything else is "&" + UTF-16 in base64 with ','
// for '/' + "-" (".&AMQ-rger" is ".Ärger").
#include <optional>
#include <string>
#include <string_view>

namespace mailhost {

// The UTF-8 text of an encoded name; nullopt when the name is not valid
// modified UTF-7 (8-bit bytes, an unterminated or badly padded shift, a
// character that must stand for itself, a broken surrogate pair, a shift
// right after a shift).
std::optional<std::string> DecodeModifiedUtf7(std::string_view encoded);

// The encoded form of UTF-8 text; nullopt when the text is not valid UTF-8.
std::optional<std::string> EncodeModifiedUtf7(std::string_view text);

}  // namespace mailhost
