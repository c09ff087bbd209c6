#include "app/KivoWindow.h"

#include <fxkeys.h>

#include <cstdlib>
#include <cstring>

#include "app/IconSet.h"
#include "app/StatusLog.h"
#include "io/RecoveryJournal.h"
#include "icons/Icons.h"
#include "panels/CellsPanel.h"
#include "panels/LayerDlg.h"

// clang-format off
FXDEFMAP(KivoWindow) KivoWindowMap[] = {
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_ABOUT,             KivoWindow::onCmdAbout),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_LAYERS,            KivoWindow::onCmdLayers),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_LAYERS,            KivoWindow::onUpdLayers),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_STATUS_LINE,       KivoWindow::onUpdStatusLine),
  FXMAPFUNC (SEL_TIMEOUT,            KivoWindow::ID_STATUS_TIMER,      KivoWindow::onStatusTimeout),
  FXMAPFUNC (SEL_TIMEOUT,            KivoWindow::ID_JOURNAL_TIMER,     KivoWindow::onJournalTimer),
  FXMAPFUNC (SEL_IO_READ,            KivoWindow::ID_JOURNAL_TIMER,     KivoWindow::onJournalTimer),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_FILE_NEW,          KivoWindow::onCmdFileNew),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_FILE_OPEN,         KivoWindow::onCmdFileOpen),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_FILE_SAVE,         KivoWindow::onCmdFileSave),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_FILE_SAVE,         KivoWindow::onUpdFileSave),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_FILE_SAVEAS,       KivoWindow::onCmdFileSaveAs),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_QUIT,              KivoWindow::onCmdQuit),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_RECENT_FILE,       KivoWindow::onCmdRecentFile),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_EXPORT_PICTURE,    KivoWindow::onCmdExportPicture),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_GOTO,              KivoWindow::onCmdGoTo),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_UNDO,              KivoWindow::onCmdUndo),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_UNDO,              KivoWindow::onUpdUndo),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_REDO,              KivoWindow::onCmdRedo),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_REDO,              KivoWindow::onUpdRedo),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_COPY,              KivoWindow::onCmdCopy),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_COPY,              KivoWindow::onUpdCopyCut),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_CUT,               KivoWindow::onCmdCut),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_CUT,               KivoWindow::onUpdCopyCut),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_PASTE,             KivoWindow::onCmdPaste),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_PASTE,             KivoWindow::onUpdPaste),
  FXMAPFUNCS(SEL_COMMAND,            KivoWindow::ID_NUDGE_UP,          KivoWindow::ID_NUDGE_RIGHT_10, KivoWindow::onCmdNudge),
  FXMAPFUNC (SEL_CLIPBOARD_REQUEST,  0,                                KivoWindow::onClipboardRequest),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_DELETE,            KivoWindow::onCmdDelete),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_SELECT_ALL,        KivoWindow::onCmdSelectAll),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_SELECT_NONE,       KivoWindow::onCmdSelectNone),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_SELECT_INVERT,     KivoWindow::onCmdSelectInvert),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_ZOOM_IN,           KivoWindow::onCmdZoomIn),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_ZOOM_OUT,          KivoWindow::onCmdZoomOut),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_SHOW_ALL,          KivoWindow::onCmdShowAll),
  FXMAPFUNCS(SEL_COMMAND,            KivoWindow::ID_MOVE_UP,           KivoWindow::ID_MOVE_RIGHT, KivoWindow::onCmdMove),
  FXMAPFUNCS(SEL_COMMAND,            KivoWindow::ID_PAN_UP,            KivoWindow::ID_PAN_RIGHT,  KivoWindow::onCmdMove),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_SINGLE_LAYER,      KivoWindow::onCmdSingleLayer),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_SINGLE_LAYER,      KivoWindow::onUpdSingleLayer),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_VIEW_LABELS,       KivoWindow::onCmdViewLabels),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_VIEW_LABELS,       KivoWindow::onUpdViewLabels),
  // View > Outlines
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_VIEW_OUTLINES,     KivoWindow::onCmdViewOutlines),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_VIEW_OUTLINES,     KivoWindow::onUpdViewOutlines),
  FXMAPFUNC (SEL_CONFIGURE,          KivoWindow::ID_CANVAS,            KivoWindow::onCanvasConfigure),
  FXMAPFUNC (SEL_PAINT,              KivoWindow::ID_CANVAS,            KivoWindow::onCanvasPaint),
  FXMAPFUNC (SEL_MOTION,             KivoWindow::ID_CANVAS,            KivoWindow::onCanvasMotion),
  FXMAPFUNC (SEL_LEFTBUTTONPRESS,    KivoWindow::ID_CANVAS,            KivoWindow::onCanvasLeftPress),
  FXMAPFUNC (SEL_LEFTBUTTONRELEASE,  KivoWindow::ID_CANVAS,            KivoWindow::onCanvasLeftRelease),
  FXMAPFUNC (SEL_RIGHTBUTTONPRESS,   KivoWindow::ID_CANVAS,            KivoWindow::onCanvasRightPress),
  FXMAPFUNC (SEL_RIGHTBUTTONRELEASE, KivoWindow::ID_CANVAS,            KivoWindow::onCanvasRightRelease),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_CANCEL_DRAG,       KivoWindow::onCmdCancelDrag),
  FXMAPFUNC (SEL_MOUSEWHEEL,         KivoWindow::ID_CANVAS,            KivoWindow::onCanvasWheel),
  FXMAPFUNC (SEL_MIDDLEBUTTONPRESS,  KivoWindow::ID_CANVAS,            KivoWindow::onCanvasMiddlePress),
  FXMAPFUNC (SEL_MIDDLEBUTTONRELEASE,KivoWindow::ID_CANVAS,            KivoWindow::onCanvasMiddleRelease),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_CURRENT_LAYER,     KivoWindow::onUpdCurrentLayer),
  FXMAPFUNCS(SEL_UPDATE,             KivoWindow::ID_UNAVAILABLE_FIRST, KivoWindow::ID_UNAVAILABLE_LAST, KivoWindow::onUpdUnavailable),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_GROUP,             KivoWindow::onCmdGroup),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_GROUP,             KivoWindow::onUpdGroup),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_UNGROUP,           KivoWindow::onCmdUngroup),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_UNGROUP,           KivoWindow::onUpdUngroup),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_CELLS,             KivoWindow::onCmdCells),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_CELLS,             KivoWindow::onUpdCells),
  FXMAPFUNC (SEL_CLOSE,              0,                                KivoWindow::onCmdClose),
  // The inspect field's index
  FXMAPFUNC (SEL_CHORE,              KivoWindow::ID_INSPECT_INDEX,     KivoWindow::onInspectIndex),
  // Grid, snap and rulers
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_VIEW_GRID,         KivoWindow::onCmdViewGrid),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_VIEW_GRID,         KivoWindow::onUpdViewGrid),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_VIEW_SNAP,         KivoWindow::onCmdViewSnap),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_VIEW_SNAP,         KivoWindow::onUpdViewSnap),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_GRID_STEP,         KivoWindow::onCmdGridStep),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_CLEAR_RULERS,      KivoWindow::onCmdClearRulers),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_CLEAR_RULERS,      KivoWindow::onUpdClearRulers),
  // Inspect, pick and object properties
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_PROPERTIES,        KivoWindow::onCmdProperties),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_MOVE_TO_LAYER,     KivoWindow::onCmdMoveToLayer),
  FXMAPFUNC (SEL_COMMAND,            KivoWindow::ID_UNITS,             KivoWindow::onCmdUnits),
  FXMAPFUNC (SEL_UPDATE,             KivoWindow::ID_UNITS,             KivoWindow::onUpdUnits),
};
// clang-format on

