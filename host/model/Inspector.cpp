#include "host/model/Inspector.h"

namespace mailhost {

Inspector::Inspector(std::string name, hostmodel::Ref<hostmodel::Item> item, ScreenPoint origin,
                     std::shared_ptr<CommandBars> bars)
    : m_name(std::move(name)), m_item(std::move(item)), m_origin(origin), m_bars(std::move(bars)) {}

}  // namespace mailhost
