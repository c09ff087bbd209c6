#ifndef KIVO_LAYERDLG_H
#define KIVO_LAYERDLG_H

#include <fx.h>

class KivoWindow;

// The layer panel: chooses the current layer and switches layers between
// filled-and-editable and outline-only. Holds no state of its own: it reads
// and writes its owner's currentLayer and the layers' enabled flags.
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
    ID_LAST
  };

  explicit LayerDlg(KivoWindow* owner);

  long onCmdCurrentLayer(FXObject*, FXSelector, void*);
  long onUpdCurrentLayer(FXObject*, FXSelector, void*);
  long onCmdLayerEnable(FXObject*, FXSelector, void*);
  long onUpdLayerEnable(FXObject*, FXSelector, void*);

private:
  KivoWindow* mainWindow() const;
};

#endif