FXIMPLEMENT(KivoWindow, FXMainWindow, KivoWindowMap, ARRAYNUMBER(KivoWindowMap))

namespace {
const FXuint STATUS_MS = 5000;
const FXuint BUTTON_STYLE = FRAME_RAISED;
// Eight recent files, as most editors keep: enough for a working set of
// cells, few enough for the menu to stay short.
const FXint RECENT_FILE_COUNT = 8;
}  // namespace

KivoWindow::KivoWindow() {}

KivoWindow::KivoWindow(FXApp* app)
    : FXMainWindow(app, "Kivo", nullptr, nullptr, DECOR_ALL, 0, 0, 700, 500, 0, 0, 0, 0, 4, 4) {
  for (int i = 0; i < ICON_COUNT; i++)
    icons[i] = new FXGIFIcon(app, iconImages[i], FXRGB(192, 192, 192), IMAGE_ALPHACOLOR);
  setIcon(icons[ICON_KIVO]);

  recentFiles = new FXRecentFiles(app, "Recent Files", this, ID_RECENT_FILE);
  recentFiles->setMaxFiles(RECENT_FILE_COUNT);
  menubar = new FXMenuBar(this, LAYOUT_SIDE_TOP | LAYOUT_FILL_X, 0, 0, 0, 0, 2, 2, 1, 1, 3, 0);
  buildMenus();
  new FXHorizontalSeparator(this, LAYOUT_SIDE_TOP | LAYOUT_FILL_X | SEPARATOR_GROOVE, 0, 0, 0, 0, 1, 1, 0, 0);
  toolbar = new FXHorizontalFrame(this, LAYOUT_SIDE_TOP | LAYOUT_FILL_X, 0, 0, 0, 0, 4, 4, 1, 1, 2, 0);
  buildToolbar();
  buildStatusbar();

  FXHorizontalFrame* canvasFrame =
      new FXHorizontalFrame(this, LAYOUT_FILL_X | LAYOUT_FILL_Y, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4);
  glvisual = new FXGLVisual(app, VISUAL_DOUBLEBUFFER);
  canvas = new FXGLCanvas(canvasFrame, glvisual, this, ID_CANVAS, LAYOUT_FILL_X | LAYOUT_FILL_Y);
  // KIVO_PLAIN_PAINTER=1 paints with the plain painter, for timing it beside the fast one.
  const char* plain = std::getenv("KIVO_PLAIN_PAINTER");
  painter.setReferenceMode(plain && std::strcmp(plain, "1") == 0);
  new FXToolTip(app);

  app->addTimeout(this, ID_STATUS_TIMER, STATUS_MS);
  statusTimer = true;
  statusline = statusbar->getStatusLine();
  statusline->setTarget(this);
  statusline->setSelector(ID_STATUS_LINE);
  statusText = "Welcome to Kivo";
  layerDlg = new LayerDlg(this);
  cellsPanel = new CellsPanel(this);
  mouseRect.setMode(TRACK_NONE);
  addEditKeys();
  startRecoveryJournal();
}

