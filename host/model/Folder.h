#pragma once
#include <string>

#include "hostmodel/HostModel.h"

namespace mailhost {

class Folder : public hostmodel::Folder {
 public:
  Folder(std::string name, int defaultItemType)
      : m_name(std::move(name)), m_defaultItemType(defaultItemType) {}
  std::string Name() override { return m_name; }
  int DefaultItemType() override { return m_defaultItemType; }

 private:
  std::string m_name;
  int m_defaultItemType;
};

}  // namespace mailhost
