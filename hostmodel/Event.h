#pragma once
// Events of host objects. A Subscription unsubscribes when it is reset or
// destroyed, so an add-in member "bound for events" is the object reference
// together with its subscriptions: releasing the member unbinds.
//
// Fire tolerates handlers that subscribe or unsubscribe (themselves or
// others) while it runs: a handler removed during a Fire is not called after
// its removal; one added during a Fire is first called by the next Fire.
#include <algorithm>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace hostmodel {

class Subscription {
 public:
  Subscription() = default;
  explicit Subscription(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
  Subscription(Subscription&& other) noexcept : m_cancel(std::exchange(other.m_cancel, {})) {}
  Subscription& operator=(Subscription&& other) noexcept {
    if (this != &other) {
      Reset();
      m_cancel = std::exchange(other.m_cancel, {});
    }
    return *this;
  }
  Subscription(const Subscription&) = delete;
  Subscription& operator=(const Subscription&) = delete;
  ~Subscription() { Reset(); }

  void Reset() {
    if (auto cancel = std::exchange(m_cancel, {})) cancel();
  }
  explicit operator bool() const { return static_cast<bool>(m_cancel); }

 private:
  std::function<void()> m_cancel;
};

template <typename... Args>
class Event {
 public:
  using Handler = std::function<void(Args...)>;

  Event() : m_state(std::make_shared<State>()) {}
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  [[nodiscard]] Subscription Subscribe(Handler handler) {
    auto slot = std::make_shared<Slot>(Slot{std::move(handler), true});
    m_state->slots.push_back(slot);
    std::weak_ptr<State> weakState = m_state;
    std::weak_ptr<Slot> weakSlot = slot;
    return Subscription([weakState, weakSlot] {
      auto state = weakState.lock();
      auto slot = weakSlot.lock();
      if (!slot) return;
      slot->alive = false;
      if (state) {
        auto& v = state->slots;
        v.erase(std::remove(v.begin(), v.end(), slot), v.end());
      }
    });
  }

  void Fire(Args... args) {
    auto snapshot = m_state->slots;  // handlers may change the list
    for (auto& slot : snapshot) {
      if (slot->alive) slot->handler(args...);
    }
  }

  std::size_t Count() const { return m_state->slots.size(); }

 private:
  struct Slot {
    Handler handler;
    bool alive;
  };
  struct State {
    std::vector<std::shared_ptr<Slot>> slots;
  };
  std::shared_ptr<State> m_state;
};

}  // namespace hostmodel
