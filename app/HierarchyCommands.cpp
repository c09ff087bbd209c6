// Group, Ungroup, the cells panel and the title that names the shown cell.
#include <cstdint>
#include <string>

#include "app/KivoWindow.h"
#include "io/Gdsii.h"
#include "model/CountText.h"
#include "panels/CellsPanel.h"

namespace {
// Pixels between the main window and the cells panel, as the layer panel.
const FXint PANEL_GAP = 8;
}  // namespace

long KivoWindow::onCmdGroup(FXObject*, FXSelector, void*) {
  if (layout.selectedCount(reach()) == 0) return 1;
  FXString name = layout.freeCellName().c_str();
  syncRecoveryJournal();
  // Asked again until the name is free or the box is cancelled.
  while (FXInputDialog::getString(name, this, "Group", "Cell name:")) {
    name.trim();
    const Layout::GroupResult result = layout.groupSelected(name.text(), reach());
    if (result == Layout::GROUP_DONE) {
      setStatusMessage("Grouped into cell " + name);
      canvas->update();
      return 1;
    }
    if (result == Layout::GROUP_NOTHING) return 1;
    const FXString why = result == Layout::GROUP_NAME_TAKEN
                             ? "A cell named " + name + " already exists.\nChoose another name."
                             : FXString("A cell needs a name.");
    FXMessageBox::error(this, MBOX_OK, "Group", "%s", why.text());
  }
  return 1;
}

long KivoWindow::onUpdGroup(FXObject* sender, FXSelector, void*) {
  const bool any = layout.selectedCount(reach()) > 0;
  sender->handle(this, FXSEL(SEL_COMMAND, any ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}

// Ungroup reaches the instances alone: in single-layer mode, only while
// the instance slot is the current layer.
long KivoWindow::onCmdUngroup(FXObject*, FXSelector, void*) {
  if (reach() >= 0 && reach() != LAYER_INSTANCES) return 1;
  bool overLimit = false;
  const size_t count = layout.ungroupSelected(GDS_OBJECT_LIMIT, &overLimit);
  if (overLimit) {
    const std::string why = "Ungrouping would make more than " + std::to_string(GDS_OBJECT_LIMIT) +
                            " objects.\nNothing was ungrouped.";
    syncRecoveryJournal();
    FXMessageBox::error(this, MBOX_OK, "Ungroup", "%s", why.c_str());
    return 1;
  }
  if (count > 0) setStatusMessage(countText(count, "instance(s) ungrouped"));
  canvas->update();
  return 1;
}

long KivoWindow::onUpdUngroup(FXObject* sender, FXSelector, void*) {
  const bool reaches = reach() < 0 || reach() == LAYER_INSTANCES;
  const bool any = reaches && layout.selectedCount(LAYER_INSTANCES) > 0;
  sender->handle(this, FXSEL(SEL_COMMAND, any ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}

long KivoWindow::onCmdCells(FXObject*, FXSelector, void*) {
  if (cellsPanel->shown()) {
    cellsPanel->hide();
  } else {
    if (!cellsPanel->id()) cellsPanel->create();  // made after the application's create()
    // Beside the main window, to its left where the layer panel is not;
    // to its right when the screen ends on the left.
    const FXint left = getX() - cellsPanel->getWidth() - PANEL_GAP;
    cellsPanel->move(left >= 0 ? left : getX() + getWidth() + PANEL_GAP, getY());
    cellsPanel->show();
  }
  return 1;
}

long KivoWindow::onUpdCells(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, cellsPanel->shown() ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

void KivoWindow::showCell(uint32_t i) {
  if (i >= layout.cellCount()) return;
  layout.showCell(i);
  refreshTitle();
  setStatusMessage(FXString("Showing cell ") + layout.cell(i).name().c_str());
  onCmdShowAll(nullptr, 0, nullptr);
  canvas->update();
}

// Only when the shown cell (another cell object after an Open) or the
// number of cells changed: finding the top cells walks every instance of
// the library.
void KivoWindow::refreshTitle() {
  const uint64_t key = (uint64_t)(uintptr_t)&layout.cell(layout.shownCell()) ^ ((uint64_t)layout.cellCount() << 40);
  if (key == titleFor) return;
  titleFor = key;
  bool top = false;
  for (uint32_t c : layout.cells().topCells()) top = top || c == layout.shownCell();
  setTitle(top ? FXString("Kivo") : FXString("Kivo - ") + layout.cell(layout.shownCell()).name().c_str());
}
