#ifndef KIVO_KIVOWINDOW_H
#define KIVO_KIVOWINDOW_H

#include <fx.h>
#include <fx3d.h>

#include "canvas/CanvasPainter.h"
#include "canvas/CellScene.h"
#include "canvas/GridOverlay.h"
#include "canvas/MoveDrag.h"
#include "canvas/Rulers.h"
#include "canvas/ViewTransform.h"
#include "icons/Icons.h"
#include "model/Layer.h"
#include "model/LayerTable.h"
#include "model/Layout.h"
#include "model/MouseRect.h"
#include "model/DisplayUnits.h"
#include "model/TopmostShape.h"

class CellsPanel;
class LayerDlg;
class RecoveryJournal;


// The main window: holds the layout document, the view, the mouse band and
// every widget. Its handlers live with their subsystem: io/FileCommands.cpp,
// canvas/ViewCommands.cpp, canvas/MouseEditing.cpp,
// model/SelectionCommands.cpp, app/EditCommands.cpp,
// panels/LayerCommands.cpp; the rest here.
class KivoWindow : public FXMainWindow {
  FXDECLARE(KivoWindow)

  friend class LayerDlg;

protected:
  KivoWindow();

public:
  enum {
    ID_ABOUT = FXMainWindow::ID_LAST,
    ID_LAYERS,
    ID_FILE_NEW,
    ID_FILE_OPEN,
    ID_UNUSED_1,
    ID_FILE_SAVE,
    ID_FILE_SAVEAS,
    ID_UNUSED_2,
    ID_QUIT,
    ID_DELETE,
    ID_SELECT_ALL,
    ID_SELECT_NONE,
    ID_SELECT_INVERT,
    ID_ZOOM_IN,
    ID_ZOOM_OUT,
    ID_SHOW_ALL,
    ID_MOVE_UP,
    ID_MOVE_DOWN,
    ID_MOVE_LEFT,
    ID_MOVE_RIGHT,
    ID_SINGLE_LAYER,
    ID_CANVAS,
    ID_STATUS_TIMER,
    ID_STATUS_LINE,
    ID_PAN_UP,
    ID_PAN_DOWN,
    ID_PAN_LEFT,
    ID_PAN_RIGHT,
    ID_CURRENT_LAYER,
    ID_COPY,
    ID_CUT,
    ID_PASTE,
    ID_UNDO,
    ID_REDO,
    ID_NUDGE_UP,
    ID_NUDGE_DOWN,
    ID_NUDGE_LEFT,
    ID_NUDGE_RIGHT,
    ID_NUDGE_UP_10,
    ID_NUDGE_DOWN_10,
    ID_NUDGE_LEFT_10,
    ID_NUDGE_RIGHT_10,
    ID_CANCEL_DRAG,
    ID_UNAVAILABLE_FIRST,
    ID_UNAVAILABLE_LAST,
    ID_GROUP,
    ID_UNGROUP,
    ID_JOURNAL_TIMER,
    ID_VIEW_LABELS,
    ID_CELLS,
    ID_GOTO,
    ID_RECENT_FILE,
    // Grid, snap and rulers (canvas/GridCommands.cpp)
    ID_VIEW_GRID,
    ID_VIEW_SNAP,
    ID_GRID_STEP,
    ID_CLEAR_RULERS,
    // Layer looks (panels/LayerCommands.cpp)
    ID_VIEW_OUTLINES,
    // File > Export Picture (io/PictureCommands.cpp)
    ID_EXPORT_PICTURE,
    // Inspect, pick and object properties (app/PointerCommands.cpp)
    ID_PROPERTIES,
    ID_MOVE_TO_LAYER,
    ID_UNITS,
    // The inspect field's index, built in steps while idle
    // (app/PointerCommands.cpp)
    ID_INSPECT_INDEX,
  };

  explicit KivoWindow(FXApp* app);
  ~KivoWindow() override;
  void create() override;

  // Shell (app/KivoWindow.cpp)
  long onCmdAbout(FXObject*, FXSelector, void*);
  long onUpdStatusLine(FXObject*, FXSelector, void*);
  long onStatusTimeout(FXObject*, FXSelector, void*);
  long onUpdUnavailable(FXObject*, FXSelector, void*);
  // Show a text in the status line for 5000 ms, then "Ready".
  void setStatusMessage(FXString text);

  // Layer panel (panels/LayerCommands.cpp)
  long onCmdLayers(FXObject*, FXSelector, void*);
  long onUpdLayers(FXObject*, FXSelector, void*);