// Keys beyond the menus' own: Delete, Escape, and the arrows with Ctrl
// (one unit) or Ctrl+Shift (ten units) that move the selection.
void KivoWindow::addEditKeys() {
  FXAccelTable* keys = getAccelTable();
  keys->addAccel(MKUINT(KEY_Delete, 0), this, FXSEL(SEL_COMMAND, ID_DELETE));
  keys->addAccel(MKUINT(KEY_KP_Delete, 0), this, FXSEL(SEL_COMMAND, ID_DELETE));
  keys->addAccel(MKUINT(KEY_Escape, 0), this, FXSEL(SEL_COMMAND, ID_CANCEL_DRAG));
  const FXuint arrows[4] = {KEY_Up, KEY_Down, KEY_Left, KEY_Right};
  for (int i = 0; i < 4; i++) {
    keys->addAccel(MKUINT(arrows[i], CONTROLMASK), this, FXSEL(SEL_COMMAND, ID_NUDGE_UP + i));
    keys->addAccel(MKUINT(arrows[i], CONTROLMASK | SHIFTMASK), this,
                   FXSEL(SEL_COMMAND, ID_NUDGE_UP_10 + i));
  }
}

void KivoWindow::buildMenus() {
  filemenu = new FXMenuPane(this);
  new FXMenuTitle(menubar, "&File", nullptr, filemenu);
  new FXMenuCommand(filemenu, "&New...\tCtl-N\tCreate new file", icons[ICON_NEW], this, ID_FILE_NEW);
  new FXMenuCommand(filemenu, "&Open...\tCtl-O\tOpen file from disk", icons[ICON_OPEN], this, ID_FILE_OPEN);
  // Each entry shows and hides itself as the list fills.
  recentmenu = new FXMenuPane(this);
  new FXMenuCascade(filemenu, "Recent &Files", nullptr, recentmenu);
  for (FXint i = 0; i < RECENT_FILE_COUNT; i++)
    new FXMenuCommand(recentmenu, FXString::null, nullptr, recentFiles, FXRecentFiles::ID_FILE_1 + i);
  new FXMenuSeparator(recentmenu);
  new FXMenuCommand(recentmenu, "&Clear Recent Files", nullptr, recentFiles, FXRecentFiles::ID_CLEAR);
  new FXMenuCommand(filemenu, "&Export Picture...\t\tSave the picture of the canvas as PNG", nullptr, this,
                    ID_EXPORT_PICTURE);
  new FXMenuCommand(filemenu, "&Save\tCtl-S\tSave file to disk", icons[ICON_SAVE], this, ID_FILE_SAVE);
  new FXMenuCommand(filemenu, "Save &As...\t\tSave file to disk as", nullptr, this, ID_FILE_SAVEAS);
  new FXMenuSeparator(filemenu);
  new FXMenuCommand(filemenu, "&Quit\t\tQuit program", nullptr, this, ID_QUIT);

  editmenu = new FXMenuPane(this);
  new FXMenuTitle(menubar, "&Edit", nullptr, editmenu);
  // FOX 1.6 menu commands cannot show a check mark; its check entries can.
  new FXMenuCheck(editmenu, "&Single-layer\tCtl-M\tSingle-layer mode", this, ID_SINGLE_LAYER);
  new FXMenuSeparator(editmenu);
  new FXMenuCommand(editmenu, "&Undo\tCtl-Z\tUndo last action", icons[ICON_UNDO], this, ID_UNDO);
  new FXMenuCommand(editmenu, "&Redo\tCtl-Y\tRedo last action", icons[ICON_REDO], this, ID_REDO);
  new FXMenuSeparator(editmenu);
  new FXMenuCommand(editmenu, "Copy\tCtl-C\tCopy selected to clipboard", icons[ICON_COPY], this, ID_COPY);
  new FXMenuCommand(editmenu, "Cut\tCtl-X\tCut selected to clipboard", icons[ICON_CUT], this, ID_CUT);
  new FXMenuCommand(editmenu, "Paste\tCtl-V\tPaste from clipboard", icons[ICON_PASTE], this, ID_PASTE);
  new FXMenuCommand(editmenu, "Delete\tCtl-D\tDelete selected", icons[ICON_DELETE], this, ID_DELETE);
  new FXMenuSeparator(editmenu);
  selectmenu = new FXMenuPane(this);
  new FXMenuCascade(editmenu, "&Select", nullptr, selectmenu);
  new FXMenuCommand(selectmenu, "&All\tCtl-A\tSelect all", nullptr, this, ID_SELECT_ALL);
  new FXMenuCommand(selectmenu, "&None\tCtl-E\tSelect none", nullptr, this, ID_SELECT_NONE);
  new FXMenuCommand(selectmenu, "&Invert\tCtl-I\tInvert selection", nullptr, this, ID_SELECT_INVERT);
  new FXMenuSeparator(editmenu);
  new FXMenuCommand(editmenu, "&Group\tCtl-G\tGroup selected", icons[ICON_GROUP], this, ID_GROUP);
  new FXMenuCommand(editmenu, "&Ungroup\tCtl-U\tUngroup selected", icons[ICON_UNGROUP], this, ID_UNGROUP);
  // Properties and Move to Current Layer
  new FXMenuSeparator(editmenu);
  new FXMenuCommand(editmenu, "&Properties...\tAlt-Return\tEdit the selected object", nullptr, this, ID_PROPERTIES);
  new FXMenuCommand(editmenu, "Move to Current &Layer\t\tMove the selected objects to the current layer", nullptr,
                    this, ID_MOVE_TO_LAYER);

  viewmenu = new FXMenuPane(this);
  new FXMenuTitle(menubar, "&View", nullptr, viewmenu);
  new FXMenuCommand(viewmenu, "Zoom &In\tQ\tZoom In", icons[ICON_ZOOM_IN], this, ID_ZOOM_IN);
  new FXMenuCommand(viewmenu, "Zoom &Out\tZ\tZoom Out", icons[ICON_ZOOM_OUT], this, ID_ZOOM_OUT);
  new FXMenuCommand(viewmenu, " &Show All\tA\tShow All", icons[ICON_SHOW_ALL], this, ID_SHOW_ALL);
  new FXMenuCommand(viewmenu, "&Go To...\tCtl-J\tCentre the view on a position", nullptr, this, ID_GOTO);
  new FXMenuSeparator(viewmenu);
  new FXMenuCommand(viewmenu, "Move Up\tE\tMove Up", nullptr, this, ID_MOVE_UP);
  new FXMenuCommand(viewmenu, "Move Down\tD\tMove Down", nullptr, this, ID_MOVE_DOWN);
  new FXMenuCommand(viewmenu, "Move Left\tS\tMove Left", nullptr, this, ID_MOVE_LEFT);
  new FXMenuCommand(viewmenu, "Move Right\tF\tMove Right", nullptr, this, ID_MOVE_RIGHT);
  // The arrow keys move by a quarter; Ctrl+arrow is left to the selection.
  const FXuint arrows[4][2] = {{KEY_Up, ID_PAN_UP}, {KEY_Down, ID_PAN_DOWN},
                               {KEY_Left, ID_PAN_LEFT}, {KEY_Right, ID_PAN_RIGHT}};
  for (const auto& a : arrows) getAccelTable()->addAccel(MKUINT(a[0], 0), this, FXSEL(SEL_COMMAND, a[1]));
  new FXMenuSeparator(viewmenu);
  new FXMenuCheck(viewmenu, "La&bels\tCtl-T\tShow/hide labels", this, ID_VIEW_LABELS);
  new FXMenuCheck(viewmenu, "O&utlines\t\tDraw each shape's outline in its layer's colour", this, ID_VIEW_OUTLINES);
  FXMenuCheck* layersEntry = new FXMenuCheck(viewmenu, "&Layers\tCtl-L\tShow/hide layers list", this, ID_LAYERS);
  layersEntry->setIcon(icons[ICON_LAYERS]);
  new FXMenuCheck(viewmenu, "&Cells\tCtl-K\tShow/hide cells list", this, ID_CELLS);
  // The grid, snapping to it and the rulers.
  new FXMenuSeparator(viewmenu);
  new FXMenuCheck(viewmenu, "Gri&d\tCtl-Shift-G\tShow/hide the grid", this, ID_VIEW_GRID);
  new FXMenuCheck(viewmenu, "S&nap\t\tSnap edits to the grid", this, ID_VIEW_SNAP);
  new FXMenuCommand(viewmenu, "Grid S&tep...\t\tSet the grid step", nullptr, this, ID_GRID_STEP);
  new FXMenuCommand(viewmenu, "Clear &Rulers\t\tRemove every ruler", nullptr, this, ID_CLEAR_RULERS);
  // Shift turns g into G: both spellings reach the grid.
  getAccelTable()->addAccel(MKUINT(KEY_G, CONTROLMASK | SHIFTMASK), this, FXSEL(SEL_COMMAND, ID_VIEW_GRID));
  getAccelTable()->addAccel(MKUINT(KEY_g, CONTROLMASK | SHIFTMASK), this, FXSEL(SEL_COMMAND, ID_VIEW_GRID));
  // Units of the lengths shown and typed
  new FXMenuSeparator(viewmenu);
  new FXMenuCheck(viewmenu, "&Micrometres\t\tShow lengths in micrometres (else database units)", this, ID_UNITS);

  helpmenu = new FXMenuPane(this);
  new FXMenuTitle(menubar, "&Help", nullptr, helpmenu);
  new FXMenuCommand(helpmenu, "&About\t\tShow some info about program", nullptr, this, ID_ABOUT);
}

