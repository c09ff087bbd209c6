// The shape under the pointer: the inspect field, the right click's pick,
// Properties and Move to Current Layer; and the units lengths are shown in.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/KivoWindow.h"
#include "app/PropertiesDialog.h"
#include "app/StatusLog.h"
#include "canvas/ShapeFill.h"
#include "model/CountText.h"
#include "model/ObjectReplace.h"
#include "model/Shapes.h"

namespace {

// A right press and release at most this many pixels apart is a click,
// not a measuring drag: a hand clicking moves the mouse a pixel or two.
const int RIGHT_CLICK_PIXELS = 3;
const FXuint MODIFIERS = SHIFTMASK | CONTROLMASK | ALTMASK | METAMASK;
// Objects a step of building the inspect field's index visits: about a
// millisecond of processor time in a release build (1.2 s for the 10^7
// objects of the three walks of a build, on a busy machine), so that a
// motion that takes a step, or an idle step a motion waits for, stays well
// inside a frame.
const size_t INSPECT_STEP_OBJECTS = 30000;

// Ask for one more step of building the index when the program is idle
// (once, however often asked).
void stepWhenIdle(KivoWindow* window) {
  window->getApp()->removeChore(window, KivoWindow::ID_INSPECT_INDEX);
  window->getApp()->addChore(window, KivoWindow::ID_INSPECT_INDEX);
}

// The inspect field's text, logged for scripts when it changes.
void setInspectText(FXLabel* field, const FXString& text) {
  if (text != field->getText()) logStatusText("shape", text.text());
  field->setText(text);
}

}  // namespace

// On the layers switched on and shown. Labels count as under the pointer
// from as far as a click reaches them.
std::vector<bool> KivoWindow::inspectedSlots() const {
  std::vector<bool> takesPart(LAYER_COUNT);
  for (int i = 0; i < LAYER_COUNT; i++) takesPart[i] = layout.layer(i).isEnabled() != 0 && !layout.layer(i).isHidden();
  Label::clickReach = (int32_t)std::min(std::ceil(LABEL_CLICK_PIXELS / scale), (double)INT32_MAX);
  return takesPart;
}

// A pick waits for the index it needs.
TopmostShape KivoWindow::topmostAt(int32_t x, int32_t y) { return topmost.find(layout, x, y, inspectedSlots()); }

bool KivoWindow::showInspect(int32_t x, int32_t y) {
  inspectFollows = true;
  if (inspectStep == 0) inspectStep = INSPECT_STEP_OBJECTS;
  const std::vector<bool> takesPart = inspectedSlots();
  TopmostShape shape;
  bool known = topmost.findBuilt(layout, x, y, takesPart, shape);
  if (!known && !topmost.buildSome(layout, inspectStep)) stepWhenIdle(this);
  known = known || topmost.findBuilt(layout, x, y, takesPart, shape);
  // Never the text of another point: empty until the shape here is known.
  setInspectText(inspectLabel, known ? describeShape(shape, layout, units).c_str() : "");
  inspectPending = !known;
  return known;
}

// One step while idle; the next is due while the index is not complete.
// The field names the pointer's shape as soon as the index reaches it.
long KivoWindow::onInspectIndex(FXObject*, FXSelector, void*) {
  if (inspectStep == 0) inspectStep = INSPECT_STEP_OBJECTS;
  if (!topmost.buildSome(layout, inspectStep)) stepWhenIdle(this);
  TopmostShape shape;
  if (inspectPending && topmost.findBuilt(layout, mouseRect.getCurX(), mouseRect.getCurY(), inspectedSlots(), shape)) {
    setInspectText(inspectLabel, describeShape(shape, layout, units).c_str());
    inspectPending = false;
  }
  return 1;
}

void KivoWindow::showPointerFields(int32_t x, int32_t y) {
  posXLabel->setText(units.format(mouseRect.getCurX()).c_str());
  posYLabel->setText(units.format(mouseRect.getCurY()).c_str());
  widthLabel->setText(units.format(mouseRect.getW()).c_str());
  heightLabel->setText(units.format(mouseRect.getH()).c_str());
  showInspect(x, y);
}

// Everything Select None reaches is deselected first. In single-layer mode
// only a shape of the current layer is picked; an instance never is there.
bool KivoWindow::pickAt(int32_t x, int32_t y) {
  const TopmostShape shape = topmostAt(x, y);
  layout.applySelection(reach(), OP_DESELECT, MATCH_ALL, nullptr);
  const int slot = shape.instance ? LAYER_INSTANCES : shape.slot;
  GroupNode* node = const_cast<GroupNode*>(shape.instance ? shape.instance : shape.object);
  const bool reachable = shape.found() && (reach() < 0 || slot == reach()) && layout.layer(slot).isEnabled();
  if (reachable) layout.applySelection(slot, OP_SELECT, MATCH_OBJECT, node);
  setStatusMessage(reachable ? "1 object(s) selected" : "0 object(s) selected");
  canvas->update();
  return reachable;
}

