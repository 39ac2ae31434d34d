#pragma once
// The handler shapes of the add-in's routines, one helper each, so that a
// routine reads as its labelled steps: `Routine r(AskToQuit(kSourceAddButtons))`.
// Every prompt's source is the routine label + CRLF + the step in progress +
// CRLF + the detail prepared before the risky call.
#include <functional>
#include <string>

#include "common/Routine.h"

namespace sonvera {

// Routine label + CRLF + step + CRLF + detail.
std::string SourceText(const char* label, const Routine& routine);

// The "AskShutDown" prompt. Yes shuts the add-in down (ShutDownAddin) and
// leaves the routine; No goes on as `onNo` says.
Routine::Handler AskToQuit(const char* label, OnError onNo = OnError::Continue);
// The same, with something to do on No before the routine is left.
Routine::Handler AskToQuit(const char* label, std::function<void()> onNo);

// The "DoShutDown" prompt: the box, then the add-in shuts down; the routine
// is left.
Routine::Handler ShutDownAndLeave(const char* label);

// The "DoWarning" prompt with a fixed source; the routine is left.
Routine::Handler WarnAndLeave(const char* source);

// A plain box with the error's description alone; the routine is left.
Routine::Handler TellAndLeave();

// `handler`, unless `quiet` holds when the failure comes: then the routine
// is left without a word (a mail being sent shows no prompts).
Routine::Handler QuietWhile(const bool& quiet, Routine::Handler handler);

// A failure ends the routine without a word.
Routine::Handler LeaveSilently();

}  // namespace sonvera
