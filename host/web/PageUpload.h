#pragma once
// Files the person attaches from the page. The bytes are streamed to a file
// of the run (never held whole in memory), in a folder of its own under
// DATA/uploads and named by the base name the page gave, so that the
// attachment takes that name; the file and its folder go once attached, or
// at once when the upload fails or is larger than the cap.
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace mailhost {

// One uploaded file; removed with this object.
class UploadedFile {
 public:
  UploadedFile(std::string folder, std::string path)
      : m_folder(std::move(folder)), m_path(std::move(path)) {}
  ~UploadedFile();
  UploadedFile(const UploadedFile&) = delete;
  UploadedFile& operator=(const UploadedFile&) = delete;

  const std::string& Path() const { return m_path; }

 private:
  std::string m_folder;
  std::string m_path;
};

struct UploadResult {
  std::shared_ptr<UploadedFile> file;  // null when refused
  int status = 200;                    // 400, 413 or 507 when refused
  std::string error;
};

// The name a file is attached under: the base name of what the page gives
// (a browser may send a path); "" for one that cannot name a file.
std::string UploadName(const std::string& given);

class Uploads {
 public:
  // Hands the receiver each piece of the body in turn; false when the body
  // could not be read whole or the receiver said stop (cpp-httplib's
  // ContentReader has this shape).
  using Receiver = std::function<bool(const char* data, std::size_t length)>;
  using Reader = std::function<bool(const Receiver& receive)>;

  Uploads(std::string folder, std::size_t cap) : m_folder(std::move(folder)), m_cap(cap) {}

  std::size_t Cap() const { return m_cap; }
  // Removes what a run that was killed in the middle of an upload left.
  void Sweep() const;
  // Streams a body of `length` bytes (nullopt: not said in advance) to a new
  // file named `name`.
  UploadResult Receive(const std::string& name, std::optional<std::size_t> length,
                       const Reader& read) const;

 private:
  std::string TooLarge(const std::string& name) const;

  std::string m_folder;
  std::size_t m_cap;
};

}  // namespace mailhost
