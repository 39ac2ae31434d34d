#pragma once
// The two states a mail window's bar is drawn from. The names are the texts
// the trace shows and the recorder reads by name (StateText); a window never
// activated holds Unset, whose text is empty.
#include <cstddef>

namespace sonvera {

// What the recorder and player are doing for the window.
enum class ToolbarState { Unset, Wait, Recording, Recording_Paused, Playing };

// The kind of item in the window.
enum class MessageState { Unset, No_Message, New_Message, Sent_Message };

// In the order of the enumerators.
inline constexpr const char* kToolbarStateTexts[] = {"", "Wait", "Recording", "Recording_Paused",
                                                     "Playing"};
inline constexpr const char* kMessageStateTexts[] = {"", "No_Message", "New_Message",
                                                     "Sent_Message"};

constexpr const char* StateText(ToolbarState state) {
  return kToolbarStateTexts[static_cast<std::size_t>(state)];
}
constexpr const char* StateText(MessageState state) {
  return kMessageStateTexts[static_cast<std::size_t>(state)];
}

}  // namespace sonvera
