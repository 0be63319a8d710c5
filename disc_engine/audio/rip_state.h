// The rip's application folder: the folder whose Config.ini the last
// ripper member named (the settings dialogs and the rip itself keep it).
#pragma once

#include <string>

namespace zephrel {

void SetRipApplicationFolder(std::string folder);
std::string RipApplicationFolder();

}  // namespace zephrel
