// New, Open, Save, Save As, Quit and the close box.
#include <algorithm>
#include <cstring>
#include <new>

#include "app/KivoWindow.h"
#include "io/Gdsii.h"
#include "io/LayoutFile.h"
#include "io/MskShapes.h"
#include "io/RecoveryJournal.h"
#include "model/CellFlatten.h"
#include "model/CountText.h"

namespace {

const char LayoutFilePatterns[] =
    "Layout Files (*.msk)\nGDSII Files (*.gds)\nText Files (*.txt)\nAll Files (*.*)";
// Open offers every layout file first, whatever case its name is in.
const char OpenFilePatterns[] =
    "Layout files (*.msk,*.gds,*.gds2,*.gdsii)\n"
    "Layout Files (*.msk)\nGDSII Files (*.gds)\nText Files (*.txt)\nAll Files (*.*)";

void showError(FXWindow* owner, const FXString& text) {
  FXMessageBox::error(owner, MBOX_OK, "Error!", "%s", text.text());
}

FXString numberText(long n) {
  FXString text;
  text.format("%ld", n);
  return text;
}

// The "Quit without saving?" question of Quit and of the close box: Quit
// ends the program, Save ends it once the layout was written, anything else
// stays.
void confirmQuit(KivoWindow* window) {
  window->syncRecoveryJournal();
  FXuint answer =
      FXMessageBox::warning(window, MBOX_QUIT_SAVE_CANCEL, "Warning!", "%s", "Quit without saving?");
  if (answer == MBOX_CLICKED_QUIT) {
    window->removeRecoveryJournal();
    window->getApp()->exit(0);
  } else if (answer == MBOX_CLICKED_SAVE && window->saveLayout()) {
    window->getApp()->exit(0);
  }
}

// The warning's lines on layer codes that the layer table does not know:
// up to ten of them (each cut to 40 characters), then "...".
FXString unknownCodesText(const ReadResult& result) {
  FXString codes;
  for (const std::string& code : result.unknownCodes) {
    if (!codes.empty()) codes += ", ";
    codes += code.size() > 40 ? FXString(code.data(), 40) + "..." : FXString(code.data(), (FXint)code.size());
  }
  if (result.unknownCodeCount > (long)result.unknownCodes.size()) codes += ", ...";
  return numberText(result.unknownObjects) + " object(s) with unknown layer codes: " + codes +
         "\nThey are kept on the unknown layer and saved with their codes.";
}

}  // namespace

// Ask "Save First?" when there are unsaved changes; true when the command
// may go on (saved, or the changes are to be dropped).
bool KivoWindow::askSaveFirst() {
  if (!layout.isModified()) return true;
  syncRecoveryJournal();
  FXuint answer = FXMessageBox::warning(this, MBOX_YES_NO_CANCEL, "Warning!", "%s", "Save First?");
  if (answer == MBOX_CLICKED_YES) return saveLayout();
  return answer == MBOX_CLICKED_NO;
}

long KivoWindow::onCmdFileNew(FXObject*, FXSelector, void*) {
  if (!askSaveFirst()) return 1;
  Layer empty[LAYER_COUNT];
  flattenCopiedInstances();
  layout.replaceContent(empty, UNTITLED_NAME, true);
  layoutReplaced();
  setStatusMessage("Ready");
  canvas->update();
  return 1;
}

long KivoWindow::onCmdFileOpen(FXObject*, FXSelector, void*) {
  FXFileDialog dialog(this, "Load Layout File");
  dialog.setPatternList(OpenFilePatterns);
  dialog.setMatchMode(dialog.getMatchMode() | FILEMATCH_CASEFOLD);
  if (!askSaveFirst()) return 1;
  if (!dialog.execute()) return 1;
  openFile(dialog.getFilename());
  return 1;
}

