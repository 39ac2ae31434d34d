#include "tests/support/BarRows.h"

#include <filesystem>

#include "host/model/CommandBarButton.h"
#include "host/model/CommandBarComboBox.h"

namespace testsupport {

std::vector<std::string> BarRows(mailhost::CommandBar& bar) {
  std::vector<std::string> rows;
  auto controls = bar.Controls();
  for (int i = 1; i <= controls->Count(); ++i) {
    auto c = controls->GetItem(i);
    std::string row = std::to_string(c->Type()) + "|" + c->Caption() + "|" + c->DescriptionText() +
                      "|" + std::to_string(c->Width()) + "|" + (c->Visible() ? "shown" : "hidden") +
                      "|" + (c->Enabled() ? "enabled" : "disabled") + "|" + c->OnAction();
    if (auto button = std::dynamic_pointer_cast<mailhost::CommandBarButton>(c)) {
      row += "|style " + std::to_string(button->Style()) + "|" +
             (button->Face() ? std::filesystem::path(button->Face()->sourceFile).filename().string()
                             : "no face");
    } else if (auto list = std::dynamic_pointer_cast<mailhost::CommandBarComboBox>(c)) {
      row += "|style " + std::to_string(list->Style());
    }
    rows.push_back(row);
  }
  return rows;
}

}  // namespace testsupport
