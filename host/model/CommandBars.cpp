#include "host/model/CommandBars.h"

#include <algorithm>
#include <cctype>

#include "host/model/CommandBar.h"
#include "host/model/HostErrors.h"

namespace mailhost {
namespace {

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

CommandBars::CommandBars(ScreenPoint windowOrigin, PersistFn persist)
    : m_origin(windowOrigin), m_persist(std::move(persist)) {}

hostmodel::Ref<hostmodel::CommandBar> CommandBars::GetItem(int index) {
  if (index < 1 || index > Count()) throw platform::Error(kIndexOutOfBounds);
  return m_bars[index - 1];
}

hostmodel::Ref<hostmodel::CommandBar> CommandBars::Add(const std::string& name, int /*position*/,
                                                       bool /*menuBar*/, bool temporary) {
  auto bar = Insert(name, temporary);
  if (!temporary && m_persist) m_persist(name);
  return bar;
}

hostmodel::Ref<hostmodel::CommandBar> CommandBars::Find(const std::string& name) {
  for (const auto& bar : m_bars) {
    if (SameName(bar->Name(), name)) return bar;
  }
  throw platform::Error(kInvalidArgument);
}

std::shared_ptr<CommandBar> CommandBars::Restore(const std::string& name) {
  return Insert(name, false);
}

std::shared_ptr<CommandBar> CommandBars::Newest() const {
  return m_bars.empty() ? nullptr : m_bars.back();
}

ScreenPoint CommandBars::OriginOf(const CommandBar* bar) const {
  ScreenPoint point{m_origin.left + kBarInsetLeft, m_origin.top + kBarsOffsetTop};
  for (const auto& other : m_bars) {
    if (other.get() == bar) return point;
    if (other->Visible()) point.top += kBarRowHeight;
  }
  throw platform::Error(kObjectDeleted);
}

std::shared_ptr<CommandBar> CommandBars::Insert(const std::string& name, bool temporary) {
  // Two bars of one window never share a name, as in the mail client.
  if (name.empty()) throw platform::Error(kInvalidArgument);
  for (const auto& bar : m_bars) {
    if (SameName(bar->Name(), name)) throw platform::Error(kInvalidArgument);
  }
  auto bar = CommandBar::Create(name, temporary, weak_from_this());
  m_bars.push_back(bar);
  return bar;
}

}  // namespace mailhost
