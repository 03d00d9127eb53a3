// The states both toolkits keep for each window's close and for the main
// loop, under one set of names so that either toolkit's code and tests read
// the same.
#pragma once

namespace tk {

// A window's close: open, being closed (its Close handlers run), or closed
// (also a window never opened).
inline constexpr int kOpen = 0;
inline constexpr int kClosed = 1;
inline constexpr int kClosing = 2;

// The main loop: before WinMain, inside it, after it.
inline constexpr int kNotStarted = 0;
inline constexpr int kRunning = 1;
inline constexpr int kEnded = 2;

}  // namespace tk