  // Files (io/FileCommands.cpp)
  long onCmdFileNew(FXObject*, FXSelector, void*);
  long onCmdFileOpen(FXObject*, FXSelector, void*);
  long onCmdFileSave(FXObject*, FXSelector, void*);
  long onUpdFileSave(FXObject*, FXSelector, void*);
  long onCmdFileSaveAs(FXObject*, FXSelector, void*);
  long onCmdQuit(FXObject*, FXSelector, void*);
  long onCmdClose(FXObject*, FXSelector, void*);
  // A file chosen from File > Recent Files: opens it as Open does.
  long onCmdRecentFile(FXObject*, FXSelector, void*);
  // Open a file as the Open command does after its dialog; false when it
  // could not be read (the layout stays as it was).
  bool openFile(const FXString& path);
  // Save as the Save command does; true when the layout was written.
  bool saveLayout();
  // The cell the next GDSII file opened shows (from the command line),
  // cleared by that open; when the file has no such cell, the open fails
  // without a message box and cellError says why.
  std::string startCell;
  std::string cellError;

  // Export Picture (io/PictureCommands.cpp)
  long onCmdExportPicture(FXObject*, FXSelector, void*);
  // Write the layers as shown, width x height pixels, to a PNG file at
  // path; false with the reason (after the file's name) when it failed.
  bool exportPicture(const FXString& path, int width, int height, FXString& why);

  // Recovery journal (io/RecoveryCommands.cpp)
  // Offer the journals of ended sessions, before a file named on the command
  // line is opened; true when one was recovered (then that file must not be
  // opened: the status line names it).
  bool recoverAtStart(const FXString& commandLineFile = FXString());
  void startRecoveryJournal();
  // Sync the journal now: a modal dialog is about to block the window.
  void syncRecoveryJournal();
  // The unsaved changes are dropped on purpose (Quit).
  void removeRecoveryJournal();
  long onJournalTimer(FXObject*, FXSelector, void*);

  // Undo, redo, clipboard and moving the selection (app/EditCommands.cpp)
  long onCmdUndo(FXObject*, FXSelector, void*);
  long onUpdUndo(FXObject*, FXSelector, void*);
  long onCmdRedo(FXObject*, FXSelector, void*);
  long onUpdRedo(FXObject*, FXSelector, void*);
  long onCmdCopy(FXObject*, FXSelector, void*);
  long onCmdCut(FXObject*, FXSelector, void*);
  long onUpdCopyCut(FXObject*, FXSelector, void*);
  long onCmdPaste(FXObject*, FXSelector, void*);
  long onUpdPaste(FXObject*, FXSelector, void*);
  long onCmdNudge(FXObject*, FXSelector, void*);
  long onClipboardRequest(FXObject*, FXSelector, void*);
  bool copyToClipboard();
  std::vector<PlacedObject> clipboardObjects() const;
  // The objects and cells another Kivo window offers; false when none.
  bool clipboardCellObjects(CellLibrary& cells, std::vector<PlacedObject>& objects) const;
  // The layout's cells are about to go: copied instances become the objects
  // they place, so that a paste into the next layout still has them.
  void flattenCopiedInstances();

  // Group, Ungroup and the cells panel (app/HierarchyCommands.cpp)
  long onCmdGroup(FXObject*, FXSelector, void*);
  long onUpdGroup(FXObject*, FXSelector, void*);
  long onCmdUngroup(FXObject*, FXSelector, void*);
  long onUpdUngroup(FXObject*, FXSelector, void*);
  long onCmdCells(FXObject*, FXSelector, void*);
  long onUpdCells(FXObject*, FXSelector, void*);
  // Show and edit cell i (Layout::showCell), whole in the view.
  void showCell(uint32_t i);
  // The title: the program, and the shown cell when it is not a top cell.
  void refreshTitle();

  // Selection (model/SelectionCommands.cpp)
  long onCmdDelete(FXObject*, FXSelector, void*);
  long onCmdSelectAll(FXObject*, FXSelector, void*);
  long onCmdSelectNone(FXObject*, FXSelector, void*);
  long onCmdSelectInvert(FXObject*, FXSelector, void*);

