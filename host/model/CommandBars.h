#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/model/BarLayout.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

class CommandBar;

// The bars of one window, in the order they were added.
class CommandBars : public hostmodel::CommandBars,
                    public std::enable_shared_from_this<CommandBars> {
 public:
  // Called with the name of each bar added with Temporary false, so that the
  // window shows it again at the next start.
  using PersistFn = std::function<void(const std::string& name)>;

  CommandBars(ScreenPoint windowOrigin, PersistFn persist);

  int Count() override { return static_cast<int>(m_bars.size()); }
  hostmodel::Ref<hostmodel::CommandBar> GetItem(int index) override;
  hostmodel::Ref<hostmodel::CommandBar> Add(const std::string& name, int position, bool menuBar,
                                            bool temporary) override;
  hostmodel::Ref<hostmodel::CommandBar> Find(const std::string& name) override;

  // A bar kept from an earlier start; not remembered again.
  std::shared_ptr<CommandBar> Restore(const std::string& name);
  // The most recently added bar, or null.
  std::shared_ptr<CommandBar> Newest() const;
  // Screen position of the first control of one of these bars.
  ScreenPoint OriginOf(const CommandBar* bar) const;

 private:
  std::shared_ptr<CommandBar> Insert(const std::string& name, bool temporary);

  ScreenPoint m_origin;
  PersistFn m_persist;
  std::vector<std::shared_ptr<CommandBar>> m_bars;
};

}  // namespace mailhost
