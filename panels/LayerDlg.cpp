#include "panels/LayerDlg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "app/KivoWindow.h"
#include "icons/Icons.h"
#include "io/LayerProps.h"

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
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_SHOW_FIRST,  LayerDlg::ID_SHOW_LAST,  LayerDlg::onCmdShow),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_SHOW_FIRST,  LayerDlg::ID_SHOW_LAST,  LayerDlg::onUpdShow),
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_COLOR_FIRST, LayerDlg::ID_COLOR_LAST, LayerDlg::onCmdColor),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_COLOR_FIRST, LayerDlg::ID_COLOR_LAST, LayerDlg::onUpdColor),
  FXMAPFUNCS(SEL_COMMAND, LayerDlg::ID_STYLE_FIRST, LayerDlg::ID_STYLE_LAST, LayerDlg::onCmdStyle),
  FXMAPFUNCS(SEL_UPDATE,  LayerDlg::ID_STYLE_FIRST, LayerDlg::ID_STYLE_LAST, LayerDlg::onUpdStyle),
};
// clang-format on

FXIMPLEMENT(LayerDlg, FXDialogBox, LayerDlgMap, ARRAYNUMBER(LayerDlgMap))

namespace {

// The two rows of inert buttons at the top.
const int toolIcons[2][5] = {{ICON_PROBE, ICON_SINE, ICON_PULSE, ICON_DOUBLE_PULSE, ICON_SPEAKER},
                             {ICON_GROUND, ICON_NMOS, ICON_PMOS, ICON_BOX_SQUARE, ICON_BOX_CROSS}};

// Rows of each range of eye, swatch and style identifiers.
const int ROW_CAPACITY = PANEL_ROWS + PAIR_SLOT_CAPACITY;

// The slot shown in pair row `row`: the pair slot at its place in the
// drawing order.
int layerOfPairRow(int row) {
  const std::vector<int> order = drawingOrder();
  const size_t place = (size_t)NAMED_LAYER_COUNT + (size_t)row;
  return place < order.size() ? order[place] : LAYER_UNKNOWN;
}

// The row (named rows, then pair rows) of an eye, swatch or style.
int lookRowOf(FXSelector sel) { return (FXSELID(sel) - LayerDlg::ID_SHOW_FIRST) % ROW_CAPACITY; }

// The slot of the row that sent a message of any range.
int layerOf(FXSelector sel) {
  FXint id = FXSELID(sel);
  if (id >= LayerDlg::ID_SHOW_FIRST) {
    const int row = lookRowOf(sel);
    return row < PANEL_ROWS ? layerOfPanelRow(row) : layerOfPairRow(row - PANEL_ROWS);
  }
  if (id >= LayerDlg::ID_PAIR_CURRENT_FIRST)
    return layerOfPairRow(id >= LayerDlg::ID_PAIR_ENABLE_FIRST ? id - LayerDlg::ID_PAIR_ENABLE_FIRST
                                                               : id - LayerDlg::ID_PAIR_CURRENT_FIRST);
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
// The colour the style list's swatches show their patterns in.
const uint32_t WHITE_SWATCH = layerRGBA(255, 255, 255, 255);
// Spacing and padding of the rows' matrices, in pixels.
const int ROW_SPACING = 4;

int rowOf(FXSelector sel) { return FXSELID(sel) - LayerDlg::ID_CURRENT_FIRST; }

// The named buttons keep FXButton's default raised frame, so that the
// current layer's button shows pressed in when engaged.
const FXuint NAME_STYLE = FRAME_RAISED | FRAME_THICK | ICON_BEFORE_TEXT | JUSTIFY_LEFT | LAYOUT_FIX_WIDTH;

// The eye's pixels: an open eye (an almond outline round a pupil) or a
// shut one (the lower lid with lashes), dark on a transparent ground.
void paintEye(FXColor* pixels, int size, bool open) {
  const FXColor ground = FXRGB(255, 0, 255), ink = FXRGB(40, 40, 40);
  const double c = (size - 1) / 2.0, rx = size / 2.0 - 0.5, ry = size / 3.5;
  for (int y = 0; y < size; y++)
    for (int x = 0; x < size; x++) {
      const double dx = (x - c) / rx, dy = (y - c) / ry, r = dx * dx + dy * dy;
      bool on = open ? std::abs(r - 1) < 0.3 || (x - c) * (x - c) + (y - c) * (y - c) <= 2.5
                     : (y >= c && std::abs(r - 1) < 0.3) || (y > c + ry && y < c + ry + 3 && (x == 3 || x == size / 2 || x == size - 4));
      pixels[y * size + x] = on ? ink : ground;
    }
}

const FXColor EYE_GROUND = FXRGB(255, 0, 255);  // the eye icons' transparent colour

}  // namespace

void paintStyleSwatch(FXColor* pixels, int size, uint32_t color, int style) {
  paintSwatch(pixels, size, color, style != STYLE_OUTLINE);
  if (!isStippleStyle(style)) return;
  const FXColor shown = pixels[0];
  for (int y = 1; y < size - 1; y++)
    for (int x = 1; x < size - 1; x++) pixels[y * size + x] = stippleCovers(style, x, y) ? shown : FXRGB(0, 0, 0);
}

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
  for (int open = 0; open < 2; open++) {
    eyeIcons[open] = new FXIcon(getApp(), nullptr, EYE_GROUND, IMAGE_KEEP | IMAGE_OWNED | IMAGE_ALPHACOLOR,
                                SWATCH_SIZE, SWATCH_SIZE);
    paintEye(eyeIcons[open]->getData(), SWATCH_SIZE, open == 0);
  }
  for (int style = 0; style < STYLE_COUNT; style++) {
    styleIcons[style] = new FXIcon(getApp(), nullptr, 0, IMAGE_KEEP | IMAGE_OWNED | IMAGE_OPAQUE, SWATCH_SIZE,
                                   SWATCH_SIZE);
    paintStyleSwatch(styleIcons[style]->getData(), SWATCH_SIZE, WHITE_SWATCH, style);
  }
  FXMatrix* matrix = new FXMatrix(this, COLUMNS, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0, ROW_SPACING,
                                  ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING);
  for (int r = 0; r < PANEL_ROWS; r++) {
    const LayerFacts& facts = layerFacts(layerOfPanelRow(r));
    swatches[r] = new FXIcon(getApp(), nullptr, 0, IMAGE_KEEP | IMAGE_OWNED | IMAGE_OPAQUE,
                             SWATCH_SIZE, SWATCH_SIZE);
    paintSwatch(swatches[r]->getData(), SWATCH_SIZE, facts.color, true);
    addRow(matrix, r, ID_ENABLE_FIRST + r, ID_CURRENT_FIRST + r, facts.name, swatches[r]);
  }
  pairScroller = new FXScrollWindow(this, HSCROLLING_OFF | LAYOUT_FILL_X | LAYOUT_FIX_HEIGHT);
  pairMatrix = new FXMatrix(pairScroller, COLUMNS, MATRIX_BY_COLUMNS | LAYOUT_FILL_X, 0, 0, 0, 0, ROW_SPACING,
                            ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING, ROW_SPACING);
  pairMatrix->setTarget(this);
  pairMatrix->setSelector(ID_PAIR_ROWS);
  pairScroller->hide();
}