void KivoWindow::buildToolbar() {
  struct Entry {
    const char* text;  // nullptr: an 8-pixel gap
    int icon;
    FXSelector id;
  };
  static const Entry entries[] = {
    {"\tNew (Ctl-N)\tCreate new file (Ctl-N)", ICON_NEW, ID_FILE_NEW},
    {"\tOpen (Ctl-O)\tOpen file from disk (Ctl-O)", ICON_OPEN, ID_FILE_OPEN},
    {"\tSave (Ctl-S)\tSave file to disk (Ctl-S)", ICON_SAVE, ID_FILE_SAVE},
    {nullptr, 0, 0},
    {"\tCopy (Ctl-C)\tCopy selected to clipboard (Ctl-C)", ICON_COPY, ID_COPY},
    {"\tCut (Ctl-X)\tCut selected to clipboard (Ctl-X)", ICON_CUT, ID_CUT},
    {"\tPaste (Ctl-P)\tPaste from clipboard (Ctl-P)", ICON_PASTE, ID_PASTE},
    {nullptr, 0, 0},
    {"\tDelete (Ctl-D)\tDelete selected (Ctl-D)", ICON_DELETE, ID_DELETE},
    {nullptr, 0, 0},
    {"\tUndo (Ctl-Z)\tUndo last action (Ctl-Z)", ICON_UNDO, ID_UNDO},
    {"\tRedo (Ctl-Y)\tRedo last action (Ctl-Y)", ICON_REDO, ID_REDO},
    {nullptr, 0, 0},
    {"\tZoom In (Q)\tZoom In (Q)", ICON_ZOOM_IN, ID_ZOOM_IN},
    {"\tZoom Out (Z)\tZoom Out (A)", ICON_ZOOM_OUT, ID_ZOOM_OUT},
    {"\tShow All (A)\tShow All (Z)", ICON_SHOW_ALL, ID_SHOW_ALL},
    {nullptr, 0, 0},
    {"\tGroup (Ctl-G)\tGroup selected (Ctl-G)", ICON_GROUP, ID_GROUP},
    {"\tUngroup (Ctl-U)\tUngroup selected (Ctl-U)", ICON_UNGROUP, ID_UNGROUP},
    {nullptr, 0, 0},
    {"\tShow/hide list (Ctl-L)\tShow/hide list (Ctl-L)", ICON_LAYERS, ID_LAYERS},
  };
  for (const Entry& e : entries) {
    if (e.text)
      new FXButton(toolbar, e.text, icons[e.icon], this, e.id, BUTTON_STYLE, 0, 0, 0, 0, 2, 2, 2, 2);
    else
      new FXFrame(toolbar, LAYOUT_FIX_WIDTH | LAYOUT_FIX_HEIGHT, 0, 0, 8, 0, 2, 2, 2, 2);
  }
  const char* toggleText = "\tSingle/Multi-layer mode (Ctl-M)\tSingle/Multi-layer mode (Ctl-M)";
  new FXToggleButton(toolbar, toggleText, toggleText, icons[ICON_MODE_MULTI], icons[ICON_MODE_SINGLE], this, ID_SINGLE_LAYER,
                     FRAME_RAISED, 0, 0, 0, 0, 2, 2, 2, 2);
}

