#ifndef KIVO_TESTS_PROGRAMWINDOW_H
#define KIVO_TESTS_PROGRAMWINDOW_H

// The real program seen from outside, as the X server shows it: its windows,
// its canvas's pixels, whether it is still busy. For the end-to-end tests
// and the frame benchmark.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kivotest {

// Run a shell command with the tests' display; its standard output less the
// final line end.
std::string shell(const std::string& command, int* status = nullptr);
// Wait (bounded) for a window titled exactly title to be mapped; its id or "".
std::string waitForWindow(const std::string& title, int seconds = 10);

// A window's place on the screen (absolute upper-left corner) and its size.
struct Geometry { int x = 0, y = 0, width = 0, height = 0; };
// The GL canvas of a main window: the smallest window of at least 600 x 300
// below it. All zero when there is none.
Geometry findCanvas(const std::string& window);

// The whole screen as 0xRRGGBB, rows from the top.
struct Screen {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  // The pixels of an area, rows from the top; 0xFFFFFFFF off the screen.
  std::vector<uint32_t> area(const Geometry& g) const;
};
Screen grabScreen();

// Wait (bounded) until process pid has used no processor time, in any of
// its threads, for a tenth of a second: it has handled what it was sent.
bool waitIdle(pid_t pid, int seconds = 30);
// The screen once process pid is done painting: idle, and two grabs a tenth
// of a second apart equal.
Screen settledScreen(pid_t pid, int seconds = 30);

// The window that owns the CLIPBOARD selection; 0 for none.
unsigned long clipboardOwner();

}  // namespace kivotest

#endif
