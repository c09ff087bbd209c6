// Editing with the mouse: select, deselect, toggle, add, measure.
#include "app/KivoWindow.h"

#include <algorithm>
#include <cmath>

#include "canvas/ShapeFill.h"
#include "model/Shapes.h"

namespace {

const FXString NOT_ADDED_DISABLED = "No object added: layer is disabled";

// Apply one operation with the band as argument to the current layer in
// single-layer mode, else to every layer; returns the summed count.
int applyBand(KivoWindow* w, int op, int filter) {
  return w->layout.applySelection(w->reach(), op, filter, &w->mouseRect);
}

const char* verbOf(int mode) {
  switch (mode) {
    case TRACK_SELECT: return "selected";
    case TRACK_DESELECT: return "deselected";
    default: return "selection changed";
  }
}

int operationOf(int mode) {
  switch (mode) {
    case TRACK_SELECT: return OP_SELECT;
    case TRACK_DESELECT: return OP_DESELECT;
    default: return OP_TOGGLE;
  }
}

// Keep the event's pixel as the last pointer position and map it to layout
// units; false when there is no event.
bool storePointer(KivoWindow* w, void* ptr, int& x, int& y) {
  const FXEvent* event = static_cast<const FXEvent*>(ptr);
  if (!event) return false;
  w->pointerX = event->win_x;
  w->pointerY = event->win_y;
  w->toLayout(w->pointerX, w->pointerY, x, y);
  return true;
}

}  // namespace

long KivoWindow::onCanvasMotion(FXObject*, FXSelector, void* ptr) {
  int x, y;
  if (!storePointer(this, ptr, x, y)) return 1;
  if (viewDrag) {
    dragView(pointerX, pointerY);
    toLayout(pointerX, pointerY, x, y);
  }
  rightDragMoved(x, y);
  if (mouseRect.getMode() == TRACK_ADD && mouseRect.leftState == 1) snapPoint(x, y);
  mouseRect.track(x, y);
  showPointerFields(x, y);
  canvas->update();
  return 1;
}

// Start an edit; the modifiers held now choose what the release does.
long KivoWindow::onCanvasLeftPress(FXObject*, FXSelector, void* ptr) {
  const FXEvent* event = static_cast<const FXEvent*>(ptr);
  if (!event || mouseRect.getMode() != TRACK_NONE) return 1;
  if (leftDoubleClick(event)) return 1;
  int x, y;
  storePointer(this, ptr, x, y);
  bool ctrl = (event->state & CONTROLMASK) != 0;
  bool shift = (event->state & SHIFTMASK) != 0;
  mouseRect.setMode(ctrl || shift ? TRACK_SELECT_FAMILY : TRACK_ADD_FAMILY);
  if (mouseRect.getMode() == TRACK_SELECT_FAMILY) {
    mouseRect.setMode(ctrl && shift ? TRACK_TOGGLE : shift ? TRACK_DESELECT : TRACK_SELECT);
    setStatusMessage("Use mouse to select object(s)");
  } else {
    mouseRect.setMode(TRACK_ADD);
    setStatusMessage("Use mouse to add object(s)");
    // The corners of a new rectangle snap; a click still toggles what lies
    // under the pointer itself.
    addPressX = x, addPressY = y;
    snapPoint(x, y);
  }
  mouseRect.leftPress(x, y);
  canvas->update();
  return 1;
}

// Finish the edit: select, deselect or toggle what the band picks, toggle
// what a click hits, or add the dragged rectangle to the current layer.
long KivoWindow::onCanvasLeftRelease(FXObject*, FXSelector, void* ptr) {
  int x, y;
  if (!storePointer(this, ptr, x, y)) return 1;
  const int rawX = x, rawY = y;
  int mode = mouseRect.getMode();
  if (mode == TRACK_ADD) snapPoint(x, y);
  mouseRect.leftRelease(x, y);
  bool click = mouseRect.getW() == 0 && mouseRect.getH() == 0;
  if (mode == TRACK_ADD) {
    click = rawX == addPressX && rawY == addPressY;
    if (click) mouseRect.setRect(rawX, rawY, 0, 0);
  }
  // Half a pixel more: the layout unit of a click is taken at the pixel's
  // edge, up to half a pixel from where the pointer points.
  Label::clickReach = (int32_t)std::min(std::ceil((LABEL_CLICK_PIXELS + 0.5) / scale), (double)INT32_MAX);
  if (mode == TRACK_SELECT || mode == TRACK_DESELECT || mode == TRACK_TOGGLE) {
    int count = applyBand(this, operationOf(mode), click ? MATCH_AT : MATCH_INSIDE);
    setStatusMessage(FXStringVal(count) + " object(s) " + verbOf(mode));
  } else if (mode == TRACK_ADD && click) {
    int count = applyBand(this, OP_TOGGLE, MATCH_AT);
    setStatusMessage(FXStringVal(count) + " object(s) selection changed");
  } else if (mode == TRACK_ADD && mouseRect.getW() > 0 && mouseRect.getH() > 0) {
    GroupNode* node = newLayoutObject(currentLayer);
    node->setRect(mouseRect.getX(), mouseRect.getY(), mouseRect.getW(), mouseRect.getH());
    // A disabled layer refuses the object.
    if (layout.addObjects({{currentLayer, node}}, "1 object added") == 1)
      setStatusMessage("1 object added");
    else
      setStatusMessage(NOT_ADDED_DISABLED);
  }
  mouseRect.setMode(TRACK_NONE);
  canvas->update();
  return 1;
}

// Escape: a right drag ends without its move, ruler or zoom; during a left
// drag nothing is added or selected and the band goes; with no drag under
// way the rulers go.
long KivoWindow::onCmdCancelDrag(FXObject*, FXSelector, void*) {
  if (cancelRightDrag()) return 1;
  if (mouseRect.getMode() == TRACK_NONE) return onCmdClearRulers(nullptr, 0, nullptr);
  mouseRect.setMode(TRACK_NONE);
  mouseRect.leftState = 0;
  mouseRect.rightState = 0;
  setStatusMessage("Ready");
  canvas->update();
  return 1;
}

// The right button measures: it drives the band, never an edit. With Shift
// held at the press, the view zooms to the band at the release.
long KivoWindow::onCanvasRightPress(FXObject*, FXSelector, void* ptr) {
  int x, y;
  if (!storePointer(this, ptr, x, y)) return 1;
  mouseRect.rightPress(x, y);
  noteRightPress(static_cast<const FXEvent*>(ptr));
  if (mouseRect.rightState == 1) {
    bandZoom = (static_cast<const FXEvent*>(ptr)->state & SHIFTMASK) != 0;
    rightDragPressed(static_cast<const FXEvent*>(ptr)->state, pointerX, pointerY, x, y);
  }
  canvas->update();
  return 1;
}

long KivoWindow::onCanvasRightRelease(FXObject*, FXSelector, void* ptr) {
  int x, y;
  if (!storePointer(this, ptr, x, y)) return 1;
  const bool dragging = mouseRect.rightState == 1;
  mouseRect.rightRelease(x, y);
  if (dragging && bandZoom) zoomToBand(mouseRect);
  if (dragging) rightDragReleased(pointerX, pointerY, x, y);
  if (dragging) bandZoom = false;
  rightClick(static_cast<const FXEvent*>(ptr));
  canvas->update();
  return 1;
}
