#include "panels/LayerDlg.h"

#include "app/KivoWindow.h"
#include "icons/Icons.h"

// clang-format off
FXDEFMAP(LayerDlg) LayerDlgMap[] = {
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_CURRENT_FIRST, LayerDlg::ID_CURRENT_LAST, LayerDlg::onCmdCurrentLayer),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_CURRENT_FIRST, LayerDlg::ID_CURRENT_LAST, LayerDlg::onUpdCurrentLayer),
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_ENABLE_FIRST,  LayerDlg::ID_ENABLE_LAST,  LayerDlg::onCmdLayerEnable),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_ENABLE_FIRST,  LayerDlg::ID_ENABLE_LAST,  LayerDlg::onUpdLayerEnable),
};
// clang-format on

FXIMPLEMENT(LayerDlg, FXDialogBox, LayerDlgMap, ARRAYNUMBER(LayerDlgMap))

namespace {

// The two rows of inert buttons at the top.
const int toolIcons[2][5] = {{ICON_PROBE, ICON_SINE, ICON_PULSE, ICON_DOUBLE_PULSE, ICON_SPEAKER},
                             {ICON_GROUND, ICON_NMOS, ICON_PMOS, ICON_BOX_SQUARE, ICON_BOX_CROSS}};

// The LayerIndex of the row that sent a message of either range.
int layerOf(FXSelector sel) {
  FXint id = FXSELID(sel);
  int row = id >= LayerDlg::ID_ENABLE_FIRST ? id - LayerDlg::ID_ENABLE_FIRST
                                            : id - LayerDlg::ID_CURRENT_FIRST;
  return layerOfPanelRow(row);
}

}  // namespace

LayerDlg::LayerDlg(KivoWindow* owner)
    : FXDialogBox(owner, "Layers", DECOR_TITLE | DECOR_CLOSE | DECOR_BORDER, 0, 0, 0, 0) {
  for (const auto& iconRow : toolIcons) {
    FXHorizontalFrame* frame =
        new FXHorizontalFrame(this, FRAME_SUNKEN | LAYOUT_FILL_X, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4);
    for (int slot : iconRow) new FXButton(frame, "\t\t", owner->icons[slot]);
  }
  FXMatrix* matrix =
      new FXMatrix(this, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4);
  // The named buttons keep FXButton's default raised frame, so that the
  // current layer's button shows pressed in when engaged.
  const FXuint nameStyle =
      FRAME_RAISED | FRAME_THICK | ICON_BEFORE_TEXT | JUSTIFY_LEFT | LAYOUT_FIX_WIDTH;
  for (int r = 0; r < PANEL_ROWS; r++) {
    const LayerFacts& facts = layerFacts(layerOfPanelRow(r));
    new FXCheckButton(matrix, "\t\t", this, ID_ENABLE_FIRST + r, CHECKBUTTON_NORMAL, 0, 0, 0, 0,
                      2, 2, 2, 2);
    FXIcon* icon = facts.icon != ICON_NONE ? owner->icons[facts.icon] : nullptr;
    new FXButton(matrix, facts.name, icon, this, ID_CURRENT_FIRST + r, nameStyle, 0, 0, 120, 0,
                 2, 2, 2, 2);
  }
}

KivoWindow* LayerDlg::mainWindow() const { return static_cast<KivoWindow*>(getOwner()); }

long LayerDlg::onCmdCurrentLayer(FXObject*, FXSelector sel, void*) {
  mainWindow()->currentLayer = layerOf(sel);
  return 1;
}

// Exactly the current layer's button shows engaged: the thirteen act as one
// radio group.
long LayerDlg::onUpdCurrentLayer(FXObject* sender, FXSelector sel, void*) {
  bool current = mainWindow()->currentLayer == layerOf(sel);
  sender->handle(this, FXSEL(SEL_COMMAND, current ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

// Switch the row's layer on or off and paint the canvas at once.
long LayerDlg::onCmdLayerEnable(FXObject*, FXSelector sel, void*) {
  KivoWindow* window = mainWindow();
  window->layout.toggleEnabled(layerOf(sel));
  window->handle(this, FXSEL(SEL_PAINT, KivoWindow::ID_CANVAS), nullptr);
  return 1;
}

long LayerDlg::onUpdLayerEnable(FXObject* sender, FXSelector sel, void*) {
  bool enabled = mainWindow()->layout.layer(layerOf(sel)).isEnabled() != 0;
  sender->handle(this, FXSEL(SEL_COMMAND, enabled ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}
