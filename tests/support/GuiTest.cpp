#include "support/GuiTest.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"

namespace kivotest {

namespace {

// How long a joined thread may still be listed in /proc at exit: its task
// is reaped within milliseconds even on a loaded machine, so a thread
// listed after two seconds is one that was never joined.
const double JOINED_THREAD_GRACE_MS = 2000;

pid_t xvfbPid = 0;
std::string displayName;
// Counts the requests to end the program, so that a test sees at once
// whether a command ended it.
class CountingApp : public FXApp {
public:
  using FXApp::FXApp;
  int exits = 0;
  void exit(FXint code) override { exits++, FXApp::exit(code); }
};

CountingApp* theApp = nullptr;
std::vector<std::string> tempDirs;

void stopXvfbAndCleanUp() {
  std::error_code error;
  for (const std::string& dir : tempDirs)
    if (std::filesystem::remove_all(dir, error), error) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
  if (xvfbPid > 0) kill(xvfbPid, SIGTERM), waitpid(xvfbPid, nullptr, 0), xvfbPid = 0;
}

// Registered once, by the first of Xvfb and tempDir to need it.
void cleanUpAtExit() {
  static bool registered = false;
  if (!registered) registered = true, std::atexit(stopXvfbAndCleanUp);
}

// Start Xvfb on the first free display; it writes the number to a pipe.
void startXvfb() {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    int devnull = open("/dev/null", O_WRONLY);
    dup2(devnull, 1), dup2(devnull, 2), close(fds[0]);
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
           "-noreset", (char*)nullptr);
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  for (char c; read(fds[0], &c, 1) == 1 && c != '\n';) number += c;
  close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
  xvfbPid = pid;
  displayName = ":" + number;
  setenv("DISPLAY", displayName.c_str(), 1);
  cleanUpAtExit();
}

double nowMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void collectLabels(FXWindow* window, std::string& text) {
  for (FXWindow* child = window->getFirst(); child; child = child->getNext()) {
    FXLabel* label = dynamic_cast<FXLabel*>(child);
    if (label && !dynamic_cast<FXButton*>(child) && !label->getText().empty())
      text += (text.empty() ? "" : "\n") + std::string(label->getText().text());
    collectLabels(child, text);
  }
}

}  // namespace

std::string display() {
  if (displayName.empty()) startXvfb();
  return displayName;
}

int exitRequests() { return theApp ? theApp->exits : 0; }

FXApp* app() {
  if (!theApp) {
    display();
    static int argc = 1;
    static char name[] = "kivo-tests";
    static char* argv[] = {name, nullptr};
    theApp = new CountingApp("Kivo", "0.0.1");
    theApp->init(argc, argv);
    theApp->create();
  }
  return theApp;
}

void runFor(int ms) {
  double end = nowMs() + ms;
  do {
    if (!app()->runOneEvent(false)) usleep(1000);
  } while (nowMs() < end);
}

bool runUntil(const std::function<bool()>& done, int ms) {
  for (double end = nowMs() + ms; !done() && nowMs() < end;) runFor(10);
  return done();
}

void settle() {
  FXApp* a = app();
  a->flush(true);
  a->runWhileEvents();
  a->forceRefresh();
  a->flush(true);
  a->runWhileEvents();
}