namespace {

// Reads shorter than a second show no progress: a box that flashes up and
// goes tells nothing.
const FXlong QUIET_NANOSECONDS = 1000000000;

// Shows how far a GDSII read has come, with Cancel, once it has taken
// QUIET_NANOSECONDS.
class ReadProgress : public GdsProgress {
public:
  ReadProgress(FXWindow* w, const FXString& name) : owner(w), file(name) {}
  ~ReadProgress() override { delete dialog; }
  bool advance(uint64_t done, uint64_t total) override {
    if (!dialog) {
      if (FXThread::time() - start < QUIET_NANOSECONDS) return true;
      dialog = new FXProgressDialog(owner, "Reading", "Reading " + file,
                                    PROGRESSDIALOG_NORMAL | PROGRESSDIALOG_CANCEL);
      dialog->setTotal(1000);
      dialog->create();
      dialog->show(PLACEMENT_OWNER);
    }
    dialog->setProgress((FXuint)(std::min(done, total) * 1000 / std::max<uint64_t>(total, 1)));
    owner->getApp()->runModalWhileEvents(dialog);
    return !dialog->isCancelled();
  }

private:
  FXWindow* owner;
  FXString file;
  FXProgressDialog* dialog = nullptr;
  const FXlong start = FXThread::time();
};

}  // namespace

// Read a file into fresh layers and replace the layout with them, fit the
// view and report what was skipped; false, with the layout unchanged, when
// the file cannot be read, is too large for the memory or its read is
// cancelled.
bool KivoWindow::openFile(const FXString& chosen) {
  if (!FXStat::exists(chosen)) {
    showError(this, "File:\n" + chosen + "\n not found!");
    return false;
  }
  Layer fresh[LAYER_COUNT];
  for (Layer& layer : fresh) layer.enable();
  ReadResult result;
  // The reader is chosen by content: a GDSII file starts with its HEADER record.
  GdsReadResult gds;
  GdsLibraryInfo info;
  CellLibrary cells;
  const FileIdentity read = FileIdentity::of(chosen.text());  // the journal's fingerprint is of this file
  getApp()->beginWaitCursor();
  const bool gdsii = isGdsiiFile(chosen.text());
  ReadStatus status = READ_OK;
  try {
    ReadProgress progress(this, chosen);
    status = gdsii ? readGdsiiFile(chosen.text(), activeLayerMap(), fresh, info, gds, &progress, &cells,
                                   startCell)
                   : readLayoutFile(chosen.text(), fresh, result);
  } catch (const std::bad_alloc&) {
    getApp()->endWaitCursor();
    showError(this, "File:\n" + chosen + "\n is too large for the memory left: nothing was read.");
    return false;
  }
  getApp()->endWaitCursor();
  if (gds.cancelled) {
    setStatusMessage("Open cancelled: " + chosen);
    return false;
  }
  if (gdsii) result.errorNumber = gds.errorNumber;
  if (status == READ_NOT_REGULAR) {
    showError(this, "File:\n" + chosen + "\n is not a regular file: nothing was read.");
    return false;
  }
  if (status == READ_OPEN_FAILED) {
    showError(this, "File:\n" + chosen + "\n cannot be opened: " + std::strerror(result.errorNumber));
    return false;
  }
  if (status == READ_IO_FAILED) {
    showError(this, "File:\n" + chosen + "\n read fail: " + std::strerror(result.errorNumber));
    return false;
  }
  // The cell asked for on the command line is for the first file alone.
  const bool askedForCell = !startCell.empty();
  startCell.clear();
  if (gds.unknownCell && askedForCell) {
    cellError = gds.error;
    return false;
  }
  if (!gds.error.empty()) {
    showError(this, "File:\n" + chosen + "\n" + gds.errorText().c_str());
    return false;
  }
  // The old objects leave with the fresh layers at the end of this scope.
  flattenCopiedInstances();
  layout.replaceContent(fresh, chosen, layout.isUntitled(), gdsii ? FORMAT_GDSII : FORMAT_MSK,
                        info, gdsii ? &cells : nullptr);
  layoutReplaced();
  if (journal) journal->baseRead(read);
  recentFiles->appendFile(FXPath::absolute(chosen));
  canvas->update();
  onCmdShowAll(nullptr, 0, nullptr);
  setStatusMessage("active file " + chosen);
  if (result.skippedLines > 0 || result.unknownObjects > 0) {
    FXString text = "File:\n" + chosen;
    if (result.skippedLines > 0)
      text += "\n" + numberText(result.skippedLines) +
              " line(s) skipped: not well-formed records.\nFirst skipped line: " +
              numberText(result.firstSkippedLine);
    if (result.unknownObjects > 0) text += "\n" + unknownCodesText(result);
    FXMessageBox::warning(this, MBOX_OK, "Warning!", "%s", text.text());
  }
  if (!gds.skipReport().empty()) {
    FXString text = "File:\n" + chosen + "\nNot read:\n" + gds.skipReport().c_str();
    FXMessageBox::warning(this, MBOX_OK, "Warning!", "%s", text.text());
  }
  return true;
}

