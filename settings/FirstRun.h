#pragma once
// The first start for a user writes the defaults and offers the tutorial.
namespace sonvera {

struct ProductServer;

// True when start-up may go on; the tutorial is on `server`.
bool CheckFirstRun(const ProductServer& server);
void WriteDefaults();

constexpr const char* kTutorialQuestion =
    "Would you like to take our 30 second web tutorial (requires internet connection)?";
constexpr const char* kTutorialTitle = "Sonvera Tutorial";
constexpr const char* kTutorialPath = "\\tutorial";

}  // namespace sonvera
