#include "platform/fake/FakeIntegration.h"

namespace platform {

FakeIntegration::FakeIntegration() {
  OfferMembers(*this);
}

}  // namespace platform
