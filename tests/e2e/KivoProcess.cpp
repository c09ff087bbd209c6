#include "e2e/KivoProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "support/GuiTest.h"

namespace kivotest {

std::string shell(const std::string& command, int* status) {
  display();
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int rc = pclose(pipe);
  if (status) *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

KivoProcess::KivoProcess() {
  display();
  const char* binary = std::getenv("KIVO_BINARY");
  if (!binary) throw std::runtime_error("KIVO_BINARY is not set");
  child = fork();
  if (child == 0) {
    execl(binary, binary, (char*)nullptr);
    _exit(127);
  }
  windowId = waitForWindow("Kivo", 20);
  if (windowId.empty()) throw std::runtime_error("kivo's window did not appear");
  usleep(300000);
}

KivoProcess::~KivoProcess() {
  if (child > 0 && waitForExit(0) == -1) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
}

std::string KivoProcess::waitForWindow(const std::string& title, int seconds) {
  std::string id = shell("timeout " + std::to_string(seconds) + " xdotool search --sync --onlyvisible --name '^" +
                         title + "$' 2>/dev/null | head -n 1");
  return id;
}

void KivoProcess::keyTo(const std::string& id, const std::string& keys) {
  shell("xdotool windowfocus --sync " + id + " && xdotool key --delay 60 " + keys);
  usleep(200000);
}

void KivoProcess::key(const std::string& keys) { keyTo(windowId, keys); }

void KivoProcess::type(const std::string& text) {
  shell("xdotool type --delay 20 '" + text + "'");
  usleep(200000);
}

void KivoProcess::mouseMove(int x, int y) {
  shell("xdotool mousemove --window " + windowId + " " + std::to_string(x) + " " + std::to_string(y));
  usleep(50000);
}

void KivoProcess::mouseDown(int button) {
  shell("xdotool mousedown " + std::to_string(button));
  usleep(50000);
}

void KivoProcess::mouseUp(int button) {
  shell("xdotool mouseup " + std::to_string(button));
  usleep(100000);
}

void KivoProcess::drag(int x0, int y0, int x1, int y1, const std::string& modifiers) {
  mouseMove(x0, y0);
  if (!modifiers.empty()) shell("xdotool keydown " + modifiers);
  mouseDown(1);
  mouseMove((x0 + x1) / 2, (y0 + y1) / 2);
  mouseMove(x1, y1);
  mouseUp(1);
  if (!modifiers.empty()) shell("xdotool keyup " + modifiers);
  usleep(100000);
}

void KivoProcess::answerFileDialog(const std::string& title, const std::string& path) {
  std::string dialog = waitForWindow(title);
  if (dialog.empty()) throw std::runtime_error("no dialog titled " + title);
  keyTo(dialog, "alt+f ctrl+a");
  type(path);
  keyTo(dialog, "Return");
}

int KivoProcess::waitForExit(int seconds) {
  for (int i = 0; i <= seconds * 10; i++) {
    int status = 0;
    pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) {
      child = 0;
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (i < seconds * 10) usleep(100000);
  }
  return -1;
}

}  // namespace kivotest
