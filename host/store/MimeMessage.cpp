#include "host/store/MimeMessage.h"

#include <gmime/gmime.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace mailhost {
namespace {

constexpr const char* kFallbackDomain = "mailhost.invalid";
// An attached mail named by its subject keeps this much of it.
constexpr std::size_t kSubjectNameLength = 80;

struct GObjectUnref {
  void operator()(gpointer object) const {
    if (object) g_object_unref(object);
  }
};
template <typename T>
using GRef = std::unique_ptr<T, GObjectUnref>;

struct GFree {
  void operator()(gpointer memory) const { g_free(memory); }
};
using GText = std::unique_ptr<char, GFree>;

struct DateUnref {
  void operator()(GDateTime* date) const {
    if (date) g_date_time_unref(date);
  }
};
using GDate = std::unique_ptr<GDateTime, DateUnref>;

void InitGMime() {
  static std::once_flag once;
  std::call_once(once, [] { g_mime_init(); });
}

std::string ValidUtf8(const char* text) {
  if (!text) return "";
  GText valid(g_utf8_make_valid(text, -1));
  return valid.get();
}

// "" for a name that is missing or nothing but a path.
std::string BaseName(const std::string& name) {
  const auto slash = name.find_last_of("/\\");
  std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
  if (base == "." || base == "..") return "";
  return base;
}

std::string Lower(const char* text) {
  GText lower(g_ascii_strdown(text ? text : "", -1));
  return lower.get();
}

// The extension of a part of this type that came without a name.
std::string ExtensionFor(GMimeContentType* type) {
  const std::string media = Lower(g_mime_content_type_get_media_type(type));
  std::string sub = Lower(g_mime_content_type_get_media_subtype(type));
  if (media == "audio") {
    for (const char* mp3 : {"mpeg", "mp3", "mpeg3", "x-mpeg", "x-mp3", "x-mpeg3", "mpa"}) {
      if (sub == mp3) return "mp3";
    }
    for (const char* wav : {"wav", "x-wav", "wave", "vnd.wave"}) {
      if (sub == wav) return "wav";
    }
    if (sub.rfind("x-", 0) == 0) sub.erase(0, 2);
    if (!sub.empty() &&
        sub.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789") == std::string::npos)
      return sub;
  }
  if (media + "/" + sub == kMessageContentType) return "eml";
  if (media == "text") return sub == "html" ? "htm" : "txt";
  return "dat";
}

// What mail clients call the nth part that came without a name.
std::string UnnamedName(int number, GMimeContentType* type) {
  char name[32];
  std::snprintf(name, sizeof name, "ATT%05d.", number);
  return name + ExtensionFor(type);
}

// An attached mail's subject as a file name: no folders, no control
// characters, not too long.
std::string NameFromSubject(const std::string& subject) {
  std::string name;
  for (char c : subject) {
    if (name.size() >= kSubjectNameLength && (static_cast<unsigned char>(c) & 0xC0) != 0x80) break;
    name += c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20 ? '_' : c;
  }
  while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
  return name.empty() || name[0] == '.' ? "" : name + ".eml";
}

std::string StreamBytes(GMimeStream* stream) {
  GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
  if (!array || array->len == 0) return {};
  return std::string(reinterpret_cast<const char*>(array->data), array->len);
}

void AddAddresses(GMimeMessage* message, GMimeAddressType type, const char* header,
                  const std::string& text) {
  if (text.empty()) return;
  GRef<InternetAddressList> parsed(internet_address_list_parse(nullptr, text.c_str()));
  if (parsed && internet_address_list_length(parsed.get()) > 0) {
    internet_address_list_append(g_mime_message_get_addresses(message, type), parsed.get());
  } else {
    // Not an address at all; kept as the text it is rather than lost.
    g_mime_object_set_header(GMIME_OBJECT(message), header, text.c_str(), "utf-8");
  }
}

std::string Addresses(GMimeMessage* message, GMimeAddressType type, const char* header) {
  InternetAddressList* list = g_mime_message_get_addresses(message, type);
  if (list && internet_address_list_length(list) > 0) {
    GText text(internet_address_list_to_string(list, nullptr, FALSE));
    return ValidUtf8(text.get());
  }
  return ValidUtf8(g_mime_object_get_header(GMIME_OBJECT(message), header));
}

void SetDate(GMimeMessage* message, const std::string& text) {
  GDate date(text.empty() ? nullptr : g_mime_utils_header_decode_date(text.c_str()));
  if (!date) date.reset(g_date_time_new_now_local());
  g_mime_message_set_date(message, date.get());
}

std::string MessageIdDomain() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return kFallbackDomain;
  return name;
}

GRef<GMimeObject> TextPart(const std::string& body) {
  GRef<GMimeTextPart> text(g_mime_text_part_new_with_subtype("plain"));
  g_mime_text_part_set_text(text.get(), body.c_str());
  // Quoted-printable keeps every byte of the body, line ends included, and
  // still reads as text to a person.
  g_mime_part_set_content_encoding(GMIME_PART(text.get()), GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE);
  return GRef<GMimeObject>(GMIME_OBJECT(text.release()));
}

// An attached mail goes as the message it is; bytes that are no message go
// as any other file.
GRef<GMimeObject> MessagePart(const StoredAttachment& attachment) {
  if (attachment.bytes.empty()) return nullptr;
  GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
      reinterpret_cast<const char*>(attachment.bytes.data()), attachment.bytes.size()));
  GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) return nullptr;
  GRef<GMimeMessagePart> part(g_mime_message_part_new_with_message("rfc822", message.get()));
  GMimeObject* object = GMIME_OBJECT(part.get());
  g_mime_object_set_disposition(object, GMIME_DISPOSITION_ATTACHMENT);
  g_mime_object_set_content_disposition_parameter(object, "filename", attachment.fileName.c_str());
  return GRef<GMimeObject>(GMIME_OBJECT(part.release()));
}

