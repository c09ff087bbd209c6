// The main window's command that shows and hides the layer panel.
#include "app/KivoWindow.h"
#include "panels/LayerDlg.h"

long KivoWindow::onCmdLayers(FXObject*, FXSelector, void*) { return 1; }

long KivoWindow::onUpdLayers(FXObject*, FXSelector, void*) { return 1; }
