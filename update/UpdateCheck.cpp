#include "update/UpdateCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/AddinFolder.h"
#include "common/BuildInfo.h"
#include "common/ErrorPrompt.h"
#include "common/Routine.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "update/InstallerFolder.h"
#include "update/Version.h"

namespace sonvera {
namespace {

[[noreturn]] void FailWriting(const std::string& path) {
  throw platform::Error("Could not write the update program " + path + ": " + std::strerror(errno));
}

// Streams the installer into `path`, executable by its owner only.
void DownloadInstaller(const std::string& url, const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
  if (fd < 0) FailWriting(path);
  try {
    platform::GetHttp().Get({url, kInstallerTimeoutSeconds, kInstallerLimit, fd});
  } catch (...) {
    close(fd);
    throw;
  }
  // The umask may have taken the execute bit away.
  if (fchmod(fd, 0700) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    FailWriting(path);
  }
  // Still open for writing, the file could not be started.
  if (close(fd) != 0) FailWriting(path);
}

}  // namespace

std::string BuildUrl(const ProductServer& server, const std::string& path) {
  return server.Url(path);
}

std::string GetRemoteVersion(const ProductServer& server) {
  std::string url;
  std::string body;
  IgnoreErrors([&] { url = BuildUrl(server, kVersionFilePath); });
  IgnoreErrors([&] { Trace(url); });
  try {
    body = platform::GetHttp().Get({url, kVersionTimeoutSeconds, kVersionFileLimit}).Text();
  } catch (const platform::RefusedReplyError&) {
    throw;
  } catch (...) {
    // No server, no answer: the check ends without a word.
  }
  IgnoreErrors([&] { Trace(body); });
  return body;
}

platform::BoxRequest UpdatePrompt(const std::string& remoteText) {
  platform::BoxRequest box;
  box.title = std::string(kPromptTitlePrefix) + buildinfo::kProductName;
  box.buttons = platform::Buttons::YesNo;
  box.icon = platform::Icon::None;
  box.text = kPromptUsing + VersionText(RunningVersion()) + kPromptOf + buildinfo::kProductName +
             kPromptVersion + remoteText + kPromptAvailable + kCrLf + kPromptCloses + kCrLf +
             kPromptQuestion;
  return box;
}

void InstallUpdate(const ProductServer& server, ShutdownTarget& addin) {
  const std::string url = BuildUrl(server, kInstallerPath);
  IgnoreErrors([] { Trace(AddinFolder()); });
  InstallerFolder folder;
  const std::string path = folder.File(kUpdaterFile);
  DownloadInstaller(url, path);
  auto& processes = platform::GetProcesses();
  // By its path as one word: a folder name with blanks or quotes must not
  // start some other program.
  if (const int pid = processes.StartProgram({path}, true); pid != 0) {
    // Nobody would remove the folder once the host has quit; the installer
    // keeps its file open (or runs from it) and needs no name for it then.
    // WARNING: a script that opens itself again by name later on (a
    // self-extracting archive reading "$0") finds it gone.
    processes.WaitForOpen(pid, path, kInstallerOpenWaitMs);
    folder.Remove();
    addin.ExitProgram();
    return;
  }
  platform::BoxRequest box;
  box.text = kUpdateErrorText + server.hostAndPort;
  box.title = kUpdateErrorTitle;
  box.icon = platform::Icon::Critical;
  platform::GetBoxes().Show(box);
}

}  // namespace sonvera
