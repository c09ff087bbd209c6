#include "support/ProgramWindow.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "support/GuiTest.h"

namespace kivotest {

std::string shell(const std::string& command, int* status) {
  display();
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

std::string waitForWindow(const std::string& title, int seconds) {
  return shell("timeout " + std::to_string(seconds) + " xdotool search --sync --onlyvisible --name '^" + title +
               "$' 2>/dev/null | head -n 1");
}

// From `xwininfo -tree`'s lines "  0x400240 (has no name): ()  700x411+0+60  +0+60"
// (size, relative and absolute corner).
Geometry findCanvas(const std::string& window) {
  static const std::regex child(R"(^\s+0x[0-9a-f]+ .*\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+?(-?\d+)\+?(-?\d+)\s*$)");
  std::istringstream lines(shell("xwininfo -tree -id " + window));
  Geometry best;
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (!std::regex_match(line, m, child)) continue;
    Geometry g{std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[1]), std::stoi(m[2])};
    if (g.width >= 600 && g.height >= 300 && (best.width == 0 || g.width * g.height < best.width * best.height))
      best = g;
  }
  return best;
}

std::vector<uint32_t> Screen::area(const Geometry& g) const {
  std::vector<uint32_t> out;
  for (int y = g.y; y < g.y + g.height; y++)
    for (int x = g.x; x < g.x + g.width; x++)
      out.push_back(x < 0 || y < 0 || x >= width || y >= height ? 0xFFFFFFFFu : pixels[(size_t)y * width + x]);
  return out;
}

Screen grabScreen() {
  Screen screen;
  Display* x = XOpenDisplay(display().c_str());
  if (!x) return screen;
  Window root = DefaultRootWindow(x);
  XWindowAttributes size;
  XGetWindowAttributes(x, root, &size);
  if (XImage* image = XGetImage(x, root, 0, 0, size.width, size.height, AllPlanes, ZPixmap)) {
    screen.width = size.width, screen.height = size.height;
    for (int y = 0; y < size.height; y++)
      for (int px = 0; px < size.width; px++) screen.pixels.push_back(XGetPixel(image, px, y) & 0xFFFFFF);
    XDestroyImage(image);
  }
  XCloseDisplay(x);
  return screen;
}

// Nanoseconds that all threads of pid have run; -1 once it is gone.
static long long runTime(pid_t pid) {
  long long total = 0;
  std::error_code error;
  std::filesystem::directory_iterator tasks("/proc/" + std::to_string(pid) + "/task", error);
  if (error) return -1;
  for (const auto& task : tasks) {
    long long ns = 0;
    std::ifstream(task.path() / "schedstat") >> ns;
    total += ns;
  }
  return total;
}

bool waitIdle(pid_t pid, int seconds) {
  long long before = runTime(pid);
  for (int i = 0; i < seconds * 10; i++) {
    usleep(100000);
    long long now = runTime(pid);
    if (now == before) return true;
    before = now;
  }
  return false;
}

Screen settledScreen(pid_t pid, int seconds) {
  Screen last;
  for (int i = 0; i < seconds; i++) {
    waitIdle(pid, seconds);
    Screen screen = grabScreen();
    if (!last.pixels.empty() && screen.pixels == last.pixels) return screen;
    last = screen;
  }
  return last;
}

unsigned long clipboardOwner() {
  Display* x = XOpenDisplay(display().c_str());
  Window owner = x ? XGetSelectionOwner(x, XInternAtom(x, "CLIPBOARD", False)) : 0;
  if (x) XCloseDisplay(x);
  return owner;
}

}  // namespace kivotest