// Mesa unloads its driver when the last context or the display goes, and
// reloads it for the next window. Kept loaded from the first window on, the
// driver's thread-local storage stays where LeakSanitizer found it, and at exit
// it can still name (and tests/lsan.supp suppress) what the driver keeps.
void pinGraphicsDriver() {
  std::vector<std::string> drivers;
  dl_iterate_phdr([](dl_phdr_info* info, size_t, void* names) {
    std::string name = info->dlpi_name;
    if (name.find("_dri.so") != name.npos || name.find("libgallium") != name.npos)
      static_cast<std::vector<std::string>*>(names)->push_back(name);
    return 0;
  }, &drivers);
  for (const std::string& name : drivers) dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

KivoWindow* newWindow() {
  KivoWindow* window = new KivoWindow(app());
  window->create();
  window->layerDlg->create();  // the application's create() realises it in the program
  for (double end = nowMs() + 5000; nowMs() < end && !(window->shown() && window->canvas->getWidth() > 1);) runFor(10);
  // The server has mapped and sized the window once it has answered a round
  // trip; settle() makes one and handles the events that came before it.
  settle();
  pinGraphicsDriver();
  return window;
}

void deleteWindow(KivoWindow* window) {
  delete window;
  settle();
}

bool shutDown() {
  pinGraphicsDriver();
  delete theApp;  // its root window's children, then the display
  theApp = nullptr;
  // Any thread left now would run while LeakSanitizer's tracer stops the world.
  // A thread that was joined can still be listed for a moment: pthread_join
  // returns when the kernel clears the thread's id, before the task is
  // reaped (seen with Mesa's shader cache thread on a loaded machine).
  std::string threads, self = std::to_string(syscall(SYS_gettid));
  for (double end = nowMs() + JOINED_THREAD_GRACE_MS;;) {
    threads.clear();
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task"))
      if (task.path().filename() != self) threads += " " + readFile(task.path() / "comm");
    if (threads.empty() || nowMs() > end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!threads.empty()) std::fprintf(stderr, "threads still running at exit:%s", threads.c_str());
  return threads.empty();
}

// ---- Modal answers -------------------------------------------------------

struct ModalResponder::Impl : public FXObject {
  FXDECLARE(Impl)
public:
  enum { ID_POLL = 1 };
  std::deque<std::function<void(FXWindow*)>> actions;
  std::vector<ModalRecord> records;
  FXWindow* lastAnswered = nullptr;

  long onPoll(FXObject*, FXSelector, void*) {
    FXWindow* modal = app()->getModalWindow();
    if (modal && modal != lastAnswered && modal->shown() && !actions.empty()) {
      lastAnswered = modal;
      ModalRecord record;
      if (FXTopWindow* top = dynamic_cast<FXTopWindow*>(modal)) record.title = top->getTitle().text();
      if (dynamic_cast<FXMessageBox*>(modal)) collectLabels(modal, record.text);
      if (FXFileDialog* dialog = dynamic_cast<FXFileDialog*>(modal)) record.filename = dialog->getFilename().text();
      records.push_back(record);
      std::function<void(FXWindow*)> action = actions.front();
      actions.pop_front();
      action(modal);
    } else if (!modal) {
      lastAnswered = nullptr;
    }
    app()->addTimeout(this, ID_POLL, 20);
    return 1;
  }
};

FXDEFMAP(ModalResponder::Impl) ImplMap[] = {
  FXMAPFUNC(SEL_TIMEOUT, ModalResponder::Impl::ID_POLL, ModalResponder::Impl::onPoll),
};
FXIMPLEMENT(ModalResponder::Impl, FXObject, ImplMap, ARRAYNUMBER(ImplMap))

ModalResponder::ModalResponder() : impl(new Impl) { app()->addTimeout(impl, Impl::ID_POLL, 20); }

ModalResponder::~ModalResponder() {
  app()->removeTimeout(impl, Impl::ID_POLL);
  delete impl;
}

ModalResponder& ModalResponder::pressButton(FXuint clicked) {
  return custom([clicked](FXWindow* modal) {
    modal->handle(modal, clicked ? FXSEL(SEL_COMMAND, FXMessageBox::ID_CLICKED_YES + clicked - MBOX_CLICKED_YES)
                                 : FXSEL(SEL_CLOSE, 0), nullptr);
  });
}

ModalResponder& ModalResponder::chooseFile(const std::string& path) {
  return custom([path](FXWindow* modal) {
    FXFileDialog* dialog = dynamic_cast<FXFileDialog*>(modal);
    bool accept = dialog && !path.empty();
    if (accept) dialog->setFilename(path.c_str());
    modal->handle(modal, FXSEL(SEL_COMMAND, accept ? FXDialogBox::ID_ACCEPT : FXDialogBox::ID_CANCEL), nullptr);
  });
}

ModalResponder& ModalResponder::custom(std::function<void(FXWindow*)> action) {
  impl->actions.push_back(action);
  return *this;
}

const std::vector<ModalRecord>& ModalResponder::records() const { return impl->records; }

size_t ModalResponder::pending() const { return impl->actions.size(); }

// ---- Pixels --------------------------------------------------------------

std::vector<Rgba> readWindow(FXWindow* window, int& width, int& height) {
  app()->flush(true);
  width = window->getWidth();
  height = window->getHeight();
  std::vector<Rgba> image(static_cast<size_t>(width) * height, Rgba{0, 0, 0, 0});
  XImage* ximage = XGetImage(static_cast<Display*>(app()->getDisplay()), window->id(), 0, 0, width, height, AllPlanes,
                             ZPixmap);
  if (!ximage) return image;
  for (int py = 0; py < height; py++)
    for (int px = 0; px < width; px++) {
      unsigned long p = XGetPixel(ximage, px, py);
      image[static_cast<size_t>(py) * width + px] = Rgba{uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), 255};
    }
  XDestroyImage(ximage);
  return image;
}

int paintersDiffer(KivoWindow* window) {
  int w, h, n = 0;
  const std::vector<Rgba> fast = paintAndRead(window, w, h);
  window->painter.setReferenceMode(true);
  const std::vector<Rgba> plain = paintAndRead(window, w, h);
  window->painter.setReferenceMode(false);
  for (size_t i = 0; i < fast.size(); i++) n += fast[i] != plain[i];
  return n;
}

std::vector<Rgba> paintAndRead(KivoWindow* window, int& width, int& height) {
  window->handle(window->canvas, FXSEL(SEL_PAINT, KivoWindow::ID_CANVAS), nullptr);
  return readWindow(window->canvas, width, height);
}

Rgba pixelAt(const std::vector<Rgba>& image, int width, int px, int py) {
  return image.at(static_cast<size_t>(py) * width + px);
}

// ---- Canvas events -------------------------------------------------------

void canvasEvent(KivoWindow* window, FXSelType type, int code, int px, int py, FXuint state) {
  FXEvent event;
  event.type = type;
  event.time = 0;
  event.win_x = event.root_x = px;
  event.win_y = event.root_y = py;
  event.state = state;
  event.code = event.click_button = code;
  event.click_count = 1;
  event.moved = type == SEL_MOTION;
  window->handle(window->canvas, FXSEL(type, KivoWindow::ID_CANVAS), &event);
}

void canvasMotion(KivoWindow* window, int px, int py, FXuint state) {
  canvasEvent(window, SEL_MOTION, 0, px, py, state);
}

void canvasPress(KivoWindow* window, int button, int px, int py, FXuint state) {
  canvasEvent(window, button == 3 ? SEL_RIGHTBUTTONPRESS : SEL_LEFTBUTTONPRESS, button, px, py, state);
}

void canvasRelease(KivoWindow* window, int button, int px, int py, FXuint state) {
  canvasEvent(window, button == 3 ? SEL_RIGHTBUTTONRELEASE : SEL_LEFTBUTTONRELEASE, button, px, py, state);
}

// ---- Files ---------------------------------------------------------------

std::string tempDir() {
  char pattern[] = "/tmp/kivo-test-XXXXXX";
  if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
  cleanUpAtExit();
  tempDirs.push_back(pattern);
  return pattern;
}

std::string readFile(const std::string& path) {
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

}  // namespace kivotest
