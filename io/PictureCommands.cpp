// File > Export Picture: asks for a file and a size, then writes the
// layers as the canvas shows them (io/PictureExport.h).
#include <new>

#include "app/KivoWindow.h"
#include "canvas/CellSceneSync.h"
#include "io/PictureExport.h"

namespace {

const char PictureFilePatterns[] = "PNG files (*.png)\nAll Files (*)";

void showError(FXWindow* owner, const FXString& text) {
  FXMessageBox::error(owner, MBOX_OK, "Error!", "%s", text.text());
}

}  // namespace

bool KivoWindow::exportPicture(const FXString& path, int width, int height, FXString& why) {
  if (!canvas->makeCurrent()) {
    why = " not exported: the canvas cannot draw now.";
    return false;
  }
  std::vector<FXColor> pixels;
  try {
    syncCellScene(layout, cellScene);
    const ViewTransform& shown = sizedView();
    pixels = drawPicture(pictureView(shown, width, height), shown.width, shown.height,
                         [this](const ViewTransform& tile) {
                           painter.paintLayers(tile, layout.allLayers(),
                                               [this](int i) { return layout.takeAppendedCorners(i); },
                                               &cellScene);
                         });
  } catch (const std::bad_alloc&) {
    canvas->makeNonCurrent();
    why = " not exported: not enough memory for a picture of this size.";
    return false;
  }
  canvas->makeNonCurrent();
  canvas->update();  // the tiles were drawn where the next frame goes
  int error = 0;
  const SaveStatus status = savePicture(getApp(), path.text(), pixels, width, height, error);
  if (status != SAVE_OK) {
    why = saveFailureText(status, error).c_str();
    why.substitute("not saved", "not exported");
    return false;
  }
  return true;
}

// The file first, then the size (the canvas's by default), asked again
// until it is one the picture can have or the question is cancelled.
long KivoWindow::onCmdExportPicture(FXObject*, FXSelector, void*) {
  FXFileDialog dialog(this, "Export Picture");
  dialog.setPatternList(PictureFilePatterns);
  if (!dialog.execute()) return 1;
  FXString target = dialog.getFilename();
  if (FXPath::extension(target).empty()) target += ".png";
  if (FXStat::exists(target)) {
    const FXString question = "Overwrite?\n" + target;
    if (FXMessageBox::warning(this, MBOX_YES_NO, "Warning!", "%s", question.text()) != MBOX_CLICKED_YES)
      return 1;
  }
  const ViewTransform& shown = sizedView();
  FXString size;
  size.format("%d x %d", shown.width, shown.height);
  int width = 0, height = 0;
  for (;;) {
    if (!FXInputDialog::getString(size, this, "Export Picture", "Size in pixels (width x height):")) return 1;
    std::string why;
    if (parsePictureSize(size.text(), width, height, why)) break;
    showError(this, FXString("Size \"") + size + "\":\n" + why.c_str());
  }
  FXString why;
  getApp()->beginWaitCursor();
  const bool written = exportPicture(target, width, height, why);
  getApp()->endWaitCursor();
  if (!written) {
    showError(this, "File:\n" + target + "\n" + why);
    return 1;
  }
  FXString done;
  done.format(" (%d x %d)", width, height);
  setStatusMessage("exported: " + target + done);
  return 1;
}