void KivoWindow::noteRightPress(const FXEvent* event) {
  rightPressX = event->win_x, rightPressY = event->win_y;
  rightPressPlain = mouseRect.rightState == 1 && (event->state & MODIFIERS) == 0;
}

bool KivoWindow::rightClick(const FXEvent* event) {
  if (!event || !rightPressPlain) return false;
  rightPressPlain = false;
  if (std::abs(event->win_x - rightPressX) > RIGHT_CLICK_PIXELS ||
      std::abs(event->win_y - rightPressY) > RIGHT_CLICK_PIXELS)
    return false;
  int x, y;
  toLayout(rightPressX, rightPressY, x, y);
  pickAt(x, y);
  return true;
}

// The first press of the pair toggled as a click does; the second picks the
// shape alone instead of toggling again, and opens its properties.
bool KivoWindow::leftDoubleClick(const FXEvent* event) {
  if (event->click_count < 2 || (event->state & MODIFIERS) != 0) return false;
  int x, y;
  toLayout(event->win_x, event->win_y, x, y);
  if (pickAt(x, y)) handle(this, FXSEL(SEL_COMMAND, ID_PROPERTIES), nullptr);
  return true;
}

// Needs exactly one selected object in reach; the change is one undo step.
long KivoWindow::onCmdProperties(FXObject*, FXSelector, void*) {
  if (layout.selectedCount(reach()) != 1) {
    setStatusMessage("Properties: select exactly one object");
    return 1;
  }
  int slot = -1;
  std::vector<uint32_t> positions;
  std::vector<GroupNode*> nodes;
  for (int i = 0; i < SLOT_COUNT && nodes.empty(); i++) {
    if ((reach() >= 0 && i != reach()) || !layout.layer(i).isEnabled()) continue;
    layout.layer(i).collect(MATCH_SELECTED, positions, nodes);
    slot = i;
  }
  if (nodes.empty()) return 1;
  PropertiesDialog dialog(this, layout, slot, *nodes.front(), units);
  syncRecoveryJournal();
  if (!dialog.execute(PLACEMENT_OWNER)) return 1;
  int newSlot = slot;
  GroupNode* replacement = dialog.takeResult(newSlot);
  if (layout.replaceObject(slot, positions.front(), newSlot, replacement, "1 object changed"))
    setStatusMessage("1 object changed");
  canvas->update();
  return 1;
}

long KivoWindow::onCmdMoveToLayer(FXObject*, FXSelector, void*) {
  const char* name = layerFacts(currentLayer).name;
  if (!layout.layer(currentLayer).isEnabled()) {
    setStatusMessage(FXString("No object moved: layer ") + name + " is disabled");
    return 1;
  }
  const size_t moved = layout.moveSelectedToLayer(currentLayer, reach());
  setStatusMessage(countText(moved, "object(s) moved to ") + name);
  canvas->update();
  return 1;
}

// Micrometres from the layout's own units (a .msk layout's are those a
// GDSII save would write), or database units.
long KivoWindow::onCmdUnits(FXObject*, FXSelector, void*) {
  units = units.micrometres ? DisplayUnits() : DisplayUnits::forLayout(true, layout.gdsInfo().metres);
  showPointerFields(mouseRect.getCurX(), mouseRect.getCurY());
  canvas->update();
  return 1;
}

long KivoWindow::onUpdUnits(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, units.micrometres ? ID_CHECK : ID_UNCHECK), nullptr);
  return 1;
}

void KivoWindow::layoutReplaced() {
  units = DisplayUnits::forLayout(layout.format() == FORMAT_GDSII, layout.gdsInfo().metres);
  resetGridAndRulers();
  topmost.forget();
  inspectLabel->setText("");
  inspectPending = false;
  inspectFollows = false;
  // Build the index while the user looks at the new layout.
  stepWhenIdle(this);
}

// A row of its own just above the status bar: the description is often
// longer than the room the status bar's fields leave.
void KivoWindow::buildInspectField() {
  FXHorizontalFrame* row = new FXHorizontalFrame(this, LAYOUT_SIDE_BOTTOM | LAYOUT_FILL_X, 0, 0, 0, 0, 3, 3, 0, 0, 4, 0);
  new FXLabel(row, "shape:", nullptr, LAYOUT_LEFT, 0, 0, 0, 0, 2, 2, 2, 2);
  // As high as a line of text, also while it is empty.
  const FXint height = getApp()->getNormalFont()->getFontHeight() + 2 + 2 + 2;  // padding and sunken frame
  inspectLabel = new FXLabel(row, "", nullptr, FRAME_SUNKEN | JUSTIFY_LEFT | LAYOUT_FILL_X | LAYOUT_FIX_HEIGHT, 0, 0,
                             0, height, 2, 2, 2, 2);
}
