#include "app/PropertiesDialog.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "model/ObjectReplace.h"
#include "model/Shapes.h"

// clang-format off
FXDEFMAP(PropertiesDialog) PropertiesDialogMap[] = {
  FXMAPFUNC(SEL_COMMAND, PropertiesDialog::ID_APPLY, PropertiesDialog::onCmdApply),
};
// clang-format on

FXIMPLEMENT(PropertiesDialog, FXDialogBox, PropertiesDialogMap, ARRAYNUMBER(PropertiesDialogMap))

namespace {

// Wide enough for "-2147483.648" and a label's usual string.
const FXint FIELD_COLUMNS = 16;
// Rows the layer and cell lists show when open before they scroll.
const FXint LIST_ROWS = 12;

std::string textOf(const FXTextField* f) { return f->getText().text(); }

// An array's step in the units shown: an uneven array's fraction with up
// to 6 significant decimals beyond the unit (enough to tell it apart).
std::string stepText(double step, const DisplayUnits& units) {
  if (step == std::floor(step)) return units.format((int64_t)step);
  char text[40];
  std::snprintf(text, sizeof text, "%.6f", units.micrometres ? step * units.micronsPerUnit : step);
  std::string s = text;
  s.erase(s.find_last_not_of('0') + 1);
  return s;
}

// A whole number in [min, max] (a marker's value, an array's counts).
bool integer(const FXTextField* f, const char* name, int64_t min, int64_t max, int64_t& v, std::string& why) {
  const std::string text = textOf(f);
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  while (end && (*end == ' ' || *end == '\t')) end++;
  if (text.empty() || !end || *end != '\0' || parsed < min || parsed > max) {
    why = std::string(name) + " must be a whole number from " + std::to_string(min) + " to " + std::to_string(max) +
          ": \"" + text + "\"";
    return false;
  }
  v = parsed;
  return true;
}

}  // namespace