// Right to left: position, size, then the current layer next to the status
// line. The value boxes fit any 32-bit value in full.
void KivoWindow::buildStatusbar() {
  statusbar = new FXStatusBar(this, LAYOUT_SIDE_BOTTOM | LAYOUT_FILL_X | STATUSBAR_WITH_DRAGCORNER,
                              0, 0, 0, 0, 3, 3, 2, 2, 4, 0);
  const FXuint valueStyle = FRAME_SUNKEN | LAYOUT_FIX_WIDTH | LAYOUT_RIGHT;
  FXFont* font = getApp()->getNormalFont();
  font->create();  // to measure text before the window exists
  const FXint valueWidth = font->getTextWidth("-2147483648") + 4 + 4;  // padding and sunken frame
  posYLabel = new FXLabel(statusbar, " ", nullptr, valueStyle, 0, 0, valueWidth, 0, 2, 2, 2, 2);
  posXLabel = new FXLabel(statusbar, " ", nullptr, valueStyle, 0, 0, valueWidth, 0, 2, 2, 2, 2);
  new FXLabel(statusbar, "position:", nullptr, LAYOUT_RIGHT, 0, 0, 0, 0, 2, 2, 2, 2);
  widthLabel = new FXLabel(statusbar, " ", nullptr, valueStyle, 0, 0, valueWidth, 0, 2, 2, 2, 2);
  heightLabel = new FXLabel(statusbar, " ", nullptr, valueStyle, 0, 0, valueWidth, 0, 2, 2, 2, 2);
  new FXLabel(statusbar, "size:", nullptr, LAYOUT_RIGHT, 0, 0, 0, 0, 2, 2, 2, 2);
  layerLabel = new FXLabel(statusbar, " ", nullptr, FRAME_SUNKEN | LAYOUT_RIGHT, 0, 0, 0, 0, 2, 2, 2, 2);
  layerLabel->setTarget(this);
  layerLabel->setSelector(ID_CURRENT_LAYER);
  new FXLabel(statusbar, "layer:", nullptr, LAYOUT_RIGHT, 0, 0, 0, 0, 2, 2, 2, 2);
  buildInspectField();
}