  // View (canvas/ViewCommands.cpp)
  long onCmdZoomIn(FXObject*, FXSelector, void*);
  long onCmdZoomOut(FXObject*, FXSelector, void*);
  long onCmdShowAll(FXObject*, FXSelector, void*);
  long onCmdMove(FXObject*, FXSelector, void*);
  long onCmdSingleLayer(FXObject*, FXSelector, void*);
  long onCmdViewLabels(FXObject*, FXSelector, void*);
  long onUpdViewLabels(FXObject*, FXSelector, void*);
  // View > Outlines (panels/LayerCommands.cpp)
  long onCmdViewOutlines(FXObject*, FXSelector, void*);
  long onUpdViewOutlines(FXObject*, FXSelector, void*);
  long onUpdSingleLayer(FXObject*, FXSelector, void*);
  long onCanvasConfigure(FXObject*, FXSelector, void*);
  long onCanvasPaint(FXObject*, FXSelector, void*);
  long onCanvasWheel(FXObject*, FXSelector, void*);
  long onCanvasMiddlePress(FXObject*, FXSelector, void*);
  long onCanvasMiddleRelease(FXObject*, FXSelector, void*);
  long onUpdCurrentLayer(FXObject*, FXSelector, void*);
  // Layout point under canvas pixel (px, py), rounding down.
  void toLayout(int px, int py, int& lx, int& ly);
  // The view with the canvas's current size.
  ViewTransform& sizedView();
  // While the middle button drags: keep the grabbed point under (px, py).
  void dragView(int px, int py);

  // Mouse (canvas/MouseEditing.cpp)
  long onCanvasMotion(FXObject*, FXSelector, void*);
  long onCanvasLeftPress(FXObject*, FXSelector, void*);
  long onCanvasLeftRelease(FXObject*, FXSelector, void*);
  long onCanvasRightPress(FXObject*, FXSelector, void*);
  long onCanvasRightRelease(FXObject*, FXSelector, void*);
  long onCmdCancelDrag(FXObject*, FXSelector, void*);

  // Grid, snap, rulers and moving the selection with the mouse
  // (canvas/GridCommands.cpp)
  long onCmdViewGrid(FXObject*, FXSelector, void*);
  long onUpdViewGrid(FXObject*, FXSelector, void*);
  long onCmdViewSnap(FXObject*, FXSelector, void*);
  long onUpdViewSnap(FXObject*, FXSelector, void*);
  long onCmdGridStep(FXObject*, FXSelector, void*);
  long onCmdClearRulers(FXObject*, FXSelector, void*);
  long onUpdClearRulers(FXObject*, FXSelector, void*);
  // A new layout (New, Open): the grid step it starts with, no rulers.
  void resetGridAndRulers();
  // The overlays drawn over the painter's picture: grid, moving objects
  // and rulers. A picture exported without them skips this one call.
  void paintOverlays();
  // (x, y) moved to the grid while snapping is on.
  void snapPoint(int& x, int& y) const;
  // The right drag's own parts: Ctrl moves the selection, no modifier
  // leaves a ruler. Pressed at pixel (px, py), layout point (x, y).
  void rightDragPressed(FXuint state, int px, int py, int x, int y);
  void rightDragMoved(int x, int y);
  void rightDragReleased(int px, int py, int x, int y);
  // Escape: end a right drag without its effect; false when none runs.
  bool cancelRightDrag();

  // Navigation (canvas/NavigationCommands.cpp)
  long onCmdGoTo(FXObject*, FXSelector, void*);
  // Centre the view on layout unit (x, y), keeping the scale.
  void centreOn(int32_t x, int32_t y);
  // Fit the band of a right drag with Shift into the canvas.
  void zoomToBand(const Rect& band);

  // Inspect, pick, Properties, Move to Current Layer and units
  // (app/PointerCommands.cpp)
  long onCmdProperties(FXObject*, FXSelector, void*);
  long onCmdMoveToLayer(FXObject*, FXSelector, void*);
  long onCmdUnits(FXObject*, FXSelector, void*);
  long onUpdUnits(FXObject*, FXSelector, void*);
  // The topmost shape at layout point (x, y) on the enabled layers.
  TopmostShape topmostAt(int32_t x, int32_t y);
  // Show the pointer's position, the band's size and the shape under the
  // pointer in the status bar, in the units shown.
  void showPointerFields(int32_t x, int32_t y);
  // Select the topmost shape at (x, y), or the instance placing it, alone;
  // false when there is none.
  bool pickAt(int32_t x, int32_t y);
  // A right press: kept to tell a click from a drag at the release.
  void noteRightPress(const FXEvent* event);
  // A right release within RIGHT_CLICK_PIXELS of its press, without
  // modifiers, picks; true when it was such a click.
  bool rightClick(const FXEvent* event);
  // A double click of the left button: pick and open Properties; true when
  // it was one.
  bool leftDoubleClick(const FXEvent* event);
  // A layout was created, opened or recovered: its own units, fresh indexes.
  void layoutReplaced();

