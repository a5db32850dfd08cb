// Resource ids shared by the library's resource script and the window code.
#pragma once

#define PALLIX_BANNER_BITMAP 101
