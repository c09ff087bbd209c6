// The grid, snapping, the rulers and moving the selection with the mouse.
#include "app/KivoWindow.h"

#include "canvas/EdgeSnap.h"
#include "canvas/LayerDrawing.h"
#include "model/CountText.h"

namespace {

// A ruler's end goes to a shape's edge this many pixels away or nearer: as
// far as a hand places the pointer on a line without trying hard.
const double EDGE_SNAP_PIXELS = 5.0;
// While the pointer moves, a ruler's end looks for edges only in layouts of
// up to this many objects and no placed cells: beyond, one search takes
// longer than a frame, and the end finds its edge at the release.
const size_t LIVE_EDGE_SNAP_OBJECTS = 200000;

size_t objectCount(const Layout& layout) {
  size_t n = 0;
  for (int i = 0; i < SLOT_COUNT; i++) n += layout.layer(i).size();
  return n;
}

}  // namespace

long KivoWindow::onCmdViewGrid(FXObject*, FXSelector, void*) {
  grid.shown = !grid.shown;
  canvas->update();
  return 1;
}

long KivoWindow::onUpdViewGrid(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, grid.shown ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

long KivoWindow::onCmdViewSnap(FXObject*, FXSelector, void*) {
  grid.snap = !grid.snap;
  return 1;
}

long KivoWindow::onUpdViewSnap(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, grid.snap ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

// Ask for the step in the shown units, offering the current one; a step
// that is malformed, not positive or beyond the 32-bit range is refused
// with the reason and the step stays.
long KivoWindow::onCmdGridStep(FXObject*, FXSelector, void*) {
  FXString text = units.format(grid.step).c_str();
  const FXString prompt = FXString("Grid step (") + units.name() + "):";
  syncRecoveryJournal();
  if (!FXInputDialog::getString(text, this, "Grid Step", prompt)) return 1;
  int64_t step = 0;
  if (!units.parse(text.text(), step, 1, INT32_MAX)) {
    const FXString why = "Not a grid step: \"" + text + "\"\nGive a length of at least one database unit, in " +
                         units.name() + ".";
    FXMessageBox::error(this, MBOX_OK, "Error!", "%s", why.text());
    return 1;
  }
  grid.step = step;
  setStatusMessage(FXString("grid step ") + units.format(step).c_str() + " " + units.name());
  canvas->update();
  return 1;
}

long KivoWindow::onCmdClearRulers(FXObject*, FXSelector, void*) {
  rulers.clear();
  canvas->update();
  return 1;
}

long KivoWindow::onUpdClearRulers(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, rulers.kept().empty() ? ID_DISABLE : ID_ENABLE), nullptr);
  return 1;
}

void KivoWindow::resetGridAndRulers() {
  grid.step = GridSettings::defaultStep(layout.format() == FORMAT_GDSII, layout.gdsInfo().metres);
  rulers.clear();
}

void KivoWindow::paintOverlays() {
  const ViewTransform& v = view;
  loadProjection(v);
  if (grid.shown) drawGrid(v, grid.step);
  if (moveDrag.active) drawMovePreview(v, layout, reach(), moveDrag.dx, moveDrag.dy);
  rulers.draw(v, units);
}

void KivoWindow::snapPoint(int& x, int& y) const {
  x = grid.snapped(x);
  y = grid.snapped(y);
}

namespace {

// Where a ruler's end under the pointer goes: to the nearest edge within
// EDGE_SNAP_PIXELS, else to the grid while snapping is on, else (x, y).
void rulerPoint(KivoWindow* w, bool live, int& x, int& y) {
  const ViewTransform& v = w->sizedView();
  if (!live || (objectCount(w->layout) <= LIVE_EDGE_SNAP_OBJECTS && w->layout.instances().size() == 0)) {
    double px, py;
    v.pointAt(w->pointerX, w->pointerY, px, py);
    int32_t sx = x, sy = y;
    if (snapToEdge(w->layout, w->topmost, EDGE_SNAP_PIXELS / v.scale, px, py, sx, sy)) {
      x = sx, y = sy;
      return;
    }
  }
  w->snapPoint(x, y);
}

}  // namespace

void KivoWindow::rightDragPressed(FXuint state, int px, int py, int x, int y) {
  if (state & SHIFTMASK) return;  // the band zooms
  if (state & CONTROLMASK) {
    if (layout.selectedCount(reach()) == 0) return;
    snapPoint(x, y);
    moveDrag.begin(x, y, px, py);
    return;
  }
  rulerPoint(this, false, x, y);
  rulers.begin(x, y, px, py);
}

void KivoWindow::rightDragMoved(int x, int y) {
  if (moveDrag.active) {
    snapPoint(x, y);
    moveDrag.follow(x, y);
  } else if (rulers.dragging()) {
    rulerPoint(this, true, x, y);
    rulers.stretchTo(x, y, pointerX, pointerY, view.scale);
  }
}

void KivoWindow::rightDragReleased(int px, int py, int x, int y) {
  if (moveDrag.active) {
    moveDrag.active = false;
    snapPoint(x, y);
    if (!draggedFar(moveDrag.pressPX, moveDrag.pressPY, px, py) || !moveDrag.follow(x, y)) return;
    if (moveDrag.dx == 0 && moveDrag.dy == 0) return;
    size_t moved = 0;
    switch (layout.moveSelected(reach(), moveDrag.dx, moveDrag.dy, &moved, true)) {
      case Layout::MOVE_DONE: setStatusMessage(countText(moved, "object(s) moved")); break;
      case Layout::MOVE_OUT_OF_RANGE:
        setStatusMessage("Nothing moved: an object would leave the coordinate range");
        break;
      default: break;
    }
  } else if (rulers.dragging()) {
    rulerPoint(this, false, x, y);
    rulers.stretchTo(x, y, px, py, view.scale);
    rulers.finish(true);
  }
}

bool KivoWindow::cancelRightDrag() {
  if (mouseRect.rightState != 1) return false;
  mouseRect.rightState = 0;
  moveDrag.active = false;
  rulers.finish(false);
  bandZoom = false;
  setStatusMessage("Ready");
  canvas->update();
  return true;
}