GRef<GMimeObject> AttachmentPart(const StoredAttachment& attachment) {
  auto type = AttachmentContentType(attachment.fileName);
  if (attachment.message || type == kMessageContentType) {
    if (auto message = MessagePart(attachment)) return message;
    type = "application/octet-stream";
  }
  const auto slash = type.find('/');
  GRef<GMimePart> part(
      g_mime_part_new_with_type(type.substr(0, slash).c_str(), type.substr(slash + 1).c_str()));
  static const std::uint8_t kNothing = 0;
  GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(
      reinterpret_cast<const char*>(attachment.bytes.empty() ? &kNothing : attachment.bytes.data()),
      attachment.bytes.size()));
  GRef<GMimeDataWrapper> content(
      g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
  g_mime_part_set_content(part.get(), content.get());
  g_mime_object_set_disposition(GMIME_OBJECT(part.get()), GMIME_DISPOSITION_ATTACHMENT);
  g_mime_part_set_filename(part.get(), attachment.fileName.c_str());
  g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
  return GRef<GMimeObject>(GMIME_OBJECT(part.release()));
}

struct Reading {
  StoredItem* item;
  bool withBytes;
  bool haveBody = false;
  int unnamed = 0;
};

std::string ObjectFileName(GMimeObject* object) {
  const char* name = g_mime_object_get_content_disposition_parameter(object, "filename");
  if (!name) name = g_mime_object_get_content_type_parameter(object, "name");
  return BaseName(ValidUtf8(name));
}

void ReadAttachedMail(Reading& reading, GMimeObject* object) {
  GMimeMessage* message = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
  if (!message) return;
  StoredAttachment stored;
  stored.message = true;
  stored.fileName = ObjectFileName(object);
  if (stored.fileName.empty())
    stored.fileName = NameFromSubject(ValidUtf8(g_mime_message_get_subject(message)));
  if (stored.fileName.empty())
    stored.fileName = UnnamedName(++reading.unnamed, g_mime_object_get_content_type(object));
  if (reading.withBytes) {
    GRef<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(message), nullptr, out.get());
    const auto bytes = StreamBytes(out.get());
    stored.bytes.assign(bytes.begin(), bytes.end());
  }
  reading.item->attachments.push_back(std::move(stored));
}

