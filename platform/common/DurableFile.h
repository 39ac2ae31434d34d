#pragma once
// Files written so that a crash, a kill or a full disk leaves what was there
// before or all of the new content, never a part of it.
//
// Contract:
// - WriteAll writes every byte, again after an interruption by a signal. It
//   fails with errno set (EIO when the kernel took nothing and said nothing).
// - WriteNewFile creates the file exclusively (EEXIST for anything already
//   there, a link included) with `mode` as the umask leaves it, writes it
//   whole, syncs it (Flush::Durable) and closes it. A failure leaves no file.
// - ReplaceFile puts new content at `path` in one rename: WriteNewFile on a
//   file beside it, "<path>.tmp.<pid>.<n>", renamed over `path`, then, when
//   durable, the folder synced. A failure leaves the old file and no
//   temporary one; a kill may leave a temporary one, which its owner sweeps
//   by kTempInfix.
// - RemoveFile unlinks the file and, when it went, syncs its folder.
// - SyncFolder makes a rename, link or unlink in the folder durable. It runs
//   after the change, so its own failure is ignored: it can weaken
//   durability, never undo what happened.
// WriteNewFile and ReplaceFile return 0, or the errno of the step that failed.
#include <sys/types.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// How far a write waits for the disk.
enum class Flush {
  Durable,     // the file and its folder synced: after a crash, old or new content
  RenameOnly,  // only atomic: for a cache, whose damaged file reads as none
};

// What stands between a replaced file's name and the writer's own number in
// the name of its temporary file.
constexpr const char* kTempInfix = ".tmp.";

bool WriteAll(int fd, const void* data, std::size_t size);
inline bool WriteAll(int fd, std::string_view bytes) {
  return WriteAll(fd, bytes.data(), bytes.size());
}

void SyncFolder(const std::string& folder);

// False when the file could not go (errno says why).
bool RemoveFile(const std::string& path);

int WriteNewFile(const std::string& path, std::string_view bytes, mode_t mode,
                 Flush flush = Flush::Durable);

// `failedFile`, when given, names the file the failed step was on: the
// temporary one while it was made, else `path`.
int ReplaceFile(const std::string& path, std::string_view bytes, mode_t mode,
                Flush flush = Flush::Durable, std::string* failedFile = nullptr);

}  // namespace platform
