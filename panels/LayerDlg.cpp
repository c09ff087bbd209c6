#include "panels/LayerDlg.h"

#include "app/KivoWindow.h"

FXIMPLEMENT(LayerDlg, FXDialogBox, nullptr, 0)

LayerDlg::LayerDlg(KivoWindow* owner)
    : FXDialogBox(owner, "Layers", DECOR_TITLE | DECOR_CLOSE | DECOR_BORDER, 0, 0, 0, 0) {}
