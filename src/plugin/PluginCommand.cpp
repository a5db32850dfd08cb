#include "PluginCommand.h"

namespace pallix {

void RunPluginCommand() {}

}  // namespace pallix
