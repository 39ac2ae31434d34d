#include "platform/Platform.h"

#include <cerrno>
#include <cstring>

#include "platform/Error.h"

namespace platform {
namespace {

Services g_services;

template <typename T>
T& Require(T* service, const char* name) {
  if (!service) throw Error(std::string("The ") + name + " service is not available.");
  return *service;
}

}  // namespace

void Install(const Services* services) {
  g_services = services ? *services : Services{};
}
const Services& Current() {
  return g_services;
}

Registry& GetRegistry() {
  return Require(g_services.registry, "registry");
}
EventLoop& GetLoop() {
  return Require(g_services.loop, "event loop");
}
MessageBoxes& GetBoxes() {
  return Require(g_services.boxes, "message box");
}
Clipboard& GetClipboard() {
  return Require(g_services.clipboard, "clipboard");
}
Pictures& GetPictures() {
  return Require(g_services.pictures, "picture");
}
Shell& GetShell() {
  return Require(g_services.shell, "shell");
}
Files& GetFiles() {
  return Require(g_services.files, "file");
}
Http& GetHttp() {
  return Require(g_services.http, "HTTP");
}
Icmp& GetIcmp() {
  return Require(g_services.icmp, "ICMP");
}
Processes& GetProcesses() {
  return Require(g_services.processes, "process");
}
Media& GetMedia() {
  return Require(g_services.media, "multimedia device");
}
WaveIn& GetWaveIn() {
  return Require(g_services.waveIn, "wave capture");
}
Windows& GetWindows() {
  return Require(g_services.windows, "window");
}

}  // namespace platform

namespace platform {

std::string FolderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace platform

namespace platform {

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  std::string word;
  bool inWord = false;
  bool quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inWord = true;  // "" is an empty word of its own
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(word);
      word.clear();
      inWord = false;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(word);
  return words;
}

std::string JoinCommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (const auto& word : argv) {
    if (!line.empty()) line += ' ';
    const bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
    line += quote ? "\"" + word + "\"" : word;
  }
  return line;
}

}  // namespace platform

namespace platform {

std::string RegistryStatusText(std::int32_t status) {
  switch (status) {
    case kErrorSuccess:
      return "";
    case kErrorDiskFull:
      return std::strerror(ENOSPC);
    case kErrorAccessDenied:
      return std::strerror(EACCES);
    case kErrorWriteFault:
      return std::strerror(EIO);
    case kErrorFileNotFound:
      return std::strerror(ENOENT);
    default:
      return "Registry error " + std::to_string(status);
  }
}

}  // namespace platform
