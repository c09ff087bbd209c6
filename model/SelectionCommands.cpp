// Delete, Select All, Select None and Invert over the whole layout, or over
// the current layer alone in single-layer mode.
#include "app/KivoWindow.h"

namespace {

// Apply one operation to the layers the selection commands reach; returns
// the summed count. Disabled layers refuse and count 0.
int applyToLayers(Layer layers[LAYER_COUNT], bool singleLayer, int currentLayer, int op,
                  int filter) {
  if (singleLayer) return layers[currentLayer].apply(op, filter, nullptr);
  int count = 0;
  for (int i = 0; i < LAYER_COUNT; i++) count += layers[i].apply(op, filter, nullptr);
  return count;
}

}  // namespace

long KivoWindow::onCmdDelete(FXObject*, FXSelector, void*) {
  int count = applyToLayers(layers, singleLayer, currentLayer, OP_DELETE, MATCH_SELECTED);
  if (count > 0) saved = false;
  setStatusMessage(FXStringVal(count) + " object(s) deleted");
  canvas->update();
  return 1;
}

long KivoWindow::onCmdSelectAll(FXObject*, FXSelector, void*) {
  int count = applyToLayers(layers, singleLayer, currentLayer, OP_SELECT, MATCH_ALL);
  setStatusMessage(FXStringVal(count) + " object(s) selected");
  canvas->update();
  return 1;
}

long KivoWindow::onCmdSelectNone(FXObject*, FXSelector, void*) {
  int count = applyToLayers(layers, singleLayer, currentLayer, OP_DESELECT, MATCH_ALL);
  setStatusMessage(FXStringVal(count) + " object(s) deselected");
  canvas->update();
  return 1;
}

long KivoWindow::onCmdSelectInvert(FXObject*, FXSelector, void*) {
  int count = applyToLayers(layers, singleLayer, currentLayer, OP_TOGGLE, MATCH_ALL);
  setStatusMessage(FXStringVal(count) + " object(s) selection changed");
  canvas->update();
  return 1;
}
