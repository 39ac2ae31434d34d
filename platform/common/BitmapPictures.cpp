#include "platform/common/BitmapPictures.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/Error.h"

namespace platform {
namespace {

std::int32_t ReadLe32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::int32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                   (static_cast<std::uint32_t>(b[at + 3]) << 24));
}

constexpr std::size_t kMaxBitmapBytes = 64 * 1024 * 1024;

}  // namespace

PicturePtr BitmapPictures::Load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw Error(kFileNotFound);
  std::vector<std::uint8_t> bytes;
  file.seekg(0, std::ios::end);
  auto size = file.tellg();
  if (size < 0 || static_cast<std::size_t>(size) > kMaxBitmapBytes) throw Error(kInvalidPicture);
  file.seekg(0);
  bytes.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  // File header (14 bytes) and at least the core of an info header.
  if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') throw Error(kInvalidPicture);
  auto picture = std::make_shared<Picture>();
  picture->sourceFile = path;
  picture->width = ReadLe32(bytes, 18);
  picture->height = std::abs(ReadLe32(bytes, 22));
  if (picture->width <= 0 || picture->height == 0) throw Error(kInvalidPicture);
  picture->bytes = std::move(bytes);
  return picture;
}

}  // namespace platform
