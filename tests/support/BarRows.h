#pragma once
// A bar's controls as rows of text, left to right, so that a whole property
// table is compared at once: type|caption|description|width|shown|enabled|
// OnAction, then a button's style and face file or a list's style.
#include <string>
#include <vector>

#include "host/model/CommandBar.h"

namespace testsupport {

std::vector<std::string> BarRows(mailhost::CommandBar& bar);

}  // namespace testsupport
