// New, Open, Save, Save As, Quit and the close box.
#include "app/KivoWindow.h"

long KivoWindow::onCmdFileNew(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdFileOpen(FXObject*, FXSelector, void*) { return 1; }
long KivoWindow::onCmdFileSave(FXObject*, FXSelector, void*) { return 1; }

long KivoWindow::onUpdFileSave(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, saved ? ID_DISABLE : ID_ENABLE), nullptr);
  return 1;
}

long KivoWindow::onCmdFileSaveAs(FXObject*, FXSelector, void*) { return 1; }

long KivoWindow::onCmdQuit(FXObject*, FXSelector, void*) {
  FXuint answer = FXMessageBox::warning(this, MBOX_QUIT_SAVE_CANCEL, "Warning!", "%s", "Quit without saving?");
  if (answer == MBOX_CLICKED_QUIT) getApp()->exit(0);
  return 1;
}

long KivoWindow::onCmdClose(FXObject*, FXSelector, void*) {
  getApp()->exit(0);
  return 1;
}

bool KivoWindow::askSaveFirst() { return true; }
void KivoWindow::emptyLayout() {}
