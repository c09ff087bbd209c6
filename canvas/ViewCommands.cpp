// The view transform, configure and paint, zoom, move, show all and
// single-layer mode.
#include "app/KivoWindow.h"

long KivoWindow::onCmdZoomIn(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdZoomOut(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdShowAll(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdMove(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdSingleLayer(FXObject*, FXSelector, void*) {
  singleLayer = !singleLayer;
  return 1;
}
long KivoWindow::onUpdSingleLayer(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, singleLayer ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}
long KivoWindow::onCanvasConfigure(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCanvasPaint(FXObject*, FXSelector, void*) { return 1; }
void KivoWindow::toLayout(int, int, int& lx, int& ly) const { lx = ly = 0; }
int KivoWindow::visibleWidth() const { return 0; }
int KivoWindow::visibleHeight() const { return 0; }
