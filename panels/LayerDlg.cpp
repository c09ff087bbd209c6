#include "panels/LayerDlg.h"

#include <algorithm>

#include "app/KivoWindow.h"
#include "icons/Icons.h"

// clang-format off
FXDEFMAP(LayerDlg) LayerDlgMap[] = {
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_CURRENT_FIRST, LayerDlg::ID_CURRENT_LAST, LayerDlg::onCmdCurrentLayer),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_CURRENT_FIRST, LayerDlg::ID_CURRENT_LAST, LayerDlg::onUpdCurrentLayer),
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_ENABLE_FIRST,  LayerDlg::ID_ENABLE_LAST,  LayerDlg::onCmdLayerEnable),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_ENABLE_FIRST,  LayerDlg::ID_ENABLE_LAST,  LayerDlg::onUpdLayerEnable),
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_PAIR_CURRENT_FIRST, LayerDlg::ID_PAIR_CURRENT_LAST, LayerDlg::onCmdCurrentLayer),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_PAIR_CURRENT_FIRST, LayerDlg::ID_PAIR_CURRENT_LAST, LayerDlg::onUpdCurrentLayer),
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_PAIR_ENABLE_FIRST,  LayerDlg::ID_PAIR_ENABLE_LAST,  LayerDlg::onCmdLayerEnable),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_PAIR_ENABLE_FIRST,  LayerDlg::ID_PAIR_ENABLE_LAST,  LayerDlg::onUpdLayerEnable),
  FXMAPFUNC(SEL_UPDATE,   LayerDlg::ID_PAIR_ROWS,          LayerDlg::onUpdPairRows),
};
// clang-format on

FXIMPLEMENT(LayerDlg, FXDialogBox, LayerDlgMap, ARRAYNUMBER(LayerDlgMap))

namespace {

// The two rows of inert buttons at the top.
const int toolIcons[2][5] = {{ICON_PROBE, ICON_SINE, ICON_PULSE, ICON_DOUBLE_PULSE, ICON_SPEAKER},
                             {ICON_GROUND, ICON_NMOS, ICON_PMOS, ICON_BOX_SQUARE, ICON_BOX_CROSS}};

// The slot of the row that sent a message of any range: a pair row shows
// the pair slot at its place in the drawing order.
int layerOf(FXSelector sel) {
  FXint id = FXSELID(sel);
  if (id >= LayerDlg::ID_PAIR_CURRENT_FIRST) {
    int row = id >= LayerDlg::ID_PAIR_ENABLE_FIRST ? id - LayerDlg::ID_PAIR_ENABLE_FIRST
                                                   : id - LayerDlg::ID_PAIR_CURRENT_FIRST;
    const std::vector<int> order = drawingOrder();
    const size_t place = (size_t)NAMED_LAYER_COUNT + (size_t)row;
    return place < order.size() ? order[place] : LAYER_UNKNOWN;
  }
  int row = id >= LayerDlg::ID_ENABLE_FIRST ? id - LayerDlg::ID_ENABLE_FIRST
                                            : id - LayerDlg::ID_CURRENT_FIRST;
  return layerOfPanelRow(row);
}

// The size of a swatch, as the icons beside the other buttons.
const int SWATCH_SIZE = 14;
// The width of the named buttons: the longest layer name fits.
const int NAME_WIDTH = 120;
// Pair rows shown at once before the list scrolls: with the fixed rows the
// panel then stays within a 768-pixel screen.
const int PAIR_ROWS_SHOWN = 8;
// Spacing and padding of the rows' matrices, in pixels.
const int ROW_SPACING = 4;

int rowOf(FXSelector sel) { return FXSELID(sel) - LayerDlg::ID_CURRENT_FIRST; }

// The named buttons keep FXButton's default raised frame, so that the
// current layer's button shows pressed in when engaged.
const FXuint NAME_STYLE = FRAME_RAISED | FRAME_THICK | ICON_BEFORE_TEXT | JUSTIFY_LEFT | LAYOUT_FIX_WIDTH;

}  // namespace

void paintSwatch(FXColor* pixels, int size, uint32_t color, bool filled) {
  uint32_t a = color >> 24;
  auto over = [a](uint32_t c) { return (FXuchar)(((c & 0xFF) * a + 127) / 255); };
  FXColor shown = FXRGB(over(color), over(color >> 8), over(color >> 16));
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      bool edge = x == 0 || y == 0 || x == size - 1 || y == size - 1;
      pixels[y * size + x] = filled || edge ? shown : FXRGB(0, 0, 0);
    }
}

