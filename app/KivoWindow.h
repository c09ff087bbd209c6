#ifndef KIVO_KIVOWINDOW_H
#define KIVO_KIVOWINDOW_H

#include <fx.h>
#include <fx3d.h>

#include "canvas/CanvasPainter.h"
#include "model/Layer.h"
#include "model/LayerTable.h"
#include "model/MouseRect.h"

class LayerDlg;

enum { ICON_COUNT = 43 };

// The main window: holds the layout, the view, the mouse and file state and
// every widget. Its handlers live with their subsystem: io/FileCommands.cpp,
// canvas/ViewCommands.cpp, canvas/MouseEditing.cpp,
// model/SelectionCommands.cpp, panels/LayerCommands.cpp; the rest here.
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
    ID_UNAVAILABLE_FIRST,
    ID_COPY,
    ID_CUT,
    ID_PASTE,
    ID_UNDO,
    ID_REDO,
    ID_GROUP,
    ID_UNGROUP,
    ID_UNAVAILABLE_LAST,
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
  // Read a layout file as Open does after its dialog: error boxes, Show
  // All, warnings; false when the layout was left as it was.
  bool openFile(const FXString& path);

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
  long onUpdSingleLayer(FXObject*, FXSelector, void*);
  long onCanvasConfigure(FXObject*, FXSelector, void*);
  long onCanvasPaint(FXObject*, FXSelector, void*);
  long onCanvasWheel(FXObject*, FXSelector, void*);
  long onCanvasMiddlePress(FXObject*, FXSelector, void*);
  long onCanvasMiddleRelease(FXObject*, FXSelector, void*);
  long onUpdCurrentLayer(FXObject*, FXSelector, void*);
  // Layout point under canvas pixel (px, py), rounding down.
  void toLayout(int px, int py, int& lx, int& ly) const;
  // Whole layout units shown across and up the canvas.
  int64_t visibleWidth() const;
  int64_t visibleHeight() const;
  // While the middle button drags: keep the grabbed point under (px, py).
  void dragView(int px, int py);

  // Mouse (canvas/MouseEditing.cpp)
  long onCanvasMotion(FXObject*, FXSelector, void*);
  long onCanvasLeftPress(FXObject*, FXSelector, void*);
  long onCanvasLeftRelease(FXObject*, FXSelector, void*);
  long onCanvasRightPress(FXObject*, FXSelector, void*);
  long onCanvasRightRelease(FXObject*, FXSelector, void*);

  // Fields, in the order the window declares them. Public so that the
  // layer panel and the tests can reach the state they work on.
  bool statusTimer = false;  // the status timer is pending
  LayerDlg* layerDlg = nullptr;
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
  FXdouble originX = 0;
  FXdouble originY = 0;
  FXfloat scale = 10.0f;
  bool viewDrag = false;  // the middle button holds the layout point (grabX, grabY)
  FXdouble grabX = 0;
  FXdouble grabY = 0;
  FXint currentLayer = 1;
  bool singleLayer = false;
  bool saved = true;
  bool untitled = true;
  Layer layers[LAYER_COUNT];
  FXString filename;
  FXString statusText;
  FXGIFIcon* icons[ICON_COUNT] = {};

  // The menu panes the window owns; deleted with the window.
  FXMenuPane* filemenu = nullptr;
  FXMenuPane* editmenu = nullptr;
  FXMenuPane* selectmenu = nullptr;
  FXMenuPane* viewmenu = nullptr;
  FXMenuPane* helpmenu = nullptr;

  // Kept drawing of the layers (canvas/CanvasPainter.h).
  CanvasPainter painter;

private:
  void buildMenus();
  void buildToolbar();
  void buildStatusbar();
  // File commands' shared steps (io/FileCommands.cpp).
  bool askSaveFirst();
  void emptyLayout();
};

#endif
