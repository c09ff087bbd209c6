#include "e2e/KivoProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
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
  std::vector<char*> env{&state[0]};
  for (char** e = environ; *e; e++)
    if (std::string(*e).rfind("XDG_STATE_HOME=", 0) != 0) env.push_back(*e);
  env.push_back(nullptr);
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

void KivoProcess::answerFileDialog(const std::string& title, const std::string& path) {
  std::string dialog = waitForWindow(title);
  if (dialog.empty()) throw std::runtime_error("no dialog titled " + title);
  keyTo(dialog, "alt+f ctrl+a");
  shell("xdotool type --delay 20 '" + path + "'");
  keyTo(dialog, "Return");
}

Geometry KivoProcess::canvas() const {
  Geometry g = findCanvas(windowId);
  if (g.width == 0) throw std::runtime_error("no canvas window found under " + windowId);
  return g;
}

void KivoProcess::canvasDrag(int px0, int py0, int px1, int py1, const std::string& modifiers) {
  Geometry c = canvas();
  auto at = [&](int px, int py) { return " mousemove " + std::to_string(c.x + px) + " " + std::to_string(c.y + py); };
  std::string hold = modifiers.empty() ? "" : " keydown " + modifiers;
  std::string letGo = modifiers.empty() ? "" : " keyup " + modifiers;
  shell("xdotool" + at(px0, py0) + " sleep 0.05" + hold + " mousedown 1 sleep 0.05" +
        at((px0 + px1) / 2, (py0 + py1) / 2) + " sleep 0.05" + at(px1, py1) + " sleep 0.05 mouseup 1" + letGo);
  waitIdle(child);
}

void KivoProcess::closeBox() {
  const char* tool = std::getenv("KIVO_WM_CLOSE");
  if (!tool) throw std::runtime_error("KIVO_WM_CLOSE is not set");
  shell(std::string("'") + tool + "' " + windowId);
}

void KivoProcess::saveAsFromMenu(const std::string& path) {
  key("alt+f");
  key("Up Up Return");
  answerFileDialog("Save Layout File As", path);
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
