// The main window's command that shows and hides the layer panel.
#include "app/KivoWindow.h"
#include "canvas/LayerDrawing.h"
#include "panels/LayerDlg.h"

long KivoWindow::onCmdLayers(FXObject*, FXSelector, void*) {
  if (layerDlg->shown()) {
    layerDlg->hide();
  } else {
    // Beside the main window, to its right, rather than over its menu bar.
    layerDlg->move(getX() + getWidth() + 8, getY());
    layerDlg->show();
  }
  setFocus();
  return 1;
}

// Check the Layers entry and button while the panel is shown. Taking the
// focus back keeps the keyboard shortcuts with the main window while the
// panel is open.
long KivoWindow::onUpdLayers(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, layerDlg->shown() ? ID_CHECK : ID_UNCHECK), nullptr);
  // Never while a message box or file dialog is up: it would lose the
  // keyboard to the main window on every update.
  if (!getApp()->getModalWindow()) setFocus();
  return 1;
}

// Outlines on or off: the kept picture holds them, so it is drawn again.
long KivoWindow::onCmdViewOutlines(FXObject*, FXSelector, void*) {
  showOutlines(!outlinesShown());
  painter.forgetPicture();
  canvas->update();
  return 1;
}

long KivoWindow::onUpdViewOutlines(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, outlinesShown() ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}
