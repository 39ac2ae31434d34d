#include "host/web/PngPicture.h"

#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace mailhost {
namespace {

std::uint32_t Le(const std::vector<std::uint8_t>& b, std::size_t at, int size) {
  std::uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | b[at + i];
  return value;
}

void Be32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(value >> shift & 0xff);
}

void Chunk(std::string& out, const char* type, const std::string& data) {
  Be32(out, static_cast<std::uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  out += typed;
  Be32(out, static_cast<std::uint32_t>(
                crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size())));
}

}  // namespace

std::optional<std::string> BitmapToPng(const platform::Picture& picture) {
  const auto& b = picture.bytes;
  constexpr std::size_t kHeaders = 54;
  if (b.size() < kHeaders || b[0] != 'B' || b[1] != 'M') return std::nullopt;
  const std::uint32_t offset = Le(b, 10, 4);
  const auto width = static_cast<std::int32_t>(Le(b, 18, 4));
  const auto rawHeight = static_cast<std::int32_t>(Le(b, 22, 4));
  const std::uint32_t bits = Le(b, 28, 2);
  const std::uint32_t compression = Le(b, 30, 4);
  if (width <= 0 || width > 4096 || rawHeight == 0 || std::abs(rawHeight) > 4096) return std::nullopt;
  if ((bits != 24 && bits != 32) || (compression != 0 && compression != 3)) return std::nullopt;
  const int height = std::abs(rawHeight);
  const std::size_t bytesPerPixel = bits / 8;
  const std::size_t stride = (width * bytesPerPixel + 3) / 4 * 4;
  if (offset > b.size() || (b.size() - offset) / stride < static_cast<std::size_t>(height))
    return std::nullopt;

  std::string raw;  // one filter byte (none) then RGB per row, top row first
  raw.reserve(static_cast<std::size_t>(height) * (1 + width * 3));
  for (int row = 0; row < height; ++row) {
    const int source = rawHeight > 0 ? height - 1 - row : row;  // bitmaps are bottom-up
    const std::uint8_t* line = b.data() + offset + static_cast<std::size_t>(source) * stride;
    raw += '\0';
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* pixel = line + x * bytesPerPixel;
      raw += static_cast<char>(pixel[2]);
      raw += static_cast<char>(pixel[1]);
      raw += static_cast<char>(pixel[0]);
    }
  }
  uLongf packedSize = compressBound(raw.size());
  std::string packed(packedSize, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize,
                reinterpret_cast<const Bytef*>(raw.data()), raw.size(), Z_BEST_SPEED) != Z_OK)
    return std::nullopt;
  packed.resize(packedSize);

  std::string header;
  Be32(header, static_cast<std::uint32_t>(width));
  Be32(header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  Chunk(png, "IHDR", header);
  Chunk(png, "IDAT", packed);
  Chunk(png, "IEND", "");
  return png;
}

}  // namespace mailhost
