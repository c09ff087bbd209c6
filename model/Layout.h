#ifndef KIVO_LAYOUT_H
#define KIVO_LAYOUT_H

#include <fx.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "model/Cell.h"
#include "model/Layer.h"
#include "model/LayerStyle.h"
#include "model/LayerTable.h"
#include "model/Untitled.h"

// The file formats a layout is read from and saved in.
enum FileFormat { FORMAT_MSK = 0, FORMAT_GDSII = 1 };

// What a GDSII file said of itself, kept so that a save writes it back.
struct GdsLibraryInfo {
  std::string libraryName = "KIVO";
  std::string cellName = "TOP";
  double userUnits = 0.001;   // user units per database unit
  double metres = 1e-9;       // metres per database unit
  // The UNITS record's two reals as read, written back bit for bit (tools
  // round them differently in the last place); empty: from the two above.
  std::string unitsBytes;
  // Records kept as read and written back unchanged: BGNLIB's data (its
  // dates), the library's optional records before and after LIBNAME
  // (REFLIBS, FONTS and the like, whole records), and per cell name its
  // BGNSTR data and STRCLASS record. Empty: none kept (dates are now's).
  std::string libraryDates, recordsBeforeName, recordsAfterName;
  struct CellRecords {
    std::string dates, structureClass;
  };
  std::map<std::string, CellRecords> cellRecords;
};

// An object to add, with the slot it goes to.
struct PlacedObject {
  int layer;
  GroupNode* node;
};

// Told of every change of content, as it happens (the recovery journal).
// Positions count a layer's objects from 0 in list order, ascending.
class LayoutObserver {
public:
  virtual ~LayoutObserver() = default;
  // Objects appended at the end of a layer, the first at position first.
  virtual void objectsAppended(int layer, size_t first, const std::vector<GroupNode*>& nodes) = 0;
  // Objects taken out of these positions.
  virtual void objectsRemoved(int layer, const std::vector<uint32_t>& positions,
                              const std::vector<GroupNode*>& nodes) = 0;
  // Objects put back so that they stand at these positions.
  virtual void objectsInserted(int layer, const std::vector<uint32_t>& positions,
                               const std::vector<GroupNode*>& nodes) = 0;
  // Objects at these positions moved by (dx, dy).
  virtual void objectsMoved(int layer, const std::vector<uint32_t>& positions, int32_t dx,
                            int32_t dy) = 0;
  // The history reached the state last saved, opened or created (after an
  // undo or redo), or the content was replaced or saved.
  virtual void savedStateReached() = 0;
  // A new cell came last into the library with its content (Group).
  virtual void cellAdded(const Cell&) {}
  // The library's last cell, of this name, went (Group undone).
  virtual void lastCellDropped(const std::string&) {}
  // The document shows another cell; the edits after are its.
  virtual void cellShown(const Cell&) {}
};

// The layout document: its library of cells, the layers (LayerTable.h) and
// instances of the cell it shows, the file they came from and the undo
// history. Every change of content passes through addObjects,
// removeSelected and moveSelected, which record one undoable step each;
// selection and the layers' enabled flags change through applySelection and
// toggleEnabled and are not undoable.
class Layout {
public:
  Layout();
  ~Layout();
  Layout(const Layout&) = delete;
  Layout& operator=(const Layout&) = delete;

  const Layer& layer(int i) const { return layers[i]; }
  // The layers of the shown cell, to read (LAYER_INSTANCES follows them).
  const Layer* allLayers() const { return layers; }
  // The shown cell's instances, edited as slot LAYER_INSTANCES.
  const Layer& instances() const { return layers[LAYER_INSTANCES]; }

  // ---- cells: the library the document holds; a flat layout is a
  // library of one cell. The shown cell's objects are the layers above.
  size_t cellCount() const { return library.size(); }
  const Cell& cell(uint32_t i) const { return library.cell(i); }
  uint32_t shownCell() const { return library.shown; }
  const CellLibrary& cells() const { return library; }
  // The corners of the objects last appended to layer i, moved out of its
  // record of changes: the painter takes them over rather than copy them.
  BigVector<ObjectCorners> takeAppendedCorners(int i) { return layers[i].takeAppendedCorners(); }

