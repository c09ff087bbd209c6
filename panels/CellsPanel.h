#ifndef KIVO_CELLSPANEL_H
#define KIVO_CELLSPANEL_H

#include <fx.h>

#include <cstdint>
#include <utility>
#include <vector>

class Cell;
class KivoWindow;

// The cells panel: the document's cells as a tree from the top cells (those
// no cell places) down, each with the number of its instances in the whole
// library. Double-clicking a cell shows and edits it; Back returns to the
// cell shown before. Holds only the cells shown before; the tree is made
// again whenever the library changed.
class CellsPanel : public FXDialogBox {
  FXDECLARE(CellsPanel)

protected:
  CellsPanel() {}

public:
  enum { ID_TREE = FXDialogBox::ID_LAST, ID_BACK, ID_LAST };

  explicit CellsPanel(KivoWindow* owner);
  ~CellsPanel() override;

  long onTreeDoubleClicked(FXObject*, FXSelector, void*);
  long onUpdTree(FXObject*, FXSelector, void*);
  long onCmdBack(FXObject*, FXSelector, void*);
  long onUpdBack(FXObject*, FXSelector, void*);

  FXTreeList* tree() const { return cellTree; }
  // Show cell i and remember the cell shown now for Back.
  void open(uint32_t i);
  // Back to the cell shown before; false when there is none.
  bool back();

private:
  KivoWindow* mainWindow() const;
  void rebuild();
  // The cell shown before is still this document's: its index still names
  // the same cell.
  bool stillThere(const std::pair<uint32_t, const Cell*>& shown) const;

  FXTreeList* cellTree = nullptr;
  std::vector<std::pair<uint32_t, const Cell*>> previous;  // the last on top
  uint64_t builtFor = 0;  // the library's signature the tree shows
};

#endif
