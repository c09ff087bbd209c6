#ifndef KIVO_LAYERDLG_H
#define KIVO_LAYERDLG_H

#include <fx.h>

#include <cstdint>
#include <vector>

#include "model/LayerStyle.h"
#include "model/LayerTable.h"

class KivoWindow;

// A layer's swatch as the canvas draws the layer on black: its colour
// blended over black by its alpha, filling the square while the layer is
// enabled, as a one-pixel outline while it is not. size * size pixels.
void paintSwatch(FXColor* pixels, int size, uint32_t color, bool filled);
// A swatch of a colour in a style (LayerStyle.h): filled, outlined, or
// outlined and filled through the stipple pattern.
void paintStyleSwatch(FXColor* pixels, int size, uint32_t color, int style);

// The layer panel: chooses the current layer, switches layers between
// filled-and-editable and outline-only, shows and hides them (the eye) and
// gives them a colour (the swatch opens a colour dialog) and a style. Each
// change of look is kept in the layer properties file (io/LayerProps.h) at
// once. Holds no state of its own: it reads and writes its owner's
// currentLayer and the layers' flags and looks. Below the named layers'
// rows, in a scrolling list, one row per pair slot in drawing order, added
// as the slots are handed out. A row's widgets, left to right: eye,
// editable tick, swatch, style, name.
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
    // The eye, swatch and style of each row: named rows first, then the
    // pair rows (from PANEL_ROWS on).
    ID_SHOW_FIRST,
    ID_SHOW_LAST = ID_SHOW_FIRST + PANEL_ROWS + PAIR_SLOT_CAPACITY - 1,
    ID_COLOR_FIRST,
    ID_COLOR_LAST = ID_COLOR_FIRST + PANEL_ROWS + PAIR_SLOT_CAPACITY - 1,
    ID_STYLE_FIRST,
    ID_STYLE_LAST = ID_STYLE_FIRST + PANEL_ROWS + PAIR_SLOT_CAPACITY - 1,
    ID_LAST
  };
  // Widgets in a row.
  static const int COLUMNS = 5;

  explicit LayerDlg(KivoWindow* owner);
  ~LayerDlg() override;

  long onCmdCurrentLayer(FXObject*, FXSelector, void*);
  long onUpdCurrentLayer(FXObject*, FXSelector, void*);
  long onCmdLayerEnable(FXObject*, FXSelector, void*);
  long onUpdLayerEnable(FXObject*, FXSelector, void*);
  long onUpdPairRows(FXObject*, FXSelector, void*);
  long onCmdShow(FXObject*, FXSelector, void*);
  long onUpdShow(FXObject*, FXSelector, void*);
  long onCmdColor(FXObject*, FXSelector, void*);
  long onUpdColor(FXObject*, FXSelector, void*);
  long onCmdStyle(FXObject*, FXSelector, void*);
  long onUpdStyle(FXObject*, FXSelector, void*);

  // Give a layer a look: on the layer, in the chosen looks and in the layer
  // properties file; the canvas is painted at once.
  void changeLook(int slot, const LayerLook& look);

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
  // The widgets of row r (named rows, then pair rows), with its enable
  // tick and name button; the widgets, to be created when the panel is.
  std::vector<FXWindow*> addRow(FXComposite* matrix, int r, FXSelector enableId, FXSelector nameId,
                                const char* name, FXIcon* nameSwatch);
  // The current look of a layer.
  LayerLook lookOf(int slot) const;

  // Each row's colour swatch and the look it shows.
  std::vector<FXIcon*> colorSwatches;
  std::vector<LayerLook> colorShows;
  FXIcon* eyeIcons[2] = {};           // open, shut
  FXIcon* styleIcons[STYLE_COUNT] = {};
  FXScrollWindow* pairScroller = nullptr;
  FXMatrix* pairMatrix = nullptr;
};

#endif