  // ---- file state
  const FXString& fileName() const { return filename; }
  bool isUntitled() const { return untitled; }
  FileFormat format() const { return fileFormat; }
  const GdsLibraryInfo& gdsInfo() const { return gds; }
  // Unsaved changes: the history is not where the layout was last saved,
  // opened or created.
  bool isModified() const { return !history.marked(); }
  // The layout was written to name in this format.
  void markSaved(const FXString& name, FileFormat f);
  // Count as changed until the next save (a recovered layout).
  void markUnsaved() { history.unmark(); }
  // Save As clears the name's claim: the next save asks for one.
  void setUntitled(bool u) { untitled = u; }
  // Replace the content by the objects of fresh (which receives the old
  // ones), enable every layer, clear the history and count as saved. New
  // passes empty layers. cells, when given, is the library read with
  // them (taken over; the shown cell's own objects may be in fresh or in
  // the library); else the layout is one cell named by info.
  void replaceContent(Layer fresh[LAYER_COUNT], const FXString& name, bool isUntitled,
                      FileFormat f = FORMAT_MSK, const GdsLibraryInfo& info = GdsLibraryInfo(),
                      CellLibrary* cells = nullptr);

  // ---- edits (undoable); only enabled layers take part
  // Add the objects to their layers as one step described by message.
  // Objects of disabled layers are refused and deleted; returns how many
  // were added (0 adds no step).
  size_t addObjects(const std::vector<PlacedObject>& objects, const FXString& message,
                    size_t* refused = nullptr);
  // Remove the selected objects of the enabled layers (only `only` when it
  // is a slot, every layer when -1) as one step; verb ends its message
  // ("deleted", "cut"). Returns how many were removed.
  size_t removeSelected(int only, const char* verb);
  enum MoveResult { MOVE_DONE, MOVE_NOTHING, MOVE_OUT_OF_RANGE };
  // Move the selected objects of the enabled layers by (dx, dy). Moves one
  // after another of the same objects merge into one step. Nothing moves
  // when an object would leave the 32-bit range. With ownStep (a move made
  // by the mouse) the move is a step of its own, merging with none.
  MoveResult moveSelected(int only, int32_t dx, int32_t dy, size_t* moved = nullptr, bool ownStep = false);

  // ---- selection and switches (not undoable)
  // Layer::apply on one layer, or on every layer with -1; summed count.
  // OP_ADD and OP_DELETE are not accepted here.
  int applySelection(int only, int op, int filter, Rect* arg);
  void toggleEnabled(int i) { layers[i].toggleEnabled(); }
  // Give layer i this look (colour, style, hidden); hiding a layer
  // deselects its objects, and no selection reaches it while hidden.
  void setLook(int i, const LayerLook& look);
  // Give the pair slots handed out since the last call their colours; every
  // change of content does it first.
  void settleNewLayers();
  // Selected objects of the enabled layers (only `only` when it is a slot).
  size_t selectedCount(int only) const;

  // ---- history
  bool canUndo() const { return history.canUndo(); }
  bool canRedo() const { return history.canRedo(); }
  // Undo or redo one step; its message, empty when there was none.
  FXString undo();
  FXString redo();
  // The memory the history may hold; the oldest steps go first, the newest
  // always stays.
  void setHistoryLimit(FXuint bytes) { historyLimit = bytes; }
  FXuint historySize() const { return history.size(); }

