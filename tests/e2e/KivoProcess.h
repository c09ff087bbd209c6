#ifndef KIVO_TESTS_KIVOPROCESS_H
#define KIVO_TESTS_KIVOPROCESS_H

// Drives the real kivo binary under the tests' Xvfb with xdotool.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "support/ProgramWindow.h"

namespace kivotest {

// Wait (bounded) until a file exists and its size stops changing; true when it does.
bool waitForFile(const std::string& path, int seconds = 10);
// Wait (bounded) until done() holds; done()'s last answer.
bool waitUntil(const std::function<bool()>& done, int seconds = 10);
// The windows of exactly this size inside the window titled title (waited
// for), top to bottom, then left to right.
std::vector<Geometry> windowsIn(const std::string& title, int width, int height);
// Click a button of the pointer at the middle of a window.
void clickOn(const Geometry& g, int button = 1);

// ---- Predictions made from the rules the user is promised -----------------

// A rectangle in layout units.
struct Box { int32_t x = 0, y = 0, w = 0, h = 0; };
// "REC(x,y,w,h,CODE)\n".
std::string recordLine(const Box& b, const std::string& code);
// The records of a saved layout file: its text after the BB line (whose
// bounds io_tests prove).
std::string savedRecords(const std::string& path);

// The view: origin at the canvas's lower-left corner, scale in pixels per
// unit, every quotient truncated toward zero.
struct View {
  int32_t ox = 0, oy = 0;
  float scale = 10.0f;
  int width = 0, height = 0;  // canvas size
  void toLayout(int px, int py, int32_t& x, int32_t& y) const;
  // The rectangle a left drag between two canvas pixels adds.
  Box drag(int px0, int py0, int px1, int py1) const;
  // Canvas pixel of a layout point (py growing downwards).
  int pixelX(double x) const { return (int)((x - ox) * scale); }
  int pixelY(double y) const { return height - (int)((y - oy) * scale); }
};

class KivoProcess {
public:
  // Start build/kivo with these arguments and wait (bounded) for its main
  // window to be mapped. Its recovery journals go to stateHome, a fresh
  // folder when empty, so that a run never meets the journals of another;
  // its status texts to a log of its own (KIVO_STATUS_LOG).
  explicit KivoProcess(const std::vector<std::string>& args = {}, const std::string& stateHome = "");
  // Kills the process if it still runs.
  ~KivoProcess();

  // Give the main window the keyboard focus, then send keys (xdotool names);
  // returns once the program has handled them.
  void key(const std::string& keys);
  // Focus a window by id, then send keys to it.
  void keyTo(const std::string& id, const std::string& keys);
  // Choose a file in the open file dialog: focus its name field, type the path.
  void answerFileDialog(const std::string& title, const std::string& path);
  // File > Save As... (second entry from the bottom), then the path.
  void saveAsFromMenu(const std::string& path);
  // Open a menu by its key (alt+v) and send keys to it, with the pointer
  // first moved off the canvas and the menus: an entry under the pointer
  // would be the one Up and Down start from.
  void menu(const std::string& open, const std::string& keys);
  // Answer a one-line input box (Go To, Grid Step) with text and Return.
  void answerInput(const std::string& title, const std::string& text);
  // Wait (bounded) for this line ("status: TEXT", "shape: TEXT") in the
  // status texts the program logs, after the line last waited for.
  bool waitForStatus(const std::string& line, int seconds = 10);
  // File > Quit (the last entry); answer the "Warning!" box with these keys
  // (alt+q, alt+s, alt+c). False when no box came.
  bool quitFromMenu(const std::string& answer);
  Geometry canvas() const;
  // A drag of a button (left unless told) between two canvas pixels (py
  // growing downwards), modifiers held from press to release; a click when
  // both pixels are one.
  void canvasDrag(int px0, int py0, int px1, int py1, const std::string& modifiers = "", int button = 1);
  // Move the pointer over a canvas pixel.
  void pointAt(int px, int py);
  // Send the close box's WM_DELETE_WINDOW to the main window.
  void closeBox();
  // Wait for the process to end; its exit status, or -1 on time-out.
  int waitForExit(int seconds = 10);
  pid_t pid() const { return child; }

private:
  void typeInto(const std::string& title, const std::string& clear, const std::string& text);
  pid_t child = 0;
  std::string windowId;
  std::string statusLog;    // KIVO_STATUS_LOG of the process
  size_t statusSeen = 0;    // its bytes up to the line last waited for
};

}  // namespace kivotest

#endif
