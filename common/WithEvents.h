#pragma once
// A member bound for events: assigning an object subscribes the owner's
// handlers, resetting or reassigning unsubscribes them. Releasing the member
// is what unbinds.
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "hostmodel/Event.h"

namespace sonvera {

template <typename T>
class WithEvents {
 public:
  using Binder = std::function<void(T& object, std::vector<hostmodel::Subscription>& subs)>;

  void Set(std::shared_ptr<T> object, const Binder& bind) {
    Reset();
    m_object = std::move(object);
    if (m_object && bind) bind(*m_object, m_subscriptions);
  }
  void Reset() {
    m_subscriptions.clear();
    m_object.reset();
  }

  const std::shared_ptr<T>& get() const { return m_object; }
  T* operator->() const { return m_object.get(); }
  explicit operator bool() const { return static_cast<bool>(m_object); }

 private:
  std::shared_ptr<T> m_object;
  std::vector<hostmodel::Subscription> m_subscriptions;
};

// A handler of `owner` that does nothing once the owner is gone, so that an
// event of a host object that outlives it never calls a released object.
template <typename T, typename... Args>
auto BindWeak(const std::shared_ptr<T>& owner, void (T::*handler)(Args...)) {
  std::weak_ptr<T> weak = owner;
  return [weak, handler](Args... args) {
    if (auto self = weak.lock()) ((*self).*handler)(std::forward<Args>(args)...);
  };
}

}  // namespace sonvera