// Asks for a name while the layout is untitled or its file is gone, then
// saves in the format the name asks for (saveFormatFor) through
// saveLayoutFile or saveGdsiiFile, which never damage the file on disk.
long KivoWindow::onCmdFileSave(FXObject*, FXSelector, void*) {
  saveLayout();
  return 1;
}

// True when the layout was written.
bool KivoWindow::saveLayout() {
  FXFileDialog dialog(this, "Save Layout File As");
  dialog.setFilename(layout.fileName());
  dialog.setPatternList(LayoutFilePatterns);
  FXString target = layout.fileName();
  if (layout.isUntitled() || !FXStat::exists(target)) {
    syncRecoveryJournal();
    if (!dialog.execute()) return false;
    target = dialog.getFilename();
    if (FXStat::exists(target)) {
      FXString question = "Owerwrite?\n" + target;
      if (FXMessageBox::warning(this, MBOX_YES_NO, "Warning!", "%s", question.text()) != MBOX_CLICKED_YES)
        return false;
    }
  }
  int error = 0;
  const FileFormat format = saveFormatFor(target.text(), layout.format());
  const Layer* layers = layout.allLayers();
  getApp()->beginWaitCursor();
  // A text file has no cells: the shown cell is written flat.
  Layer flat[LAYER_COUNT];
  for (int i = 0; i < LAYER_COUNT; i++) flat[i].setId(i);  // the writer's codes follow the ids
  FlattenResult expanded;
  if (format == FORMAT_MSK && layout.instances().size() > 0) {
    expanded = flattenCell(layout.cells(), layout.shownCell(), flat, GDS_OBJECT_LIMIT);
    layers = flat;
  }
  if (expanded.overLimit) {
    getApp()->endWaitCursor();
    const std::string why = "The layout has more than " + std::to_string(GDS_OBJECT_LIMIT) +
                            " objects when flattened; it was not saved.";
    showError(this, "File:\n" + target + "\n" + why.c_str());
    return false;
  }
  if (format == FORMAT_MSK) {
    const MskLoss loss = mskLoss(layers);  // the flattened layers when cells are expanded
    if (loss.any()) {
      getApp()->endWaitCursor();
      const std::string question = loss.question(expanded.instances);
      if (FXMessageBox::warning(this, MBOX_YES_NO, "Warning!", "%s", question.c_str()) != MBOX_CLICKED_YES)
        return false;
      getApp()->beginWaitCursor();
    }
  }
  SaveStatus status =
      format == FORMAT_GDSII
          ? saveGdsiiFile(target.text(), layers, activeLayerMap(), layout.gdsInfo(), error, &layout.cells())
          : saveLayoutFile(target.text(), layers, error);
  getApp()->endWaitCursor();
  if (status != SAVE_OK) {
    showError(this, "File:\n" + target + "\n" + saveFailureText(status, error).c_str());
    return false;
  }
  layout.markSaved(target, format);
  if (journal) journal->baseRead(FileIdentity::of(target.text()));
  recentFiles->appendFile(FXPath::absolute(target));
  canvas->update();
  if (expanded.instances > 0)
    setStatusMessage("saved: " + target + " (" + countText(expanded.instances, "instance(s) written flat") + ")");
  else
    setStatusMessage("saved: " + target);
  return true;
}

long KivoWindow::onCmdRecentFile(FXObject*, FXSelector, void* ptr) {
  if (!ptr || !askSaveFirst()) return 1;
  openFile(static_cast<const char*>(ptr));
  return 1;
}

long KivoWindow::onUpdFileSave(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, layout.isModified() ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}

long KivoWindow::onCmdFileSaveAs(FXObject*, FXSelector, void*) {
  layout.setUntitled(true);
  saveLayout();
  return 1;
}

long KivoWindow::onCmdQuit(FXObject*, FXSelector, void*) {
  confirmQuit(this);
  return 1;
}

// The window's close box: closes at once when nothing is unsaved, else asks
// like Quit. Returning 1 keeps FOX from deleting the window itself.
long KivoWindow::onCmdClose(FXObject*, FXSelector, void*) {
  if (!layout.isModified()) {
    removeRecoveryJournal();  // an undo back to the saved state may still be emptying it
    getApp()->exit(0);
  } else {
    confirmQuit(this);
  }
  return 1;
}
