// Undo, Redo, Copy, Cut, Paste and moving the selection with the keys.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "app/KivoWindow.h"
#include "io/ClipboardCells.h"
#include "io/ClipboardText.h"
#include "io/Gdsii.h"
#include "model/CellFlatten.h"
#include "model/CountText.h"

namespace {

// The clipboard targets Kivo offers and accepts, in the order it prefers
// them: layout records as text. FOX registers "text/plain" only for some
// widgets, and a request for an unregistered type fails in the X server.
const int TEXT_TYPE_COUNT = 3;
FXDragType textTypes[TEXT_TYPE_COUNT];

const FXDragType* clipboardTypes(FXApp* app) {
  if (!FXWindow::textType) FXWindow::textType = app->registerDragType(FXWindow::textTypeName);
  textTypes[0] = FXWindow::utf8Type;
  textTypes[1] = FXWindow::stringType;
  textTypes[2] = FXWindow::textType;
  return textTypes;
}

// Kivo's own form, offered before the text: the objects with the cells
// their instances place (io/ClipboardCells.h).
const char CELLS_TYPE_NAME[] = "application/x-kivo-cells";

FXDragType cellsType(FXApp* app) {
  static FXDragType type = 0;
  if (!type) type = app->registerDragType(CELLS_TYPE_NAME);
  return type;
}

// Is this type among those the clipboard's owner offers?
bool offered(const FXWindow& window, FXDragType type) {
  FXDragType* types = nullptr;
  FXuint count = 0;
  if (!window.inquireDNDTypes(FROM_CLIPBOARD, types, count)) return false;
  bool found = false;
  for (FXuint i = 0; i < count; i++) found = found || types[i] == type;
  FXFREE(&types);
  return found;
}

// The first of Kivo's text types that the clipboard's owner offers, or 0.
// Asking first means a request is never sent for a type the owner does not
// offer; some owners never answer one.
FXDragType offeredTextType(const FXWindow& window) {
  FXDragType* offered = nullptr;
  FXuint count = 0;
  if (!window.inquireDNDTypes(FROM_CLIPBOARD, offered, count)) return 0;
  const FXDragType* types = clipboardTypes(window.getApp());
  FXDragType chosen = 0;
  for (int t = 0; t < TEXT_TYPE_COUNT && !chosen; t++)
    for (FXuint i = 0; i < count && !chosen; i++)
      if (offered[i] == types[t]) chosen = types[t];
  FXFREE(&offered);
  return chosen;
}

void deleteObjects(std::vector<PlacedObject>& objects) {
  for (PlacedObject& o : objects) delete o.node;
  objects.clear();
}

// Copies of the selected objects of the layers the editing commands reach.
std::vector<PlacedObject> copySelection(const Layout& layout, int reach) {
  std::vector<PlacedObject> copies;
  for (int i = 0; i < SLOT_COUNT; i++) {
    const Layer& layer = layout.layer(i);
    if ((reach >= 0 && i != reach) || !layer.isEnabled()) continue;
    for (GroupNode* node = layer.first(); node; node = node->next())
      if (node->isSelected()) copies.push_back({i, cloneObject(*node)});
  }
  return copies;
}

// Move copies so that the lower-left corner of their bounding box lands on
// (x, y); false, with nothing moved, when one would leave the 32-bit range.
bool placeAt(std::vector<PlacedObject>& objects, int32_t x, int32_t y) {
  int64_t left = INT64_MAX, bottom = INT64_MAX;
  for (const PlacedObject& o : objects) {
    const Rect& r = *o.node;
    left = std::min<int64_t>({left, r.x, (int64_t)r.x + r.w});
    bottom = std::min<int64_t>({bottom, r.y, (int64_t)r.y + r.h});
  }
  int64_t dx = x - left, dy = y - bottom;
  for (const PlacedObject& o : objects) {
    const Rect& r = *o.node;
    if (!fitsInt32(r.x + dx) || !fitsInt32(r.x + r.w + dx) || !fitsInt32(r.y + dy) || !fitsInt32(r.y + r.h + dy))
      return false;
  }
  for (PlacedObject& o : objects) o.node->moveBy((int32_t)dx, (int32_t)dy);
  return true;
}


// Copies of objects, with their slots; on std::bad_alloc none is left.
std::vector<PlacedObject> copiesOf(const std::vector<PlacedObject>& objects) {
  std::vector<PlacedObject> copies;
  copies.reserve(objects.size());
  try {
    for (const PlacedObject& o : objects) copies.push_back({o.layer, cloneObject(*o.node)});
  } catch (...) {
    deleteObjects(copies);
    throw;
  }
  return copies;
}

}  // namespace

