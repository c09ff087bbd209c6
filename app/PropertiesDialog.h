#ifndef KIVO_PROPERTIESDIALOG_H
#define KIVO_PROPERTIESDIALOG_H

#include <fx.h>

#include <string>
#include <vector>

#include "model/DisplayUnits.h"
#include "model/Layout.h"

// Edit > Properties: the fields of one object, lengths in the units shown.
// A rectangle or marker shows its layer, lower-left corner, width and
// height (and a marker its value); a polygon or path its box, moved by its
// corner only; a label its anchor and string; an instance its cell,
// position, mirror, rotation and array. OK checks every field and stays
// open with an error box while one is out of range; the window then
// replaces the object by result() in one undo step.
class PropertiesDialog : public FXDialogBox {
  FXDECLARE(PropertiesDialog)

public:
  PropertiesDialog(FXWindow* owner, const Layout& layout, int slot, const GroupNode& node, const DisplayUnits& units);
  ~PropertiesDialog() override;

  enum { ID_APPLY = FXDialogBox::ID_LAST, ID_LAST };
  long onCmdApply(FXObject*, FXSelector, void*);

  // The object the fields describe, new and owned by the caller, and its
  // slot; null with the reason in why when a field is malformed or out of
  // range.
  GroupNode* build(int& newSlot, std::string& why) const;
  // What OK accepted (the caller owns it), and its slot.
  GroupNode* takeResult(int& newSlot);

  // The fields; null where the object has none. Public for the tests.
  FXListBox* layerBox = nullptr;
  FXTextField* xField = nullptr;
  FXTextField* yField = nullptr;
  FXTextField* widthField = nullptr;
  FXTextField* heightField = nullptr;
  FXTextField* valueField = nullptr;
  FXTextField* stringField = nullptr;
  FXListBox* cellBox = nullptr;
  FXCheckButton* mirrorCheck = nullptr;
  FXListBox* rotationBox = nullptr;
  FXTextField* columnsField = nullptr;
  FXTextField* rowsField = nullptr;
  FXTextField* columnStep[2] = {nullptr, nullptr};
  FXTextField* rowStep[2] = {nullptr, nullptr};

private:
  PropertiesDialog() {}
  FXTextField* field(FXComposite* grid, const char* label, const std::string& text, bool editable = true);
  void buildObjectFields(FXComposite* grid);
  void buildInstanceFields(FXComposite* grid);
  GroupNode* buildObject(int& newSlot, std::string& why) const;
  GroupNode* buildInstance(std::string& why) const;
  // A length field into [min, max]; false with why set otherwise.
  bool length(FXTextField* f, const char* name, int64_t min, int64_t& v, std::string& why) const;

  const Layout* layout = nullptr;
  int slot = 0;
  const GroupNode* node = nullptr;
  DisplayUnits units;
  std::vector<int> slots;            // the layer box's entries
  std::vector<uint32_t> cells;       // the cell box's entries
  std::vector<double> angles;        // the rotation box's entries, degrees
  std::string shownSteps[4];         // the step fields' first texts: column x, y, row x, y
  GroupNode* result = nullptr;
  int resultSlot = 0;
};

#endif
