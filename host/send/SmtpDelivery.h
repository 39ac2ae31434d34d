#pragma once
// The host's delivery over SMTP: the message is written on the UI thread, the
// submission runs on the host's worker thread.
#include <string>

#include "host/model/Delivery.h"
#include "host/send/SmtpSubmitter.h"

namespace mailhost {

// `config.from` may be a whole address ("Me <me@example.org>"): the envelope
// sender is its bare address.
Delivery SmtpDelivery(SmtpConfig config);

}  // namespace mailhost
