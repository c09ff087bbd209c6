#ifndef KIVO_LAYERDLG_H
#define KIVO_LAYERDLG_H

#include <fx.h>

#include <cstdint>
#include <vector>

#include "model/LayerTable.h"

class KivoWindow;

// A layer's swatch as the canvas draws the layer on black: its colour
// blended over black by its alpha, filling the square while the layer is
// enabled, as a one-pixel outline while it is not. size * size pixels.
void paintSwatch(FXColor* pixels, int size, uint32_t color, bool filled);

// The layer panel: chooses the current layer and switches layers between
// filled-and-editable and outline-only. Holds no state of its own: it reads
// and writes its owner's currentLayer and the layers' enabled flags. Below
// the named layers' rows, in a scrolling list, one row per pair slot in
// drawing order, added as the slots are handed out.
class LayerDlg : public FXDialogBox {
  FXDECLARE(LayerDlg)

protected:
  LayerDlg() {}

public:
  // One identifier per row in each range, in the panel's row order.
  enum {
    ID_CURRENT_FIRST = FXDialogBox::ID_LAST,
    ID_CURRENT_LAST = ID_CURRENT_FIRST + 12,
    ID_ENABLE_FIRST,
    ID_ENABLE_LAST = ID_ENABLE_FIRST + 12,
    ID_PAIR_CURRENT_FIRST,
    ID_PAIR_CURRENT_LAST = ID_PAIR_CURRENT_FIRST + PAIR_SLOT_CAPACITY - 1,
    ID_PAIR_ENABLE_FIRST,
    ID_PAIR_ENABLE_LAST = ID_PAIR_ENABLE_FIRST + PAIR_SLOT_CAPACITY - 1,
    ID_PAIR_ROWS,
    ID_LAST
  };

  explicit LayerDlg(KivoWindow* owner);
  ~LayerDlg() override;

  long onCmdCurrentLayer(FXObject*, FXSelector, void*);
  long onUpdCurrentLayer(FXObject*, FXSelector, void*);
  long onCmdLayerEnable(FXObject*, FXSelector, void*);
  long onUpdLayerEnable(FXObject*, FXSelector, void*);
  long onUpdPairRows(FXObject*, FXSelector, void*);

  // The rows of pair slots made so far.
  int pairRowCount() const { return (int)pairSwatches.size(); }

private:
  KivoWindow* mainWindow() const;
  // The swatch of the row that sent sel, and the state it shows.
  FXIcon*& swatchOf(FXSelector sel);
  uint64_t& shownOf(FXSelector sel);

  // Each row's swatch, and the colour and enabled state it shows.
  FXIcon* swatches[PANEL_ROWS] = {};
  uint64_t swatchShows[PANEL_ROWS] = {};
  std::vector<FXIcon*> pairSwatches;
  std::vector<uint64_t> pairShows;
  FXScrollWindow* pairScroller = nullptr;
  FXMatrix* pairMatrix = nullptr;
};

#endif
