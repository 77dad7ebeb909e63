#include "menus.h"

#include "game_config.h"
#include "texts.h"

namespace karv::cli {

void runMenus() {
    // Without a readable game configuration file there is nothing to choose from: end quietly.
    if (!LoadGameConfig(text::kGameConfigFile))
        return;
}

} // namespace karv::cli
