#include <gtest/gtest.h>

#include "common/WithEvents.h"
#include "hostmodel/Event.h"

namespace {

using hostmodel::Event;
using hostmodel::Subscription;

struct Source {
  Event<int> Changed;
};

TEST(EventTest, ReleasingTheHolderUnbinds) {
  auto source = std::make_shared<Source>();
  int seen = 0;
  sonvera::WithEvents<Source> held;
  held.Set(source, [&](Source& s, auto& subs) {
    subs.push_back(s.Changed.Subscribe([&](int v) { seen += v; }));
  });
  source->Changed.Fire(2);
  EXPECT_EQ(seen, 2);
  held.Reset();
  source->Changed.Fire(5);
  EXPECT_EQ(seen, 2) << "a released member must not hear events";
  EXPECT_EQ(source->Changed.Count(), 0u);
}

TEST(EventTest, HandlersMayUnsubscribeEachOtherWhileFiring) {
  Source source;
  std::vector<std::string> calls;
  Subscription second;
  Subscription first = source.Changed.Subscribe([&](int) {
    calls.push_back("first");
    second.Reset();
  });
  second = source.Changed.Subscribe([&](int) { calls.push_back("second"); });
  Subscription added;
  Subscription third = source.Changed.Subscribe([&](int) {
    calls.push_back("third");
    if (!added) added = source.Changed.Subscribe([&](int) { calls.push_back("added"); });
  });
  source.Changed.Fire(0);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "third"}));
  calls.clear();
  source.Changed.Fire(0);
  EXPECT_EQ(calls, (std::vector<std::string>{"first", "third", "added"}));
  // A subscription that outlives its event is released harmlessly (ASan).
  Subscription late;
  {
    Source gone;
    late = gone.Changed.Subscribe([](int) {});
  }
  late.Reset();
}

}  // namespace