  // ---- the hierarchy (model/CellEdits.cpp). Group and Ungroup are one
  // undoable step each.
  // The first of CELL1, CELL2, ... that no cell is named.
  std::string freeCellName() const;
  enum GroupResult { GROUP_DONE, GROUP_NOTHING, GROUP_NAME_TAKEN, GROUP_NAME_EMPTY };
  // Move the selected objects and instances of the enabled slots into a
  // new cell named name, at the same coordinates, and put one instance of
  // it (no transform, selected) in their place.
  // Only `only` when it is a slot, as the other edits.
  GroupResult groupSelected(const std::string& name, int only = -1);
  // Replace every selected instance by its cell's objects and instances
  // placed by each of its elements (CellPlacement.h), selected. Nothing
  // happens, and overLimit is set, when that would make more than limit
  // objects. Returns the instances ungrouped.
  size_t ungroupSelected(uint64_t limit, bool* overLimit = nullptr);
  // Show and edit cell i: the shown cell's objects go back into it, cell
  // i's come into the layers, and every instance's box follows the cells'
  // contents. The history is cleared (its steps know the layers of the
  // cell shown before); the layout stays modified or unmodified.
  void showCell(uint32_t i);
  // addObjects for objects whose instances place cells of from (by its
  // indices; model/CellPaste.cpp): each cell of from comes into the
  // library with them in the same step, unless a cell of its name has the
  // same content (then that one is placed); a name taken by other content
  // becomes NAME$1, NAME$2, ...
  size_t pasteWithCells(const CellLibrary& from, const std::vector<PlacedObject>& objects,
                        const FXString& message, size_t* refused = nullptr);

  // ---- objects replaced by others (model/ObjectReplace.cpp), one
  // undoable step each.
  // Put replacement (taken over) in the place of the object at position of
  // slot: at that position on the same slot, last on newSlot otherwise.
  // Both slots must be enabled, and an instance is replaced by an instance
  // only; false (replacement deleted) when not.
  bool replaceObject(int slot, uint32_t position, int newSlot, GroupNode* replacement, const FXString& message);
  // Move the selected objects of the enabled layers (only `only` when it is
  // a slot) to layer `to`, last there in their order, still selected
  // (objectForSlot). Instances stay. Returns how many moved; 0 when `to` is
  // disabled.
  size_t moveSelectedToLayer(int to, int only = -1);

  void setObserver(LayoutObserver* o) { observer = o; }
  LayoutObserver* getObserver() const { return observer; }

private:
  friend class LayerChanges;
  friend class CellChanges;

  // Changes of the layers, for the undo steps and the journal's replay: each
  // keeps the observer informed.
  void appendTo(int i, const std::vector<GroupNode*>& nodes);
  std::vector<GroupNode*> removeFrom(int i, const std::vector<uint32_t>& positions);
  void insertInto(int i, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes);
  void moveIn(int i, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes,
              int32_t dx, int32_t dy);

  void record(FXCommand* step, bool merge);
  void afterHistoryMove();
  // Deselect the objects of the hidden layers: nothing hidden is selected.
  void deselectHidden();

  Layer layers[SLOT_COUNT];
  CellLibrary library;
  FXString filename = UNTITLED_NAME;
  bool untitled = true;
  FileFormat fileFormat = FORMAT_MSK;
  GdsLibraryInfo gds;
  FXUndoList history;
  FXuint historyLimit = 512u << 20;
  LayoutObserver* observer = nullptr;
  // Selected objects per layer, counted again when the layer's revision
  // moved: the update rules ask many times a second.
  mutable uint64_t countedRevision[SLOT_COUNT] = {};
  mutable size_t selectedInLayer[SLOT_COUNT] = {};
  int settledSlots = FIRST_PAIR_SLOT;  // slots with their colours
};

// The changes of the layers beneath edits: the undo steps make and reverse
// them, the recovery journal's replay repeats recorded ones without new
// steps. Nothing else writes layers outside the document.
class LayerChanges {
public:
  explicit LayerChanges(Layout& l) : layout(l) {}
  void appendTo(int i, const std::vector<GroupNode*>& nodes) { layout.appendTo(i, nodes); }
  std::vector<GroupNode*> removeFrom(int i, const std::vector<uint32_t>& positions) {
    return layout.removeFrom(i, positions);
  }
  void insertInto(int i, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes) {
    layout.insertInto(i, positions, nodes);
  }
  void moveIn(int i, const std::vector<uint32_t>& positions, const std::vector<GroupNode*>& nodes,
              int32_t dx, int32_t dy) {
    layout.moveIn(i, positions, nodes, dx, dy);
  }

private:
  Layout& layout;
};

#endif