LayerDlg::~LayerDlg() {
  for (FXIcon* swatch : swatches) delete swatch;
  for (FXIcon* swatch : pairSwatches) delete swatch;
  for (FXIcon* swatch : colorSwatches) delete swatch;
  for (FXIcon* icon : eyeIcons) delete icon;
  for (FXIcon* icon : styleIcons) delete icon;
}

std::vector<FXWindow*> LayerDlg::addRow(FXComposite* matrix, int r, FXSelector enableId, FXSelector nameId,
                                        const char* name, FXIcon* nameSwatch) {
  std::vector<FXWindow*> made;
  made.push_back(new FXToggleButton(matrix, "\tHide the layer", "\tShow the layer", eyeIcons[0], eyeIcons[1], this,
                                    ID_SHOW_FIRST + r, TOGGLEBUTTON_TOOLBAR | FRAME_RAISED, 0, 0, 0, 0, 1, 1, 1, 1));
  made.push_back(new FXCheckButton(matrix, "\t\t", this, enableId, CHECKBUTTON_NORMAL, 0, 0, 0, 0, 2, 2, 2, 2));
  FXIcon* swatch = new FXIcon(getApp(), nullptr, 0, IMAGE_KEEP | IMAGE_OWNED | IMAGE_OPAQUE, SWATCH_SIZE, SWATCH_SIZE);
  paintStyleSwatch(swatch->getData(), SWATCH_SIZE, 0, STYLE_FILL);
  colorSwatches.push_back(swatch);
  colorShows.push_back(LayerLook());
  made.push_back(new FXButton(matrix, "\tChoose the layer's colour", swatch, this, ID_COLOR_FIRST + r,
                              FRAME_RAISED | FRAME_THICK, 0, 0, 0, 0, 1, 1, 1, 1));
  FXListBox* styles = new FXListBox(matrix, this, ID_STYLE_FIRST + r, FRAME_SUNKEN | FRAME_THICK | LISTBOX_NORMAL);
  for (int style = 0; style < STYLE_COUNT; style++)
    styles->appendItem(style == STYLE_FILL ? "filled" : styleName(style), styleIcons[style]);
  styles->setNumVisible(STYLE_COUNT);
  made.push_back(styles);
  made.push_back(new FXButton(matrix, name, nameSwatch, this, nameId, NAME_STYLE, 0, 0, NAME_WIDTH, 0, 2, 2, 2, 2));
  return made;
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
    for (FXWindow* made : addRow(pairMatrix, PANEL_ROWS + r, ID_PAIR_ENABLE_FIRST + r, ID_PAIR_CURRENT_FIRST + r, "", swatch))
      if (pairMatrix->id()) made->create();
  }
  int rowHeight = 0;
  for (FXWindow* w = pairMatrix->getFirst(); w && w != pairMatrix->childAtIndex(COLUMNS); w = w->getNext())
    rowHeight = std::max(rowHeight, w->getDefaultHeight());
  rowHeight += ROW_SPACING;
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
// The swatch follows the layer's colour and whether it is filled.
// A pair row's name follows its place in the drawing order.
long LayerDlg::onUpdCurrentLayer(FXObject* sender, FXSelector sel, void*) {
  const int slot = layerOf(sel);
  bool current = mainWindow()->currentLayer == slot;
  sender->handle(this, FXSEL(SEL_COMMAND, current ? ID_CHECK : ID_UNCHECK), nullptr);
  FXButton* button = static_cast<FXButton*>(sender);
  if (FXSELID(sel) >= ID_PAIR_CURRENT_FIRST && button->getText() != layerFacts(slot).name)
    button->setText(layerFacts(slot).name);
  const Layer& layer = mainWindow()->layout.layer(slot);
  bool filled = layer.drawsFilled();
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

LayerLook LayerDlg::lookOf(int slot) const {
  const Layer& layer = mainWindow()->layout.layer(slot);
  LayerLook look;
  look.color = layer.getColor();
  look.style = layer.getStyle();
  look.hidden = layer.isHidden();
  return look;
}

void LayerDlg::changeLook(int slot, const LayerLook& look) {
  KivoWindow* window = mainWindow();
  chooseLook(layerKeyOfSlot(slot), look);
  window->layout.setLook(slot, look);
  std::string error;
  if (!saveLayerProps(layerPropsPath(), error)) std::fprintf(stderr, "kivo: %s\n", error.c_str());
  window->handle(this, FXSEL(SEL_PAINT, KivoWindow::ID_CANVAS), nullptr);
}

// The eye shows the layer's objects or hides them; hiding deselects them.
long LayerDlg::onCmdShow(FXObject*, FXSelector sel, void*) {
  const int slot = layerOf(sel);
  LayerLook look = lookOf(slot);
  look.hidden = !look.hidden;
  changeLook(slot, look);
  return 1;
}

// The eye is shut (its second state) while the layer is hidden.
long LayerDlg::onUpdShow(FXObject* sender, FXSelector sel, void*) {
  const bool hidden = mainWindow()->layout.layer(layerOf(sel)).isHidden();
  sender->handle(this, FXSEL(SEL_COMMAND, hidden ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

// FOX's colour dialog, with the alpha the layer is drawn with.
long LayerDlg::onCmdColor(FXObject*, FXSelector sel, void*) {
  const int slot = layerOf(sel);
  LayerLook look = lookOf(slot);
  FXColorDialog dialog(this, "Layer Colour");
  dialog.setOpaqueOnly(FALSE);
  dialog.setRGBA(look.color);
  if (!dialog.execute(PLACEMENT_OWNER)) return 1;
  look.color = dialog.getRGBA();
  changeLook(slot, look);
  return 1;
}

// The swatch follows the layer's colour and style.
long LayerDlg::onUpdColor(FXObject* sender, FXSelector sel, void*) {
  const int row = lookRowOf(sel);
  const LayerLook look = lookOf(layerOf(sel));
  if ((size_t)row >= colorSwatches.size() || colorShows[row] == look) return 1;
  colorShows[row] = look;
  FXIcon* swatch = colorSwatches[row];
  paintStyleSwatch(swatch->getData(), SWATCH_SIZE, look.color, look.style);
  if (swatch->id()) swatch->render();
  static_cast<FXWindow*>(sender)->update();
  return 1;
}

long LayerDlg::onCmdStyle(FXObject*, FXSelector sel, void* ptr) {
  const int slot = layerOf(sel);
  LayerLook look = lookOf(slot);
  const int style = (int)(FXival)ptr;
  if (style < 0 || style >= STYLE_COUNT || style == look.style) return 1;
  look.style = style;
  changeLook(slot, look);
  return 1;
}

long LayerDlg::onUpdStyle(FXObject* sender, FXSelector sel, void*) {
  FXListBox* box = static_cast<FXListBox*>(sender);
  const int style = mainWindow()->layout.layer(layerOf(sel)).getStyle();
  if (box->getCurrentItem() != style) box->setCurrentItem(style);
  return 1;
}
