#include "support/GuiTest.h"

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"

namespace kivotest {

namespace {

pid_t xvfbPid = 0;
std::string displayName;
FXApp* theApp = nullptr;
std::vector<std::string> tempDirs;

void stopXvfbAndCleanUp() {
  for (const std::string& dir : tempDirs) {
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
  }
  if (xvfbPid > 0) {
    kill(xvfbPid, SIGTERM);
    waitpid(xvfbPid, nullptr, 0);
    xvfbPid = 0;
  }
}

// Start Xvfb on the first free display; it writes the number to a pipe.
void startXvfb() {
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) {
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    std::string fd = std::to_string(fds[1]);
    execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten", "tcp",
           "-noreset", (char*)nullptr);
    _exit(127);
  }
  close(fds[1]);
  std::string number;
  char c;
  while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  close(fds[0]);
  if (number.empty()) throw std::runtime_error("Xvfb did not start (is the xvfb package installed?)");
  xvfbPid = pid;
  displayName = ":" + number;
  setenv("DISPLAY", displayName.c_str(), 1);
  std::atexit(stopXvfbAndCleanUp);
}

double nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

void collectLabels(FXWindow* window, std::string& text) {
  for (FXWindow* child = window->getFirst(); child; child = child->getNext()) {
    FXLabel* label = dynamic_cast<FXLabel*>(child);
    if (label && !dynamic_cast<FXButton*>(child) && !label->getText().empty()) {
      if (!text.empty()) text += "\n";
      text += label->getText().text();
    }
    collectLabels(child, text);
  }
}

}  // namespace

std::string display() {
  if (displayName.empty()) startXvfb();
  return displayName;
}

FXApp* app() {
  if (!theApp) {
    display();
    static int argc = 1;
    static char name[] = "kivo-tests";
    static char* argv[] = {name, nullptr};
    theApp = new FXApp("Kivo", "0.0.1");
    theApp->init(argc, argv);
    theApp->create();
  }
  return theApp;
}

void runFor(int ms) {
  FXApp* a = app();
  double end = nowMs() + ms;
  do {
    if (!a->runOneEvent(false)) usleep(1000);
  } while (nowMs() < end);
}

void settle() {
  FXApp* a = app();
  a->flush(true);
  a->runWhileEvents();
  a->forceRefresh();
  a->flush(true);
  a->runWhileEvents();
}

KivoWindow* newWindow() {
  KivoWindow* window = new KivoWindow(app());
  window->create();
  window->layerDlg->create();  // the application's create() realises it in the program
  double end = nowMs() + 5000;
  while (nowMs() < end && !(window->shown() && window->canvas->getWidth() > 1)) runFor(10);
  runFor(50);
  settle();
  return window;
}

void deleteWindow(KivoWindow* window) {
  delete window;
  settle();
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
      FXTopWindow* top = dynamic_cast<FXTopWindow*>(modal);
      if (top) record.title = top->getTitle().text();
      if (dynamic_cast<FXMessageBox*>(modal)) {
        record.kind = "message";
        collectLabels(modal, record.text);
      } else if (FXFileDialog* dialog = dynamic_cast<FXFileDialog*>(modal)) {
        record.kind = "file";
        record.filename = dialog->getFilename().text();
      } else {
        record.kind = modal->getClassName();
      }
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
  impl->actions.push_back([clicked](FXWindow* modal) {
    if (clicked == 0)
      modal->handle(modal, FXSEL(SEL_CLOSE, 0), nullptr);
    else
      modal->handle(modal, FXSEL(SEL_COMMAND, FXMessageBox::ID_CLICKED_YES + clicked - MBOX_CLICKED_YES), nullptr);
  });
  return *this;
}

ModalResponder& ModalResponder::chooseFile(const std::string& path) {
  impl->actions.push_back([path](FXWindow* modal) {
    FXFileDialog* dialog = dynamic_cast<FXFileDialog*>(modal);
    if (dialog && !path.empty()) {
      dialog->setFilename(path.c_str());
      dialog->handle(dialog, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr);
    } else {
      modal->handle(modal, FXSEL(SEL_COMMAND, FXDialogBox::ID_CANCEL), nullptr);
    }
  });
  return *this;
}

ModalResponder& ModalResponder::custom(std::function<void(FXWindow*)> action) {
  impl->actions.push_back(action);
  return *this;
}

const std::vector<ModalRecord>& ModalResponder::records() const { return impl->records; }

size_t ModalResponder::pending() const { return impl->actions.size(); }

// ---- Pixels --------------------------------------------------------------

std::vector<Rgba> readWindow(FXWindow* window, int& width, int& height) {
  Display* xdisplay = static_cast<Display*>(app()->getDisplay());
  app()->flush(true);
  width = window->getWidth();
  height = window->getHeight();
  std::vector<Rgba> image(static_cast<size_t>(width) * height, Rgba{0, 0, 0, 0});
  XImage* ximage = XGetImage(xdisplay, window->id(), 0, 0, width, height, AllPlanes, ZPixmap);
  if (!ximage) return image;
  for (int py = 0; py < height; py++)
    for (int px = 0; px < width; px++) {
      unsigned long pixel = XGetPixel(ximage, px, py);
      image[static_cast<size_t>(py) * width + px] =
          Rgba{uint8_t((pixel >> 16) & 0xFF), uint8_t((pixel >> 8) & 0xFF), uint8_t(pixel & 0xFF), 255};
    }
  XDestroyImage(ximage);
  return image;
}

std::vector<Rgba> paintAndRead(KivoWindow* window, int& width, int& height) {
  window->handle(window->canvas, FXSEL(SEL_PAINT, KivoWindow::ID_CANVAS), nullptr);
  return readWindow(window->canvas, width, height);
}

Rgba pixelAt(const std::vector<Rgba>& image, int width, int px, int py) {
  return image.at(static_cast<size_t>(py) * width + px);
}

// ---- Canvas events -------------------------------------------------------

namespace {

void sendCanvasEvent(KivoWindow* window, FXSelType type, int button, int px, int py, FXuint state) {
  FXEvent event;
  event.type = type;
  event.time = 0;
  event.win_x = px;
  event.win_y = py;
  event.root_x = px;
  event.root_y = py;
  event.state = state;
  event.code = button;
  event.click_button = button;
  event.click_count = 1;
  event.moved = type == SEL_MOTION;
  window->handle(window->canvas, FXSEL(type, KivoWindow::ID_CANVAS), &event);
}

}  // namespace

void canvasMotion(KivoWindow* window, int px, int py, FXuint state) {
  sendCanvasEvent(window, SEL_MOTION, 0, px, py, state);
}

void canvasPress(KivoWindow* window, int button, int px, int py, FXuint state) {
  sendCanvasEvent(window, button == 3 ? SEL_RIGHTBUTTONPRESS : SEL_LEFTBUTTONPRESS, button, px, py, state);
}

void canvasRelease(KivoWindow* window, int button, int px, int py, FXuint state) {
  sendCanvasEvent(window, button == 3 ? SEL_RIGHTBUTTONRELEASE : SEL_LEFTBUTTONRELEASE, button, px, py, state);
}

// ---- Files ---------------------------------------------------------------

std::string tempDir() {
  char pattern[] = "/tmp/kivo-test-XXXXXX";
  char* dir = mkdtemp(pattern);
  if (!dir) throw std::runtime_error("mkdtemp failed");
  if (tempDirs.empty() && xvfbPid == 0) std::atexit(stopXvfbAndCleanUp);
  tempDirs.push_back(dir);
  return dir;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

}  // namespace kivotest
