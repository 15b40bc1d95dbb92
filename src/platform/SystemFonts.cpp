// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SystemFonts.h"

#include <fontconfig/fontconfig.h>

void SystemFonts::loadConfiguration()
{
    // The configuration is published atomically: a thread asking for it meanwhile either finds it
    // or loads its own, and one of the two is dropped.
    FcInit();
}
