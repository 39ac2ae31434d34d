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
StoredItem ReadMimeMessage(std::string_view message, bool withAttachmentBytes = true);

// audio/mpeg for .mp3, audio/wav for .wav, application/octet-stream else.
std::string AttachmentContentType(const std::string& fileName);

}  // namespace mailhost
