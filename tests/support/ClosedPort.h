#pragma once
// A port on 127.0.0.1 where nothing listens: connecting to it is refused at once.

namespace testsupport {

int ClosedLoopbackPort();

}  // namespace testsupport
