#ifndef KIVO_TESTS_GUITEST_H
#define KIVO_TESTS_GUITEST_H

// Support for tests that drive real FOX windows under Xvfb.
//
// Each test binary gets at most one Xvfb (started on first use on a free
// display, stopped at exit) and one FXApp, created and initialised once.

#include <fx.h>
#include <fx3d.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class KivoWindow;

namespace kivotest {

// The X display of this test binary (":N"), starting Xvfb when needed.
std::string display();
// The application of this test binary, created on first use.
FXApp* app();
// How many times the program has asked the application to exit.
int exitRequests();

// A new main window, created, shown and laid out, its canvas configured.
KivoWindow* newWindow();
// Delete a window made by newWindow and let the application settle.
void deleteWindow(KivoWindow* window);
// End the binary's GUI cleanly before exit: delete the application with its
// windows (their GL contexts and threads go with them) and close the display.
// False, after naming them on standard error, when threads still run then.
bool shutDown();

// Handle pending events and timers for about ms milliseconds.
void runFor(int ms);
// Handle events until done() holds or ms milliseconds have passed; done()'s last answer.
bool runUntil(const std::function<bool()>& done, int ms = 5000);
// Handle what is pending now, then run one update cycle of every widget
// (the SEL_UPDATE messages that enable, check and relabel them).
void settle();

// A message box or dialog that a test has answered.
struct ModalRecord {
  std::string title;  // the window title
  std::string text;   // the message text of a message box
  std::string filename;  // the file dialog's preset file name when it opened
};

// Answers modal windows from a timer, in the order they appear, and records
// each one. Install it before the command that opens them; at most one
// ModalResponder at a time.
class ModalResponder {
public:
  ModalResponder();
  ~ModalResponder();
  // Answer the next message box by pressing the button that returns this
  // result (MBOX_CLICKED_YES, ..._NO, ..._CANCEL, ..._QUIT, ..._SAVE, ..._OK),
  // or with 0 by closing it without a button.
  ModalResponder& pressButton(FXuint clicked);
  // Answer the next file dialog by accepting this file name (an absolute
  // path), or cancel it when the path is empty.
  ModalResponder& chooseFile(const std::string& path);
  // Answer the next modal window with a custom action.
  ModalResponder& custom(std::function<void(FXWindow*)> action);
  // What was answered so far, in order.
  const std::vector<ModalRecord>& records() const;
  // Answers still queued (a test usually expects 0).
  size_t pending() const;

  struct Impl;

private:
  Impl* impl;
};

// Pixels as rows from the top, width * height entries; (px, py) are window
// coordinates, y growing downwards. Alpha is not compared.
struct Rgba {
  uint8_t r, g, b, a;
  bool operator==(const Rgba& o) const { return r == o.r && g == o.g && b == o.b; }
  bool operator!=(const Rgba& o) const { return !(*this == o); }
};
// What the X server shows in a window (XGetImage): what the user sees.
std::vector<Rgba> readWindow(FXWindow* window, int& width, int& height);
// Paint the canvas now (its SEL_PAINT, as the layer panel sends it) and read
// what the window shows.
std::vector<Rgba> paintAndRead(KivoWindow* window, int& width, int& height);
// How many pixels of the painted canvas the plain painter paints otherwise
// than the fast one (they must agree: 0).
int paintersDiffer(KivoWindow* window);
Rgba pixelAt(const std::vector<Rgba>& image, int width, int px, int py);

// Send an event to the canvas as the X server would: motion, button press
// or release at window position (px, py) with modifier state (SHIFTMASK,
// CONTROLMASK). canvasEvent sends any type; code is the button, or the
// wheel's turn (+-120 a notch).
void canvasEvent(KivoWindow* window, FXSelType type, int code, int px, int py, FXuint state = 0);
void canvasMotion(KivoWindow* window, int px, int py, FXuint state = 0);
void canvasPress(KivoWindow* window, int button, int px, int py, FXuint state = 0);
void canvasRelease(KivoWindow* window, int button, int px, int py, FXuint state = 0);

// A fresh empty directory under /tmp for one test's files; removed at exit.
std::string tempDir();
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);

}  // namespace kivotest

#endif