PropertiesDialog::PropertiesDialog(FXWindow* owner, const Layout& l, int s, const GroupNode& n, const DisplayUnits& u)
    : FXDialogBox(owner, "Properties", DECOR_TITLE | DECOR_BORDER | DECOR_CLOSE), layout(&l), slot(s), node(&n),
      units(u) {
  FXVerticalFrame* frame = new FXVerticalFrame(this, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  FXMatrix* grid = new FXMatrix(frame, 2, MATRIX_BY_COLUMNS | LAYOUT_FILL_X);
  if (slot == LAYER_INSTANCES) buildInstanceFields(grid);
  else buildObjectFields(grid);
  new FXHorizontalSeparator(frame, SEPARATOR_GROOVE | LAYOUT_FILL_X);
  FXHorizontalFrame* buttons = new FXHorizontalFrame(frame, LAYOUT_FILL_X | PACK_UNIFORM_WIDTH);
  new FXButton(buttons, "&Cancel", nullptr, this, ID_CANCEL, BUTTON_NORMAL | LAYOUT_RIGHT);
  new FXButton(buttons, "&OK", nullptr, this, ID_APPLY, BUTTON_INITIAL | BUTTON_DEFAULT | BUTTON_NORMAL | LAYOUT_RIGHT);
}

PropertiesDialog::~PropertiesDialog() { delete result; }

FXTextField* PropertiesDialog::field(FXComposite* grid, const char* label, const std::string& text, bool editable) {
  new FXLabel(grid, label, nullptr, LAYOUT_RIGHT | LAYOUT_CENTER_Y);
  // Return in a field applies, as OK does: the field would otherwise keep
  // the key from the default button.
  FXTextField* f =
      new FXTextField(grid, FIELD_COLUMNS, this, ID_APPLY, TEXTFIELD_NORMAL | TEXTFIELD_ENTER_ONLY | LAYOUT_FILL_X);
  f->setText(text.c_str());
  if (!editable) f->disable();
  return f;
}

void PropertiesDialog::buildObjectFields(FXComposite* grid) {
  new FXLabel(grid, "Layer:", nullptr, LAYOUT_RIGHT | LAYOUT_CENTER_Y);
  layerBox = new FXListBox(grid, nullptr, 0, FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X);
  for (int s = 0; s < layerSlotsInUse(); s++) {
    slots.push_back(s);
    layerBox->appendItem(layerFacts(s).name);
    if (s == slot) layerBox->setCurrentItem(layerBox->getNumItems() - 1);
  }
  layerBox->setNumVisible(std::min<FXint>(LIST_ROWS, layerBox->getNumItems()));
  const Label* label = dynamic_cast<const Label*>(node);
  const bool shape = dynamic_cast<const Shape*>(node) != nullptr;
  const ObjectCorners c = cornersOf(*node);
  xField = field(grid, "X:", units.format(label ? label->anchor.x : c.left()));
  yField = field(grid, "Y:", units.format(label ? label->anchor.y : c.low()));
  widthField = field(grid, "Width:", units.format((int64_t)c.right() - c.left()), !shape);
  heightField = field(grid, "Height:", units.format((int64_t)c.high() - c.low()), !shape);
  if (const Opt* opt = dynamic_cast<const Opt*>(node)) valueField = field(grid, "Value:", std::to_string(opt->value));
  if (label) stringField = field(grid, "String:", label->text);
}

void PropertiesDialog::buildInstanceFields(FXComposite* grid) {
  const Instance& inst = static_cast<const Instance&>(*node);
  new FXLabel(grid, "Cell:", nullptr, LAYOUT_RIGHT | LAYOUT_CENTER_Y);
  cellBox = new FXListBox(grid, nullptr, 0, FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X);
  // A cell that places the shown one cannot be placed in it.
  for (uint32_t c = 0; c < layout->cellCount(); c++) {
    if (c != inst.cell && cellPlaces(layout->cells(), c, layout->shownCell())) continue;
    cells.push_back(c);
    cellBox->appendItem(layout->cell(c).name().c_str());
    if (c == inst.cell) cellBox->setCurrentItem(cellBox->getNumItems() - 1);
  }
  cellBox->setNumVisible(std::min<FXint>(LIST_ROWS, cellBox->getNumItems()));
  xField = field(grid, "X:", units.format(inst.transform.x));
  yField = field(grid, "Y:", units.format(inst.transform.y));
  new FXLabel(grid, "Mirror:", nullptr, LAYOUT_RIGHT | LAYOUT_CENTER_Y);
  mirrorCheck = new FXCheckButton(grid, "about the x axis, before the rotation");
  mirrorCheck->setCheck(inst.transform.mirrorX);
  new FXLabel(grid, "Rotation:", nullptr, LAYOUT_RIGHT | LAYOUT_CENTER_Y);
  rotationBox = new FXListBox(grid, nullptr, 0, FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X);
  const double angle = inst.transform.hasAngle ? inst.transform.angle : 90.0 * (inst.transform.quarterTurns & 3);
  angles = {0, 90, 180, 270};
  // An angle read from a file that is not a quarter turn stays offered.
  if (std::fmod(angle, 90.0) != 0) angles.push_back(angle);
  for (size_t k = 0; k < angles.size(); k++) {
    FXString text;
    text.format("%g degrees", angles[k]);
    rotationBox->appendItem(text);
    if (angles[k] == angle) rotationBox->setCurrentItem((FXint)k);
  }
  rotationBox->setNumVisible((FXint)angles.size());
  columnsField = field(grid, "Columns:", std::to_string(inst.array.columns));
  rowsField = field(grid, "Rows:", std::to_string(inst.array.rows));
  // An uneven array shows its fractional steps; typing a step makes it even.
  double steps[4];
  inst.array.steps(steps[0], steps[1], steps[2], steps[3]);
  for (int k = 0; k < 4; k++) shownSteps[k] = stepText(steps[k], units);
  columnStep[0] = field(grid, "Column step X:", shownSteps[0]);
  columnStep[1] = field(grid, "Column step Y:", shownSteps[1]);
  rowStep[0] = field(grid, "Row step X:", shownSteps[2]);
  rowStep[1] = field(grid, "Row step Y:", shownSteps[3]);
}

bool PropertiesDialog::length(FXTextField* f, const char* name, int64_t min, int64_t& v, std::string& why) const {
  if (units.parse(textOf(f), v, min, INT32_MAX)) return true;
  why = std::string(name) + " must be a length from " + units.format(min) + " to " + units.format(INT32_MAX) + " " +
        units.name() + ": \"" + textOf(f) + "\"";
  return false;
}

GroupNode* PropertiesDialog::build(int& newSlot, std::string& why) const {
  if (slot == LAYER_INSTANCES) {
    newSlot = LAYER_INSTANCES;
    return buildInstance(why);
  }
  return buildObject(newSlot, why);
}

GroupNode* PropertiesDialog::buildObject(int& newSlot, std::string& why) const {
  newSlot = slots[layerBox->getCurrentItem()];
  if (!layout->layer(newSlot).isEnabled()) {
    why = std::string("Layer ") + layerFacts(newSlot).name + " is switched off: it takes no objects.";
    return nullptr;
  }
  int64_t x, y, w = 1, h = 1, value = 0;
  const bool shape = dynamic_cast<const Shape*>(node) != nullptr;
  if (!length(xField, "X", INT32_MIN, x, why) || !length(yField, "Y", INT32_MIN, y, why)) return nullptr;
  if (!shape && (!length(widthField, "Width", 1, w, why) || !length(heightField, "Height", 1, h, why))) return nullptr;
  if (!shape && (!fitsInt32(x + w) || !fitsInt32(y + h))) {
    why = "The far corner (x + width, y + height) lies outside the 32-bit range.";
    return nullptr;
  }
  if (valueField && !integer(valueField, "Value", INT32_MIN, INT32_MAX, value, why)) return nullptr;
  GroupNode* copy = objectForSlot(*node, slot, newSlot);
  if (Label* label = dynamic_cast<Label*>(copy)) {
    label->moveBy(wrapSub((int32_t)x, label->anchor.x), wrapSub((int32_t)y, label->anchor.y));
    label->text = textOf(stringField);
    label->refresh();
  } else if (shape) {
    const ObjectCorners c = cornersOf(*copy);
    copy->moveBy(wrapSub((int32_t)x, c.left()), wrapSub((int32_t)y, c.low()));
  } else {
    copy->setRect((int32_t)x, (int32_t)y, (int32_t)w, (int32_t)h);
  }
  if (Opt* opt = dynamic_cast<Opt*>(copy))
    if (valueField) opt->value = (int32_t)value;
  return copy;
}

GroupNode* PropertiesDialog::buildInstance(std::string& why) const {
  const Instance& inst = static_cast<const Instance&>(*node);
  int64_t x, y, columns, rows, steps[4];
  if (!length(xField, "X", INT32_MIN, x, why) || !length(yField, "Y", INT32_MIN, y, why)) return nullptr;
  if (!integer(columnsField, "Columns", 1, UINT16_MAX, columns, why) ||
      !integer(rowsField, "Rows", 1, UINT16_MAX, rows, why))
    return nullptr;
  const char* stepNames[4] = {"Column step X", "Column step Y", "Row step X", "Row step Y"};
  FXTextField* stepFields[4] = {columnStep[0], columnStep[1], rowStep[0], rowStep[1]};
  // A step left as shown stays (an uneven array's fraction is not typed).
  const int32_t kept[4] = {inst.array.columnStep[0], inst.array.columnStep[1], inst.array.rowStep[0],
                           inst.array.rowStep[1]};
  for (int k = 0; k < 4; k++)
    if (textOf(stepFields[k]) == shownSteps[k]) steps[k] = kept[k];
    else if (!length(stepFields[k], stepNames[k], INT32_MIN, steps[k], why)) return nullptr;
  // The last element's origin must be a layout point too.
  const int64_t farX = x + (columns - 1) * steps[0] + (rows - 1) * steps[2];
  const int64_t farY = y + (columns - 1) * steps[1] + (rows - 1) * steps[3];
  if (!fitsInt32(farX) || !fitsInt32(farY)) {
    why = "The array's last element lies outside the 32-bit range.";
    return nullptr;
  }
  Instance* copy = cloneInstance(inst);
  if (inst.isSelected()) copy->select();
  copy->cell = cells[cellBox->getCurrentItem()];
  CellTransform& t = copy->transform;
  t.mirrorX = mirrorCheck->getCheck() != FALSE;
  const double angle = angles[rotationBox->getCurrentItem()];
  const double oldAngle = t.hasAngle ? t.angle : 90.0 * (t.quarterTurns & 3);
  if (angle != oldAngle) {
    t.quarterTurns = std::fmod(angle, 90.0) == 0 ? (uint8_t)((int)(angle / 90) & 3) : 0;
    t.angle = angle, t.angleBits = 0;
  }
  CellArray& a = copy->array;
  bool arrayChanged = a.columns != columns || a.rows != rows;
  for (int k = 0; k < 4; k++) arrayChanged = arrayChanged || textOf(stepFields[k]) != shownSteps[k];
  copy->moveBy(wrapSub((int32_t)x, t.x), wrapSub((int32_t)y, t.y));
  if (arrayChanged) {
    a.columns = (uint16_t)columns, a.rows = (uint16_t)rows;
    a.columnStep[0] = (int32_t)steps[0], a.columnStep[1] = (int32_t)steps[1];
    a.rowStep[0] = (int32_t)steps[2], a.rowStep[1] = (int32_t)steps[3];
    // An AREF's points: the origin, past the last column, past the last row.
    a.points[0] = (int32_t)x, a.points[1] = (int32_t)y;
    a.points[2] = wrapAdd((int32_t)x, (int32_t)(uint32_t)(columns * steps[0]));
    a.points[3] = wrapAdd((int32_t)y, (int32_t)(uint32_t)(columns * steps[1]));
    a.points[4] = wrapAdd((int32_t)x, (int32_t)(uint32_t)(rows * steps[2]));
    a.points[5] = wrapAdd((int32_t)y, (int32_t)(uint32_t)(rows * steps[3]));
    a.fromAref = a.fromAref || a.elements() > 1;
  }
  copy->placeBounds(layout->cells());
  return copy;
}

long PropertiesDialog::onCmdApply(FXObject* sender, FXSelector sel, void* ptr) {
  std::string why;
  int newSlot = 0;
  GroupNode* built = build(newSlot, why);
  if (!built) {
    FXMessageBox::error(this, MBOX_OK, "Error!", "%s", why.c_str());
    return 1;
  }
  delete result;
  result = built, resultSlot = newSlot;
  return FXDialogBox::onCmdAccept(sender, sel, ptr);
}

GroupNode* PropertiesDialog::takeResult(int& newSlot) {
  GroupNode* r = result;
  result = nullptr;
  newSlot = resultSlot;
  return r;
}