void ReadPart(GMimeObject*, GMimeObject* object, gpointer data) {
  auto& reading = *static_cast<Reading*>(data);
  if (GMIME_IS_MESSAGE_PART(object)) {
    ReadAttachedMail(reading, object);
    return;
  }
  if (!GMIME_IS_PART(object)) return;  // multiparts
  GMimePart* part = GMIME_PART(object);
  GMimeContentType* type = g_mime_object_get_content_type(object);
  const char* fileName = g_mime_part_get_filename(part);
  // A voice message is offered wherever it is, named or not.
  const bool attachment = g_mime_part_is_attachment(part) || fileName ||
                          g_mime_content_type_is_type(type, "audio", "*");
  if (!attachment) {
    if (!reading.haveBody && GMIME_IS_TEXT_PART(object) &&
        g_mime_content_type_is_type(type, "text", "plain")) {
      GText text(g_mime_text_part_get_text(GMIME_TEXT_PART(object)));
      reading.item->body = CrlfLineEnds(ValidUtf8(text.get()));
      reading.haveBody = true;
    }
    return;
  }
  StoredAttachment stored;
  stored.fileName = BaseName(ValidUtf8(fileName));
  if (stored.fileName.empty()) stored.fileName = UnnamedName(++reading.unnamed, type);
  GMimeDataWrapper* content = g_mime_part_get_content(part);
  if (reading.withBytes && content) {
    GRef<GMimeStream> out(g_mime_stream_mem_new());
    g_mime_data_wrapper_write_to_stream(content, out.get());
    const auto bytes = StreamBytes(out.get());
    stored.bytes.assign(bytes.begin(), bytes.end());
  }
  reading.item->attachments.push_back(std::move(stored));
}

}  // namespace

std::string AttachmentContentType(const std::string& fileName) {
  const auto dot = fileName.rfind('.');
  const std::string extension =
      dot == std::string::npos ? "" : ValidUtf8(fileName.substr(dot + 1).c_str());
  const std::string ext = Lower(extension.c_str());
  if (ext == "mp3") return "audio/mpeg";
  if (ext == "wav") return "audio/wav";
  if (ext == "eml") return kMessageContentType;
  return "application/octet-stream";
}

std::string CrlfLineEnds(std::string_view text) {
  std::string result;
  result.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) result += '\r';
    result += text[i];
  }
  return result;
}

std::string NewMessageId() {
  InitGMime();
  GText id(g_mime_utils_generate_message_id(MessageIdDomain().c_str()));
  return id.get();
}

std::string DateNow() {
  InitGMime();
  GDate now(g_date_time_new_now_local());
  GText text(g_mime_utils_header_format_date(now.get()));
  return ValidUtf8(text.get());
}

std::string WriteMimeMessage(const StoredItem& item) {
  InitGMime();
  GRef<GMimeMessage> message(g_mime_message_new(TRUE));
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_FROM, "From", item.from);
  AddAddresses(message.get(), GMIME_ADDRESS_TYPE_TO, "To", item.to);
  g_mime_message_set_subject(message.get(), item.subject.c_str(), "utf-8");
  SetDate(message.get(), item.date);
  g_mime_message_set_message_id(
      message.get(), item.messageId.empty() ? NewMessageId().c_str() : item.messageId.c_str());

  auto text = TextPart(item.body);
  if (item.attachments.empty()) {
    g_mime_message_set_mime_part(message.get(), text.get());
  } else {
    GRef<GMimeMultipart> mixed(g_mime_multipart_new_with_subtype("mixed"));
    g_mime_multipart_add(mixed.get(), text.get());
    for (const auto& attachment : item.attachments) {
      g_mime_multipart_add(mixed.get(), AttachmentPart(attachment).get());
    }
    g_mime_message_set_mime_part(message.get(), GMIME_OBJECT(mixed.get()));
  }

  GRef<GMimeStream> out(g_mime_stream_mem_new());
  g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), nullptr, out.get());
  return StreamBytes(out.get());
}

StoredItem ReadMimeMessage(std::string_view bytes, bool withAttachmentBytes) {
  InitGMime();
  StoredItem item;
  GRef<GMimeStream> stream(g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size()));
  GRef<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
  g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
  GRef<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
  if (!message) return item;

  item.subject = ValidUtf8(g_mime_message_get_subject(message.get()));
  item.from = Addresses(message.get(), GMIME_ADDRESS_TYPE_FROM, "From");
  item.to = Addresses(message.get(), GMIME_ADDRESS_TYPE_TO, "To");
  if (GDateTime* date = g_mime_message_get_date(message.get())) {
    GText text(g_mime_utils_header_format_date(date));
    item.date = ValidUtf8(text.get());
  } else {
    item.date = ValidUtf8(g_mime_object_get_header(GMIME_OBJECT(message.get()), "Date"));
  }
  item.messageId = ValidUtf8(g_mime_message_get_message_id(message.get()));

  Reading reading{&item, withAttachmentBytes};
  g_mime_message_foreach(message.get(), ReadPart, &reading);
  return item;
}

}  // namespace mailhost
