#pragma once
// A stored mail as a MIME message and back, through GMime. Only the message
// travels: the id, the item class and the flags (sent, read) are the store's
// business.
#include <string>
#include <string_view>

#include "host/store/MailStore.h"

namespace mailhost {

// A complete message: a Message-Id (a new one when the item has none), a Date
// (now when the item has none or one that does not parse), From, To, Subject,
// a text/plain body and every attachment in base64 with its file name.
std::string WriteMimeMessage(const StoredItem& item);

// Whatever can be read of a message: bad input, down to random bytes, gives
// what is there and never throws. The body's lines end in CRLF; headers and
// names come back as valid UTF-8, file names as base names only. Without
// attachment bytes the attachments carry their names alone, as a listing
// wants them.
//
// Attachments are what mail clients list: parts marked as attachments or
// named, audio parts, and attached mails (whose bytes are the whole message).
// A part without a name is named as mail clients name one, ATT00001.mp3 for
// the first, numbered in order; an attached mail without one by its subject.
StoredItem ReadMimeMessage(std::string_view message, bool withAttachmentBytes = true);

constexpr const char* kMessageContentType = "message/rfc822";

// audio/mpeg for .mp3, audio/wav for .wav, message/rfc822 for .eml,
// application/octet-stream else.
std::string AttachmentContentType(const std::string& fileName);

// Every line of the text ended in CRLF, as the host's texts and SMTP have
// them, whatever its own line ends are.
std::string CrlfLineEnds(std::string_view text);

// A new Message-Id, without the angle brackets.
std::string NewMessageId();
// The time now as a Date header gives it.
std::string DateNow();

}  // namespace mailhost
