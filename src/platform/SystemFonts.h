// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The machine's font configuration (fontconfig).
namespace SystemFonts {
/// Loads the font configuration and the font caches of the machine, which takes milliseconds. Qt
/// does it when the first text is measured, on the thread that builds the window; done earlier on
/// another thread, while Qt connects to the window system, most of it is off the start's path. Any
/// thread may call it; once loaded, a call returns at once.
void loadConfiguration();
} // namespace SystemFonts
