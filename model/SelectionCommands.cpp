// Delete, Select All, Select None and Invert over the whole layout, or over
// the current layer alone in single-layer mode.
#include "app/KivoWindow.h"

namespace {

// Apply one operation to the layers the selection commands reach, report
// the summed count (disabled layers refuse and count 0) and repaint.
void runOnLayers(KivoWindow* w, int op, int filter, const char* text) {
  int count = w->layout.applySelection(w->reach(), op, filter, nullptr);
  w->setStatusMessage(FXStringVal(count) + text);
  w->canvas->update();
}

}  // namespace

long KivoWindow::onCmdDelete(FXObject*, FXSelector, void*) {
  size_t count = layout.removeSelected(reach(), "deleted");
  setStatusMessage(FXStringVal((FXlong)count) + " object(s) deleted");
  canvas->update();
  return 1;
}

long KivoWindow::onCmdSelectAll(FXObject*, FXSelector, void*) {
  runOnLayers(this, OP_SELECT, MATCH_ALL, " object(s) selected");
  return 1;
}

long KivoWindow::onCmdSelectNone(FXObject*, FXSelector, void*) {
  runOnLayers(this, OP_DESELECT, MATCH_ALL, " object(s) deselected");
  return 1;
}

long KivoWindow::onCmdSelectInvert(FXObject*, FXSelector, void*) {
  runOnLayers(this, OP_TOGGLE, MATCH_ALL, " object(s) selection changed");
  return 1;
}
