#pragma once
// How a sent mail leaves the host besides being filed in Sent: a mail server.
// The work is split so that the slow part never runs on the UI thread.
#include <atomic>
#include <functional>
#include <string>

#include "host/store/MailStore.h"

namespace mailhost {

// Hands one prepared mail over. Runs on a worker thread and touches nothing
// of the host; gives up soon after `stop` turns true. Returns "" when the mail
// was taken, else why not, for a person.
using Handover = std::function<std::string(const std::atomic<bool>& stop)>;

// On the UI thread: makes the message that goes out of `mail`, filling in its
// Message-Id and Date so that the Sent copy is the message that left, and
// returns the hand-over. Throws platform::Error when the mail cannot go out as
// it is.
using Delivery = std::function<Handover(StoredItem& mail)>;

}  // namespace mailhost
