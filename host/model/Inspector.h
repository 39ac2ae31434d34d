#pragma once
#include <memory>
#include <string>

#include "host/model/CommandBars.h"
#include "hostmodel/HostModel.h"

namespace mailhost {

// A window showing one item.
class Inspector : public hostmodel::Inspector {
 public:
  Inspector(std::string name, hostmodel::Ref<hostmodel::Item> item, ScreenPoint origin,
            std::shared_ptr<CommandBars> bars);

  hostmodel::Ref<hostmodel::CommandBars> GetCommandBars() override { return m_bars; }
  hostmodel::Ref<hostmodel::Item> CurrentItem() override { return m_item; }
  int Left() override { return m_origin.left; }
  int Top() override { return m_origin.top; }

  const std::string& Name() const { return m_name; }
  const std::shared_ptr<CommandBars>& Bars() const { return m_bars; }
  const hostmodel::Ref<hostmodel::Item>& Item() const { return m_item; }
  // Its mail is being handed to the mail server: the front ends show it, and
  // the mail can be neither changed nor sent again meanwhile.
  bool Sending() const { return m_sending; }
  void SetSending(bool sending) { m_sending = sending; }

 private:
  std::string m_name;
  hostmodel::Ref<hostmodel::Item> m_item;
  ScreenPoint m_origin;
  std::shared_ptr<CommandBars> m_bars;
  bool m_sending = false;
};

class Inspectors : public hostmodel::Inspectors {};

}  // namespace mailhost