LayerDlg::LayerDlg(KivoWindow* owner)
    : FXDialogBox(owner, "Layers", DECOR_TITLE | DECOR_CLOSE | DECOR_BORDER, 0, 0, 0, 0) {
  for (const auto& iconRow : toolIcons) {
    FXHorizontalFrame* frame =
        new FXHorizontalFrame(this, FRAME_SUNKEN | LAYOUT_FILL_X, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4);
    for (int slot : iconRow) new FXButton(frame, "\t\t", owner->icons[slot]);
  }
  FXMatrix* matrix = new FXMatrix(this, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0, ROW_SPACING,
                                  ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING);
  for (int r = 0; r < PANEL_ROWS; r++) {
    const LayerFacts& facts = layerFacts(layerOfPanelRow(r));
    new FXCheckButton(matrix, "\t\t", this, ID_ENABLE_FIRST + r, CHECKBUTTON_NORMAL, 0, 0, 0, 0,
                      2, 2, 2, 2);
    swatches[r] = new FXIcon(getApp(), nullptr, 0, IMAGE_KEEP | IMAGE_OWNED | IMAGE_OPAQUE,
                             SWATCH_SIZE, SWATCH_SIZE);
    paintSwatch(swatches[r]->getData(), SWATCH_SIZE, facts.color, true);
    new FXButton(matrix, facts.name, swatches[r], this, ID_CURRENT_FIRST + r, NAME_STYLE, 0, 0,
                 NAME_WIDTH, 0, 2, 2, 2, 2);
  }
  pairScroller = new FXScrollWindow(this, HSCROLLING_OFF | LAYOUT_FILL_X | LAYOUT_FIX_HEIGHT);
  pairMatrix = new FXMatrix(pairScroller, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0, ROW_SPACING,
                            ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING);
  pairMatrix->setTarget(this);
  pairMatrix->setSelector(ID_PAIR_ROWS);
  pairScroller->hide();
}

LayerDlg::~LayerDlg() {
  for (FXIcon* swatch : swatches) delete swatch;
  for (FXIcon* swatch : pairSwatches) delete swatch;
}

FXIcon*& LayerDlg::swatchOf(FXSelector sel) {
  const FXint id = FXSELID(sel);
  return id >= ID_PAIR_CURRENT_FIRST ? pairSwatches[id - ID_PAIR_CURRENT_FIRST] : swatches[rowOf(sel)];
}

uint64_t& LayerDlg::shownOf(FXSelector sel) {
  const FXint id = FXSELID(sel);
  return id >= ID_PAIR_CURRENT_FIRST ? pairShows[id - ID_PAIR_CURRENT_FIRST] : swatchShows[rowOf(sel)];
}

// A row for each pair slot handed out since the last update; the list
// grows to PAIR_ROWS_SHOWN rows, then scrolls.
long LayerDlg::onUpdPairRows(FXObject*, FXSelector, void*) {
  mainWindow()->layout.settleNewLayers();
  const int wanted = layerSlotsInUse() - FIRST_PAIR_SLOT;
  if (wanted == pairRowCount()) return 1;
  while (pairRowCount() < wanted) {
    const int r = pairRowCount();
    FXIcon* swatch = new FXIcon(getApp(), nullptr, 0, IMAGE_KEEP | IMAGE_OWNED | IMAGE_OPAQUE, SWATCH_SIZE,
                                SWATCH_SIZE);
    paintSwatch(swatch->getData(), SWATCH_SIZE, 0, false);
    pairSwatches.push_back(swatch);
    pairShows.push_back(0);
    FXWindow* check = new FXCheckButton(pairMatrix, "\t\t", this, ID_PAIR_ENABLE_FIRST + r, CHECKBUTTON_NORMAL,
                                        0, 0, 0, 0, 2, 2, 2, 2);
    FXWindow* name = new FXButton(pairMatrix, "", swatch, this, ID_PAIR_CURRENT_FIRST + r, NAME_STYLE, 0, 0,
                                  NAME_WIDTH, 0, 2, 2, 2, 2);
    if (pairMatrix->id()) check->create(), name->create();
  }
  const int rowHeight = pairMatrix->getFirst()->getNext()->getDefaultHeight() + ROW_SPACING;
  pairScroller->setHeight(std::min(wanted, PAIR_ROWS_SHOWN) * rowHeight + 2 * ROW_SPACING);
  pairScroller->show();
  recalc();
  resize(std::max(getWidth(), getDefaultWidth()), getDefaultHeight());  // shown or not: show keeps the size
  return 1;
}

KivoWindow* LayerDlg::mainWindow() const { return static_cast<KivoWindow*>(getOwner()); }

long LayerDlg::onCmdCurrentLayer(FXObject*, FXSelector sel, void*) {
  mainWindow()->currentLayer = layerOf(sel);
  return 1;
}

// Exactly the current layer's button shows engaged: all rows act as one
// radio group.
// The swatch follows the layer's colour and enabled state.
// A pair row's name follows its place in the drawing order.
long LayerDlg::onUpdCurrentLayer(FXObject* sender, FXSelector sel, void*) {
  const int slot = layerOf(sel);
  bool current = mainWindow()->currentLayer == slot;
  sender->handle(this, FXSEL(SEL_COMMAND, current ? ID_CHECK : ID_UNCHECK), nullptr);
  FXButton* button = static_cast<FXButton*>(sender);
  if (FXSELID(sel) >= ID_PAIR_CURRENT_FIRST && button->getText() != layerFacts(slot).name)
    button->setText(layerFacts(slot).name);
  const Layer& layer = mainWindow()->layout.layer(slot);
  bool filled = layer.isEnabled() != 0;
  uint64_t shows = (uint64_t)layer.getColor() << 2 | (filled ? 2 : 0) | 1;
  FXIcon* swatch = swatchOf(sel);
  if (shownOf(sel) != shows) {
    shownOf(sel) = shows;
    paintSwatch(swatch->getData(), SWATCH_SIZE, layer.getColor(), filled);
    if (swatch->id()) swatch->render();
    static_cast<FXWindow*>(sender)->update();
  }
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