// The application deletes the main window when it ends. The menu panes go
// first: left to the application, their commands would reach into this
// window's accelerator table after it is gone and crash every quit. The
// panel, the canvas with its visual, and the icons go too, so nothing the
// window made outlives it.
KivoWindow::~KivoWindow() {
  layout.setObserver(nullptr);
  delete journal;  // the file stays: the changes were not saved
  delete journalSignal;
  getApp()->removeTimeout(this, ID_JOURNAL_TIMER);
  getApp()->removeChore(this, ID_INSPECT_INDEX);
  if (statusTimer) getApp()->removeTimeout(this, ID_STATUS_TIMER);
  delete recentmenu;
  delete filemenu;
  delete editmenu;
  delete selectmenu;
  delete viewmenu;
  delete helpmenu;
  delete layerDlg;
  delete cellsPanel;
  if (canvas->id() && canvas->makeCurrent()) {  // the painter's objects go with their context
    painter.releaseGL();
    canvas->makeNonCurrent();
  }
  delete canvas;
  delete glvisual;
  for (FXGIFIcon* icon : icons) delete icon;
  for (PlacedObject& o : clipboard) delete o.node;
  delete recentFiles;
}

void KivoWindow::create() {
  FXMainWindow::create();
  for (int i = 0; i < ICON_COUNT; i++) icons[i]->create();
  show();
}