  // The inspect field's index, built in steps while idle
  // (app/PointerCommands.cpp)
  long onInspectIndex(FXObject*, FXSelector, void*);
  // Name the shape at (x, y) in the inspect field when the index is built
  // that far (after one step of building it), else empty the field until it
  // is; true when named.
  bool showInspect(int32_t x, int32_t y);
  // The slots the inspect field and a pick look at: the enabled, shown ones.
  std::vector<bool> inspectedSlots() const;
  // The inspect field, after the layer field in the status bar.
  void buildInspectField();

  // Fields, in the order the window declares them. Public so that the
  // layer panel and the tests can reach the state they work on.
  bool statusTimer = false;  // the status timer is pending
  LayerDlg* layerDlg = nullptr;
  CellsPanel* cellsPanel = nullptr;
  // What the title was made for: the shown cell and the library's size.
  uint64_t titleFor = UINT64_MAX;
  FXHorizontalFrame* toolbar = nullptr;
  FXMenuBar* menubar = nullptr;
  FXGLCanvas* canvas = nullptr;
  FXGLVisual* glvisual = nullptr;
  FXStatusBar* statusbar = nullptr;
  FXStatusLine* statusline = nullptr;
  FXLabel* posXLabel = nullptr;
  FXLabel* posYLabel = nullptr;
  FXLabel* widthLabel = nullptr;
  FXLabel* heightLabel = nullptr;
  FXLabel* layerLabel = nullptr;  // the current layer's name
  MouseRect mouseRect;
  FXint pointerX = 1;
  FXint pointerY = 1;
  // Where the canvas looks and at what scale; its size is the canvas's as
  // of the last sizedView().
  ViewTransform view;
  // The view's parts by their old names, for code that sets one of them.
  FXdouble& originX = view.originX;
  FXdouble& originY = view.originY;
  FXfloat& scale = view.scale;
  bool viewDrag = false;  // the middle button holds the layout point (grabX, grabY)
  FXdouble grabX = 0;
  FXdouble grabY = 0;
  bool bandZoom = false;  // the right drag started with Shift: its release zooms
  FXint currentLayer = 1;
  bool singleLayer = false;
  Layout layout;
  RecoveryJournal* journal = nullptr;  // null when recovery is off
  int journalHealth = 0;               // as last told: a RecoveryJournal::Health
  bool journalWarned = false;          // its failure was shown in a box
  FXGUISignal* journalSignal = nullptr;  // its writer thread's word of a change
  // Copies of the objects last copied or cut, with their slots; owned here.
  std::vector<PlacedObject> clipboard;
  // When the copies hold instances: the copies with the cells they reach,
  // as another Kivo window gets them, taken at the copy. Undo, Group and
  // Open change the cells' indices afterwards; these bytes stay true.
  std::string clipboardCellBytes;
  FXString statusText;
  FXGIFIcon* icons[ICON_COUNT] = {};

  // Inspect, pick and units: the units lengths are shown and typed in, the
  // shapes under the pointer, and where the right button went down.
  DisplayUnits units;
  TopmostFinder topmost;
  FXLabel* inspectLabel = nullptr;
  // The field waits for the index (it names the pointer's shape once built),
  // and how many objects a step of building it visits.
  bool inspectPending = false;
  size_t inspectStep = 0;
  // The field names the shape at the pointer's last canvas position (since
  // the layout was read): each repaint names it again, so that it follows
  // edits, undo and layers shown or hidden, not only motion.
  bool inspectFollows = false;
  FXint rightPressX = 0, rightPressY = 0;
  bool rightPressPlain = false;

  // The menu panes the window owns; deleted with the window.
  FXMenuPane* filemenu = nullptr;
  FXMenuPane* recentmenu = nullptr;
  FXMenuPane* editmenu = nullptr;
  FXMenuPane* selectmenu = nullptr;
  FXMenuPane* viewmenu = nullptr;
  FXMenuPane* helpmenu = nullptr;

  // The files last opened or saved, kept in FOX's registry.
  FXRecentFiles* recentFiles = nullptr;

  // Kept drawing of the layers (canvas/CanvasPainter.h).
  CanvasPainter painter;
  // The shown cell's placements of other cells, as the painter reads them.
  CellScene cellScene;

  // Grid, snap, rulers and the mouse move (canvas/GridCommands.cpp).
  GridSettings grid;
  Rulers rulers;
  MoveDrag moveDrag;
  int32_t addPressX = 0, addPressY = 0;  // a drawing drag's press, before snapping

  // The slot the editing commands reach: the current layer in single-layer
  // mode, else -1 for every layer.
  int reach() const { return singleLayer ? currentLayer : -1; }

private:
  void buildMenus();
  void buildToolbar();
  void buildStatusbar();
  void addEditKeys();
  // File commands' shared steps (io/FileCommands.cpp).
  bool askSaveFirst();
};

#endif
