#pragma once
// The page's secret: a random token made at each start, printed in the page's
// address and written beside the run's data for scripts. Whoever shows it
// (in the address, a cookie or an Authorization header) is the person who
// started mailhost; a page elsewhere in the browser cannot learn it.
#include <string>
#include <string_view>

namespace mailhost {

// 256 bits from the kernel (getrandom), as 64 hex digits. Throws
// platform::Error when the kernel gives none.
std::string NewPageToken();

// Compares in constant time, so that the time of a refusal does not tell how
// much of a guess was right.
bool SameSecret(std::string_view given, std::string_view secret);

// Writes the token to `path`, readable by the user alone (0600): a temporary
// file beside it, synced, renamed over it, the folder synced. Throws
// platform::Error with the reason when it cannot.
void WriteTokenFile(const std::string& path, const std::string& token);

// Removes the file at the end of the run if it still holds this run's token
// (another mailhost on the same data may have written its own since).
void RemoveTokenFile(const std::string& path, const std::string& token);

}  // namespace mailhost
