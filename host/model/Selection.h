#pragma once
#include <vector>

#include "host/model/HostErrors.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

// The selection as it was when the add-in asked for it.
class Selection : public hostmodel::Selection {
 public:
  explicit Selection(std::vector<hostmodel::Ref<hostmodel::Item>> items)
      : m_items(std::move(items)) {}
  int Count() override { return static_cast<int>(m_items.size()); }
  hostmodel::Ref<hostmodel::Item> GetItem(int index) override {
    if (index < 1 || index > Count()) throw platform::Error(kIndexOutOfBounds);
    return m_items[index - 1];
  }

 private:
  std::vector<hostmodel::Ref<hostmodel::Item>> m_items;
};

}  // namespace mailhost
