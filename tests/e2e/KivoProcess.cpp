#include "e2e/KivoProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "support/GuiTest.h"

namespace kivotest {

bool waitForFile(const std::string& path, int seconds) {
  long lastSize = -1;
  for (int i = 0; i < seconds * 20; i++, usleep(50000)) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    long size = in ? (long)in.tellg() : -1;
    if (size >= 0 && size == lastSize) return true;
    lastSize = size;
  }
  return false;
}

bool waitUntil(const std::function<bool()>& done, int seconds) {
  for (int i = 0; i < seconds * 20; i++, usleep(50000))
    if (done()) return true;
  return done();
}

// From `xwininfo -tree`'s lines "  0x400240 (has no name): ()  18x18+4+328  +722+414"
// (size, relative and absolute corner).
std::vector<Geometry> windowsIn(const std::string& title, int width, int height) {
  static const std::regex child(R"(^\s+0x[0-9a-f]+ .*\s(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+?(-?\d+)\+?(-?\d+)\s*$)");
  std::istringstream lines(shell("xwininfo -tree -id " + waitForWindow(title)));
  std::vector<Geometry> found;
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_match(line, m, child) && std::stoi(m[1]) == width && std::stoi(m[2]) == height)
      found.push_back({std::stoi(m[3]), std::stoi(m[4]), width, height});
  std::sort(found.begin(), found.end(),
            [](const Geometry& a, const Geometry& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  return found;
}

void clickOn(const Geometry& g, int button) {
  shell("xdotool mousemove " + std::to_string(g.x + g.width / 2) + " " + std::to_string(g.y + g.height / 2) +
        " sleep 0.05 click " + std::to_string(button));
}

std::string recordLine(const Box& b, const std::string& code) {
  return "REC(" + std::to_string(b.x) + "," + std::to_string(b.y) + "," + std::to_string(b.w) + "," +
         std::to_string(b.h) + "," + code + ")\n";
}

std::string savedRecords(const std::string& path) {
  std::string text = readFile(path);
  return text.substr(std::min(text.size(), text.find('\n') + 1));
}

void View::toLayout(int px, int py, int32_t& x, int32_t& y) const {
  x = ox + (int32_t)(px / (double)scale);
  y = oy + (int32_t)((height - py) / (double)scale);
}

Box View::drag(int px0, int py0, int px1, int py1) const {
  int32_t x0, y0, x1, y1;
  toLayout(px0, py0, x0, y0);
  toLayout(px1, py1, x1, y1);
  return Box{std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0)};
}

KivoProcess::KivoProcess(const std::vector<std::string>& args, const std::string& stateHome) {
  display();
  const char* binary = std::getenv("KIVO_BINARY");
  if (!binary) throw std::runtime_error("KIVO_BINARY is not set");
  std::vector<char*> argv = {const_cast<char*>(binary)};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::string state = "XDG_STATE_HOME=" + (stateHome.empty() ? tempDir() : stateHome);
  statusLog = tempDir() + "/status.log";
  std::string log = "KIVO_STATUS_LOG=" + statusLog;
  std::vector<char*> env{&state[0], &log[0]};
  for (char** e = environ; *e; e++)
    if (std::string(*e).rfind("XDG_STATE_HOME=", 0) != 0 && std::string(*e).rfind("KIVO_STATUS_LOG=", 0) != 0)
      env.push_back(*e);
  env.push_back(nullptr);
  // The pointer waits outside the windows, so that no crosshair follows it
  // onto the new canvas.
  shell("xdotool mousemove $(xdotool getdisplaygeometry)");  // the far corner
  child = fork();
  if (child == 0) {
    execve(binary, argv.data(), env.data());
    _exit(127);
  }
  windowId = waitForWindow("Kivo", 20);
  if (windowId.empty() || !waitIdle(child)) throw std::runtime_error("kivo's window did not appear");
}

KivoProcess::~KivoProcess() {
  if (child > 0 && waitForExit(0) == -1) kill(child, SIGKILL), waitpid(child, nullptr, 0);
}

