#pragma once
// The private copy of an add-in's folder that a scenario may change or break:
// the library, every file beside it, and links copied as links.
#include <string>

namespace mailhost {

class AddinFolder {
 public:
  // Copies the folder of `library` to `target` (replacing an earlier copy)
  // and returns the path of the library in the copy. Throws platform::Error.
  static std::string CopyOf(const std::string& library, const std::string& target);
  // Read-only for everyone, root included: write permission off and, where
  // the file system has it, the immutable flag on the folder and its files.
  static void MakeReadOnly(const std::string& folder);
  // Undoes MakeReadOnly so the folder can be replaced or removed.
  static void MakeWritable(const std::string& folder);
  // Removes a folder and everything in it, read-only or not; never throws.
  static void Remove(const std::string& folder);
};

}  // namespace mailhost
