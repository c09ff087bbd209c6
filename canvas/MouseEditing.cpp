// Editing with the mouse: select, deselect, toggle, add, measure.
#include "app/KivoWindow.h"

long KivoWindow::onCanvasMotion(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCanvasLeftPress(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCanvasLeftRelease(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCanvasRightPress(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCanvasRightRelease(FXObject*, FXSelector, void*) { return 1; }