void KivoProcess::keyTo(const std::string& id, const std::string& keys) {
  shell("xdotool windowfocus --sync " + id + " && xdotool key --delay 60 " + keys);
  waitIdle(child);
}

void KivoProcess::key(const std::string& keys) { keyTo(windowId, keys); }

// Focus the window titled title, select its field's text with the keys
// clear, type text over it and press Return.
void KivoProcess::typeInto(const std::string& title, const std::string& clear, const std::string& text) {
  std::string box = waitForWindow(title);
  if (box.empty()) throw std::runtime_error("no window titled " + title);
  keyTo(box, clear);
  shell("xdotool type --delay 20 '" + text + "'");
  keyTo(box, "Return");
}

void KivoProcess::answerFileDialog(const std::string& title, const std::string& path) {
  typeInto(title, "alt+f ctrl+a", path);
}

Geometry KivoProcess::canvas() const {
  Geometry g = findCanvas(windowId);
  if (g.width == 0) throw std::runtime_error("no canvas window found under " + windowId);
  return g;
}

void KivoProcess::canvasDrag(int px0, int py0, int px1, int py1, const std::string& modifiers, int button) {
  Geometry c = canvas();
  auto at = [&](int px, int py) { return " mousemove " + std::to_string(c.x + px) + " " + std::to_string(c.y + py); };
  std::string hold = modifiers.empty() ? "" : " keydown " + modifiers;
  std::string letGo = modifiers.empty() ? "" : " keyup " + modifiers;
  std::string b = std::to_string(button);
  shell("xdotool" + at(px0, py0) + " sleep 0.05" + hold + " mousedown " + b + " sleep 0.05" +
        at((px0 + px1) / 2, (py0 + py1) / 2) + " sleep 0.05" + at(px1, py1) + " sleep 0.05 mouseup " + b + letGo);
  waitIdle(child);
}

void KivoProcess::pointAt(int px, int py) {
  Geometry c = canvas();
  shell("xdotool mousemove " + std::to_string(c.x + px) + " " + std::to_string(c.y + py));
  waitIdle(child);
}

void KivoProcess::closeBox() {
  const char* tool = std::getenv("KIVO_WM_CLOSE");
  if (!tool) throw std::runtime_error("KIVO_WM_CLOSE is not set");
  shell(std::string("'") + tool + "' " + windowId);
}

void KivoProcess::saveAsFromMenu(const std::string& path) {
  menu("alt+f", "Up Up Return");
  answerFileDialog("Save Layout File As", path);
}

// The pointer goes to the status bar, below the canvas: leaving the canvas
// this way sends it no motion, so its inspect field keeps its shape.
void KivoProcess::menu(const std::string& open, const std::string& keys) {
  Geometry c = canvas();
  shell("xdotool mousemove " + std::to_string(c.x + c.width - 8) + " " + std::to_string(c.y + c.height + 30));
  key(open);
  key(keys);
}

void KivoProcess::answerInput(const std::string& title, const std::string& text) { typeInto(title, "ctrl+a", text); }

bool KivoProcess::waitForStatus(const std::string& line, int seconds) {
  return waitUntil([&] {
    std::string log = "\n" + readFile(statusLog);
    size_t at = log.find("\n" + line + "\n", statusSeen);
    if (at == std::string::npos) return false;
    statusSeen = at + line.size() + 1;
    return true;
  }, seconds);
}

bool KivoProcess::quitFromMenu(const std::string& answer) {
  key("alt+f");
  key("Up Return");
  std::string box = waitForWindow("Warning!");
  if (!box.empty()) keyTo(box, answer);
  return !box.empty();
}

int KivoProcess::waitForExit(int seconds) {
  for (int i = 0; i <= seconds * 10; i++) {
    int status = 0;
    if (waitpid(child, &status, WNOHANG) == child) {
      child = 0;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (i < seconds * 10) usleep(100000);
  }
  return -1;
}

}  // namespace kivotest