long KivoWindow::onCmdAbout(FXObject*, FXSelector, void*) {
  FXMessageBox::information(this, MBOX_OK, "About", "%s",
                            "Kivo 0.0.1b\n"
                            "A mask layout editor for integrated circuits.\n"
                            "Written by the Kivo project and its contributors.\n"
                            "Built on the FOX toolkit, OpenGL and GLU.");
  return 1;
}

// The status line shows statusText whenever no widget under the pointer
// offers a help text. FOX 1.6's status line falls back to its normal text
// after asking its target, so that text is kept equal too.
long KivoWindow::onUpdStatusLine(FXObject* sender, FXSelector, void*) {
  FXStatusLine* line = static_cast<FXStatusLine*>(sender);
  refreshTitle();
  line->setNormalText(statusText);
  line->setText(statusText);
  return 1;
}

long KivoWindow::onStatusTimeout(FXObject*, FXSelector, void*) {
  statusText = "Ready";
  getApp()->addTimeout(this, ID_STATUS_TIMER, STATUS_MS);
  statusTimer = true;
  return 1;
}

void KivoWindow::setStatusMessage(FXString text) {
  if (statusTimer) getApp()->removeTimeout(this, ID_STATUS_TIMER);
  statusText = text;
  logStatusText("status", text.text());
  getApp()->addTimeout(this, ID_STATUS_TIMER, STATUS_MS);
  statusTimer = true;
}

long KivoWindow::onUpdUnavailable(FXObject* sender, FXSelector, void*) {
  sender->handle(this, FXSEL(SEL_COMMAND, ID_DISABLE), nullptr);
  return 1;
}
