#pragma once
// The routines of the update monitor: the version file, the offer and the
// installer. frmUpdateMon's load runs them once per start.
#include <cstddef>
#include <string>

#include "common/ErrorPrompt.h"
#include "common/ProductServer.h"
#include "platform/MessageBoxes.h"

namespace sonvera {

constexpr const char* kVersionFilePath = "/SonveraVersions/SonveraVersion.txt";
constexpr const char* kInstallerPath = "/SonveraVersions/Sonvera2000_Install.exe";
constexpr const char* kUpdaterFile = "Sonvera2000_Install.exe";
constexpr int kVersionTimeoutSeconds = 30;
constexpr int kInstallerTimeoutSeconds = 300;
// Far above what either file needs; a server must not fill our memory.
constexpr std::size_t kVersionFileLimit = 4 * 1024;
constexpr std::size_t kInstallerLimit = 256 * 1024 * 1024;
// A version file holding this switches the offer off.
constexpr const char* kVersionOff = "NA";
// How long the host waits, before it quits, for a started installer to open
// its file; a script's interpreter does so only after the start.
constexpr int kInstallerOpenWaitMs = 10000;

// The offer, piece by piece.
constexpr const char* kPromptTitlePrefix = "Update ";
constexpr const char* kPromptUsing = "You are using version ";
constexpr const char* kPromptOf = " of ";
constexpr const char* kPromptVersion = ". Version ";
constexpr const char* kPromptAvailable = "is now available.";
constexpr const char* kPromptCloses =
    "Installing the new version will close your running copy of Outlook and may take several "
    "minutes. ";
constexpr const char* kPromptQuestion = "Would you like to install the new version?";

constexpr const char* kUpdateFailureSource =
    "Error getting remote version update.\r\nSonvera addin continuing without update";
constexpr const char* kUpdateErrorTitle = "Update Error";
constexpr const char* kUpdateErrorText =
    "Error executing update program.  Please download the latest version from ";

// The server's scheme and host (with its port, if any) + path.
std::string BuildUrl(const ProductServer& server, const std::string& path);

// The version file's text; "" when it could not be fetched (no server, a
// time-out). Throws platform::RefusedReplyError for an error status or a body
// over the limit, which is a wrong file rather than an absent one.
std::string GetRemoteVersion(const ProductServer& server);

// The Yes/No box offering `remoteText`.
platform::BoxRequest UpdatePrompt(const std::string& remoteText);

// Downloads the installer into a private folder, starts it and quits the
// host through `addin`; the "Update Error" box when it cannot be started.
// Throws platform::Error when the download or the file fails. The folder is
// gone when this returns, whatever happened.
void InstallUpdate(const ProductServer& server, ShutdownTarget& addin);

}  // namespace sonvera
