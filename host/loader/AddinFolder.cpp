#include "host/loader/AddinFolder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <filesystem>

#include "platform/Error.h"

namespace fs = std::filesystem;

namespace mailhost {
namespace {

// Sets or clears the immutable flag; quietly does nothing where the file
// system or the user's rights do not allow it.
void SetImmutable(const fs::path& path, bool immutable) {
  int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  int flags = 0;
  if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
    const int wanted = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    if (wanted != flags) ioctl(fd, FS_IOC_SETFLAGS, &wanted);
  }
  close(fd);
}

void SetWritable(const fs::path& path, bool writable) {
  std::error_code ec;
  const auto status = fs::symlink_status(path, ec);
  if (ec || fs::is_symlink(status)) return;
  const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  if (writable) {
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  } else {
    fs::permissions(path, write, fs::perm_options::remove, ec);
  }
}

}  // namespace

std::string AddinFolder::CopyOf(const std::string& library, const std::string& target) {
  std::error_code ec;
  const fs::path source = fs::canonical(library, ec);
  if (ec) throw platform::Error("The add-in library " + library + " does not exist.");
  if (fs::exists(target, ec)) {
    MakeWritable(target);
    fs::remove_all(target, ec);
  }
  fs::create_directories(target, ec);
  if (ec) throw platform::Error("Cannot create " + target + ": " + ec.message());
  fs::copy(source.parent_path(), target,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  if (ec) {
    throw platform::Error("Cannot copy the add-in folder " + source.parent_path().string() +
                          " to " + target + ": " + ec.message());
  }
  return (fs::path(target) / source.filename()).string();
}

void AddinFolder::MakeReadOnly(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    SetWritable(entry.path(), false);
    SetImmutable(entry.path(), true);
  }
  SetWritable(folder, false);
  SetImmutable(folder, true);
}

void AddinFolder::MakeWritable(const std::string& folder) {
  SetImmutable(folder, false);
  SetWritable(folder, true);
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder, ec)) {
    SetImmutable(entry.path(), false);
    SetWritable(entry.path(), true);
  }
}

void AddinFolder::Remove(const std::string& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) return;
  for (auto it = fs::recursive_directory_iterator(folder, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (it->is_directory(ec) && !it->is_symlink(ec)) MakeWritable(it->path().string());
  }
  MakeWritable(folder);
  fs::remove_all(folder, ec);
}

}  // namespace mailhost
