#include "update/UpdateCheck.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "addin/Amp.h"
#include "addin/BuildInfo.h"
#include "common/AddinFolder.h"
#include "common/ErrorPrompt.h"
#include "common/Routine.h"
#include "common/Trace.h"
#include "platform/Platform.h"
#include "update/Version.h"

namespace sonvera {
namespace {

constexpr const char* kUpdateFolderPattern = "/sonvera-update-XXXXXX";

[[noreturn]] void FailWriting(const std::string& path) {
  throw platform::Error("Could not write the update program " + path + ": " + std::strerror(errno));
}

// A fresh folder only this user can enter, so that nobody can swap the file
// between writing and starting it.
std::string WriteInstaller(const std::vector<std::uint8_t>& bytes) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + kUpdateFolderPattern;
  std::vector<char> folder(pattern.begin(), pattern.end());
  folder.push_back('\0');
  if (!mkdtemp(folder.data())) FailWriting(pattern);
  const std::string path = std::string(folder.data()) + "/" + kUpdaterFile;

  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0700);
  if (fd < 0) FailWriting(path);
  std::size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = errno;
      close(fd);
      errno = error;
      FailWriting(path);
    }
    written += static_cast<std::size_t>(n);
  }
  // The umask may have taken the execute bit away.
  if (fchmod(fd, 0700) != 0 || close(fd) != 0) FailWriting(path);
  return path;
}

std::string CommandLineFor(const std::string& path) {
  return path.find_first_of(" \t") == std::string::npos ? path : "\"" + path + "\"";
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

void InstallUpdate(const ProductServer& server, std::shared_ptr<Amp> ampRef) {
  const std::string url = BuildUrl(server, kInstallerPath);
  IgnoreErrors([] { Trace(AddinFolder()); });
  const auto response = platform::GetHttp().Get({url, kInstallerTimeoutSeconds, kInstallerLimit});
  const std::string path = WriteInstaller(response.body);
  if (platform::GetProcesses().Start(CommandLineFor(path), true) != 0) {
    Need(ampRef).ExitProgram();
    return;
  }
  platform::BoxRequest box;
  box.text = kUpdateErrorText + server.hostAndPort;
  box.title = kUpdateErrorTitle;
  box.icon = platform::Icon::Critical;
  platform::GetBoxes().Show(box);
}

}  // namespace sonvera
