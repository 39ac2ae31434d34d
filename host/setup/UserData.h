#pragma once
// Where a person's run keeps its data: the registry file and the Maildir.
#include <string>

namespace mailhost {

// The registry file of a run with --data DIR, the folder made if missing;
// "" for the user's own registry.
std::string RegistryFileIn(const std::string& dataFolder);

// Where a run keeps what it writes besides mail and registry (the page's
// token, uploads in progress): DIR of --data DIR, else the folder of the
// user's registry file ($XDG_DATA_HOME/mailhost).
std::string DataFolderFor(const std::string& dataFolder);

// --maildir PATH as it is, else DIR/Maildir of --data DIR, else the one beside
// the user's registry ($XDG_DATA_HOME/mailhost/Maildir).
std::string MaildirFor(const std::string& dataFolder, const std::string& maildir);

}  // namespace mailhost
