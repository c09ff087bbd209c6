// Delete, Select All, Select None and Invert over the whole layout, or over
// the current layer alone in single-layer mode.
#include "app/KivoWindow.h"

namespace {

// Apply one operation to the layers the selection commands reach, report
// the summed count (disabled layers refuse and count 0) and repaint.
int runOnLayers(KivoWindow* w, int op, int filter, const char* text) {
  int count = 0;
  if (w->singleLayer) {
    count = w->layers[w->currentLayer].apply(op, filter, nullptr);
  } else {
    for (Layer& layer : w->layers) count += layer.apply(op, filter, nullptr);
  }
  w->setStatusMessage(FXStringVal(count) + text);
  w->canvas->update();
  return count;
}

}  // namespace

long KivoWindow::onCmdDelete(FXObject*, FXSelector, void*) {
  if (runOnLayers(this, OP_DELETE, MATCH_SELECTED, " object(s) deleted") > 0) saved = false;
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