long KivoWindow::onCmdUndo(FXObject*, FXSelector, void*) {
  FXString message = layout.undo();
  if (!message.empty()) setStatusMessage("Undo: " + message);
  canvas->update();
  return 1;
}

long KivoWindow::onUpdUndo(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, layout.canUndo() ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}

long KivoWindow::onCmdRedo(FXObject*, FXSelector, void*) {
  FXString message = layout.redo();
  if (!message.empty()) setStatusMessage("Redo: " + message);
  canvas->update();
  return 1;
}

long KivoWindow::onUpdRedo(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, layout.canRedo() ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}

// Keep copies of the selection and offer them to other programs as text;
// false when nothing is selected.
bool KivoWindow::copyToClipboard() {
  std::vector<PlacedObject> copies = copySelection(layout, reach());
  if (copies.empty()) return false;
  deleteObjects(clipboard);
  clipboard = std::move(copies);
  clipboardCellBytes.clear();
  for (const PlacedObject& o : clipboard)
    if (o.layer == LAYER_INSTANCES) {
      clipboardCellBytes = clipboardCells(clipboard, layout.cells());
      break;
    }
  FXDragType types[TEXT_TYPE_COUNT + 1] = {cellsType(getApp())};
  std::copy(clipboardTypes(getApp()), clipboardTypes(getApp()) + TEXT_TYPE_COUNT, types + 1);
  acquireClipboard(types, TEXT_TYPE_COUNT + 1);
  return true;
}

long KivoWindow::onCmdCopy(FXObject*, FXSelector, void*) {
  if (copyToClipboard()) setStatusMessage(countText(clipboard.size(), "object(s) copied"));
  return 1;
}

long KivoWindow::onCmdCut(FXObject*, FXSelector, void*) {
  if (!copyToClipboard()) return 1;
  setStatusMessage(countText(layout.removeSelected(reach(), "cut"), "object(s) cut"));
  canvas->update();
  return 1;
}

