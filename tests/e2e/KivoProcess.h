#ifndef KIVO_TESTS_KIVOPROCESS_H
#define KIVO_TESTS_KIVOPROCESS_H

// Drives the real kivo binary under the tests' Xvfb with xdotool.

#include <sys/types.h>

#include <string>

namespace kivotest {

// Run a shell command with the tests' display; returns its standard output.
std::string shell(const std::string& command, int* status = nullptr);

class KivoProcess {
public:
  // Start build/kivo and wait (bounded) for its main window to be mapped.
  KivoProcess();
  // Kills the process if it still runs.
  ~KivoProcess();

  const std::string& window() const { return windowId; }
  // Give the main window the keyboard focus, then send keys (xdotool names).
  void key(const std::string& keys);
  // Type text into the focused widget.
  void type(const std::string& text);
  // Wait for a window titled exactly title to appear; returns its id or "".
  std::string waitForWindow(const std::string& title, int seconds = 10);
  // Focus a window by id, then send keys to it.
  void keyTo(const std::string& id, const std::string& keys);
  // Mouse: move to window position (x, y) of the main window, press, release.
  void mouseMove(int x, int y);
  void mouseDown(int button);
  void mouseUp(int button);
  void drag(int x0, int y0, int x1, int y1, const std::string& modifiers = "");
  // Choose a file in the open file dialog: focus its name field, type the path.
  void answerFileDialog(const std::string& title, const std::string& path);
  // Wait for the process to end; its exit status, or -1 on time-out.
  int waitForExit(int seconds = 10);
  pid_t pid() const { return child; }

private:
  pid_t child = 0;
  std::string windowId;
};

}  // namespace kivotest

#endif
