// The interactive menus.
#pragma once

namespace karv::cli {

// Runs the menu loop until the user leaves it or an export or import has ended the program.
void runMenus();

} // namespace karv::cli