long KivoWindow::onUpdCopyCut(FXObject* sender, FXSelector, void*) {
  bool any = layout.selectedCount(reach()) > 0;
  sender->handle(this, FXSEL(SEL_COMMAND, any ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}

void KivoWindow::flattenCopiedInstances() {
  if (!clipboardCellBytes.empty()) return;  // the copy holds its cells already
  std::vector<PlacedObject> kept;
  Layer flat[LAYER_COUNT];
  for (PlacedObject& o : clipboard) {
    if (o.layer != LAYER_INSTANCES) {
      kept.push_back(o);
      continue;
    }
    flattenInstance(layout.cells(), *static_cast<const Instance*>(o.node), flat, GDS_OBJECT_LIMIT);
    delete o.node;
  }
  for (int i = 0; i < LAYER_COUNT; i++)
    for (GroupNode* node = flat[i].cutFrom(0); node;) {
      GroupNode* next = node->links[0];
      node->links[0] = nullptr;
      kept.push_back({i, node});
      node = next;
    }
  clipboard = std::move(kept);
}

// Another Kivo window's objects with their cells, when it offers them.
bool KivoWindow::clipboardCellObjects(CellLibrary& cells, std::vector<PlacedObject>& objects) const {
  if (hasClipboard())
    return !clipboardCellBytes.empty() &&
           objectsOfClipboardCells((const uint8_t*)clipboardCellBytes.data(), clipboardCellBytes.size(), cells, objects) &&
           !objects.empty();
  FXuchar* data = nullptr;
  FXuint size = 0;
  if (!offered(*this, cellsType(getApp())) ||
      !getDNDData(FROM_CLIPBOARD, cellsType(getApp()), data, size) || !data)
    return false;
  bool ok = objectsOfClipboardCells(data, size, cells, objects);
  FXFREE(&data);
  return ok && !objects.empty();
}

// Kivo's own copy while it owns the clipboard, else the objects of the
// layout text another program offers; new objects, the caller's.
std::vector<PlacedObject> KivoWindow::clipboardObjects() const {
  if (hasClipboard()) return copiesOf(clipboard);
  FXuchar* data = nullptr;
  FXuint size = 0;
  FXDragType type = offeredTextType(*this);
  if (!type || !getDNDData(FROM_CLIPBOARD, type, data, size) || !data) return {};
  std::vector<PlacedObject> objects;
  try {
    objects = objectsOfClipboardText((const char*)data, size);
  } catch (...) {
    FXFREE(&data);
    throw;
  }
  FXFREE(&data);
  return objects;
}

// Paste the clipboard's objects with their lower-left corner at the pointer.
long KivoWindow::onCmdPaste(FXObject*, FXSelector, void*) {
  std::vector<PlacedObject> objects;
  CellLibrary cells;
  try {
    if (!clipboardCellObjects(cells, objects)) objects = clipboardObjects();
  } catch (const std::bad_alloc&) {
    setStatusMessage("Nothing pasted: not enough memory");
    return 1;
  }
  if (objects.empty()) {
    setStatusMessage("Nothing to paste: the clipboard holds no layout objects");
    return 1;
  }
  int32_t x, y;
  toLayout(pointerX, pointerY, x, y);
  snapPoint(x, y);
  if (!placeAt(objects, x, y)) {
    deleteObjects(objects);
    setStatusMessage("Nothing pasted: the objects would leave the coordinate range");
    return 1;
  }
  for (PlacedObject& o : objects) o.node->select();
  layout.applySelection(-1, OP_DESELECT, MATCH_ALL, nullptr);
  size_t accepted = 0;
  for (const PlacedObject& o : objects) accepted += layout.layer(o.layer).isEnabled() ? 1 : 0;
  size_t refused = 0;
  const FXString message = countText(accepted, "object(s) pasted");
  size_t added = cells.size() ? layout.pasteWithCells(cells, objects, message, &refused)
                              : layout.addObjects(objects, message, &refused);
  FXString text = countText(added, "object(s) pasted");
  if (refused > 0) text += ", " + countText(refused, "refused: layer disabled");
  setStatusMessage(text);
  canvas->update();
  return 1;
}

long KivoWindow::onUpdPaste(FXObject* sender, FXSelector, void*) {
  bool offered;
  if (hasClipboard()) {
    offered = !clipboard.empty();
  } else {
    Display* display = (Display*)getApp()->getDisplay();
    offered = display && XGetSelectionOwner(display, XInternAtom(display, "CLIPBOARD", False)) != None;
  }
  sender->handle(this, FXSEL(SEL_COMMAND, offered ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}

// Ctrl+arrow moves the selection by one unit, Ctrl+Shift+arrow by ten.
long KivoWindow::onCmdNudge(FXObject*, FXSelector sel, void*) {
  static const int32_t steps[8][2] = {{0, 1}, {0, -1}, {-1, 0}, {1, 0},
                                      {0, 10}, {0, -10}, {-10, 0}, {10, 0}};
  const int32_t* step = steps[FXSELID(sel) - ID_NUDGE_UP];
  size_t moved = 0;
  switch (layout.moveSelected(reach(), step[0], step[1], &moved)) {
    case Layout::MOVE_DONE: setStatusMessage(countText(moved, "object(s) moved")); break;
    case Layout::MOVE_OUT_OF_RANGE:
      setStatusMessage("Nothing moved: an object would leave the coordinate range");
      break;
    default: setStatusMessage("0 object(s) moved"); break;
  }
  canvas->update();
  return 1;
}

// Another program asks for the copied objects: send them as layout text.
long KivoWindow::onClipboardRequest(FXObject* sender, FXSelector sel, void* ptr) {
  const FXEvent* event = static_cast<const FXEvent*>(ptr);
  if (FXMainWindow::onClipboardRequest(sender, sel, ptr)) return 1;
  if (event->target == cellsType(getApp())) {
    const std::string bytes =
        clipboardCellBytes.empty() ? clipboardCells(clipboard, layout.cells()) : clipboardCellBytes;
    FXuchar* data = nullptr;
    FXMALLOC(&data, FXuchar, bytes.size() + 1);
    memcpy(data, bytes.data(), bytes.size());
    setDNDData(FROM_CLIPBOARD, event->target, data, (FXuint)bytes.size());
    return 1;
  }
  const FXDragType* types = clipboardTypes(getApp());
  for (int t = 0; t < TEXT_TYPE_COUNT; t++) {
    if (event->target != types[t]) continue;
    std::string text;
    CellLibrary cells;
    std::vector<PlacedObject> copies;
    if (clipboardCellBytes.empty()) {
      text = clipboardText(clipboard, &layout.cells());
    } else if (objectsOfClipboardCells((const uint8_t*)clipboardCellBytes.data(), clipboardCellBytes.size(), cells,
                                       copies)) {
      text = clipboardText(copies, &cells);
      deleteObjects(copies);
    }
    FXuchar* data = nullptr;
    FXMALLOC(&data, FXuchar, text.size() + 1);
    memcpy(data, text.data(), text.size());
    setDNDData(FROM_CLIPBOARD, event->target, data, (FXuint)text.size());
    return 1;
  }
  return 0;
}
