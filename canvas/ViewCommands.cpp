// The view transform, configure and paint, zoom, move, show all, the wheel,
// the middle drag and single-layer mode.
#include "app/KivoWindow.h"
#include "canvas/ScaleBar.h"
#include "canvas/CellSceneSync.h"
#include "canvas/ShapeFill.h"

#include <GL/glu.h>

#include <algorithm>
#include <cstdlib>

namespace {

// Change the view through one of its operations, then repaint.
template <class Change>
void changeView(KivoWindow* window, Change change) {
  change(window->sizedView());
  window->canvas->update();
}

}  // namespace

ViewTransform& KivoWindow::sizedView() {
  view.width = canvas->getWidth();
  view.height = canvas->getHeight();
  return view;
}

long KivoWindow::onCmdZoomIn(FXObject*, FXSelector, void*) {
  changeView(this, [](ViewTransform& view) { view.zoomIn(); });
  return 1;
}

// Down to the wheel's smallest scale, where the whole layout fits twice over.
long KivoWindow::onCmdZoomOut(FXObject*, FXSelector, void*) {
  const Rect bounds = layoutBounds(layout.allLayers(), SLOT_COUNT);
  changeView(this, [&](ViewTransform& view) {
    view.zoomOut(wheelMinScale(bounds, view.width, view.height));
  });
  return 1;
}

// Fit the union of the bounding boxes of the layers that hold objects into
// the canvas.
long KivoWindow::onCmdShowAll(FXObject*, FXSelector, void*) {
  const Rect bounds = layoutBounds(layout.allLayers(), SLOT_COUNT);
  changeView(this, [&](ViewTransform& view) { view.showAll(bounds); });
  return 1;
}

// E/S/D/F move by a third of the view, the arrow keys by a quarter.
long KivoWindow::onCmdMove(FXObject*, FXSelector sel, void*) {
  int dx = 0, dy = 0;
  switch (FXSELID(sel)) {
    case ID_MOVE_UP: case ID_PAN_UP: dy = 1; break;
    case ID_MOVE_DOWN: case ID_PAN_DOWN: dy = -1; break;
    case ID_MOVE_LEFT: case ID_PAN_LEFT: dx = -1; break;
    case ID_MOVE_RIGHT: case ID_PAN_RIGHT: dx = 1; break;
    default: break;
  }
  int parts = FXSELID(sel) >= ID_PAN_UP ? 4 : 3;
  changeView(this, [&](ViewTransform& view) { view.move(dx, dy, parts); });
  return 1;
}

// What FOX reports for one notch of the wheel; notches turned while the
// program was busy arrive as one event of several times this.
const int WHEEL_NOTCH = 120;

// Zoom about the pointer: sqrt 2 per notch, down to where the whole layout
// fits twice over (so a chip of any size can be seen whole), up to 80.
// Each notch is one step, however the events came, so that the view after
// a turn of the wheel does not depend on how fast frames were drawn.
long KivoWindow::onCanvasWheel(FXObject*, FXSelector, void* ptr) {
  const FXEvent* event = static_cast<const FXEvent*>(ptr);
  if (!event || event->code == 0) return 1;
  const ViewTransform& current = sizedView();
  float minScale = wheelMinScale(layoutBounds(layout.allLayers(), SLOT_COUNT), current.width, current.height);
  const int notches = std::max(1, std::abs(event->code) / WHEEL_NOTCH);
  changeView(this, [&](ViewTransform& view) {
    for (int i = 0; i < notches; i++) view.zoomAt(event->win_x, event->win_y, event->code > 0 ? 1 : -1, minScale);
  });
  return 1;
}

// The middle button grabs the layout point under the pointer; motion keeps
// it there until the release.
long KivoWindow::onCanvasMiddlePress(FXObject*, FXSelector, void* ptr) {
  const FXEvent* event = static_cast<const FXEvent*>(ptr);
  if (!event) return 1;
  sizedView().pointAt(event->win_x, event->win_y, grabX, grabY);
  viewDrag = true;
  return 1;
}

long KivoWindow::onCanvasMiddleRelease(FXObject*, FXSelector, void* ptr) {
  const FXEvent* event = static_cast<const FXEvent*>(ptr);
  if (viewDrag && event) dragView(event->win_x, event->win_y);
  viewDrag = false;
  return 1;
}

void KivoWindow::dragView(int px, int py) {
  changeView(this, [&](ViewTransform& view) { view.placeAt(grabX, grabY, px, py); });
}

long KivoWindow::onUpdCurrentLayer(FXObject* sender, FXSelector, void*) {
  FXString name = layerFacts(currentLayer).name;
  sender->handle(this, FXSEL(SEL_COMMAND, ID_SETSTRINGVALUE), &name);
  return 1;
}

// The picture does not depend on the mode, so no repaint.
long KivoWindow::onCmdSingleLayer(FXObject*, FXSelector, void*) {
  singleLayer = !singleLayer;
  return 1;
}

long KivoWindow::onUpdSingleLayer(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, singleLayer ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

// Labels on or off: the kept picture holds them, so it is drawn again.
long KivoWindow::onCmdViewLabels(FXObject*, FXSelector, void*) {
  showLabels(!labelsShown());
  painter.forgetPicture();
  canvas->update();
  return 1;
}

long KivoWindow::onUpdViewLabels(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, labelsShown() ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

// Set the OpenGL state that every paint relies on.
long KivoWindow::onCanvasConfigure(FXObject*, FXSelector, void*) {
  if (!canvas->makeCurrent()) return 1;
  const ViewTransform& view = sizedView();
  glViewport(0, 0, view.width, view.height);
  glLineStipple(4, 0xAAAA);
  glEnable(GL_DEPTH_TEST);
  glEnable(GL_BLEND);
  glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
  glShadeModel(GL_FLAT);
  glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
  glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  gluOrtho2D(view.left(), view.right(), view.bottom(), view.top());
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
  canvas->makeNonCurrent();
  return 1;
}

long KivoWindow::onCanvasPaint(FXObject*, FXSelector, void*) {
  if (!canvas->makeCurrent()) return 1;
  syncCellScene(layout, cellScene);
  painter.paint(sizedView(), layout.allLayers(), [this](int i) { return layout.takeAppendedCorners(i); },
                mouseRect, &cellScene);
  paintOverlays();
  drawScaleBar(view, units);
  if (glvisual->isDoubleBuffer()) canvas->swapBuffers();
  canvas->makeNonCurrent();
  if (inspectFollows) showInspect(mouseRect.getCurX(), mouseRect.getCurY());
  return 1;
}

void KivoWindow::toLayout(int px, int py, int& lx, int& ly) {
  int32_t x, y;
  sizedView().toLayout(px, py, x, y);
  lx = x;
  ly = y;
}
