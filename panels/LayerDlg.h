#ifndef KIVO_LAYERDLG_H
#define KIVO_LAYERDLG_H

#include <fx.h>

class KivoWindow;

// The layer panel: chooses the current layer and switches layers between
// filled-and-editable and outline-only. Holds no state of its own.
class LayerDlg : public FXDialogBox {
  FXDECLARE(LayerDlg)

protected:
  LayerDlg() {}

public:
  explicit LayerDlg(KivoWindow* owner);
};

#endif
