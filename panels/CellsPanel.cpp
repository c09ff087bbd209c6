#include "panels/CellsPanel.h"

#include <string>

#include "app/KivoWindow.h"

namespace {

// The tree stops growing at this many rows: a chip places the same cells
// under many parents, and FXTreeList lays out every row it holds, so a
// whole chip's tree would take seconds to show for no use.
const size_t TREE_ROW_LIMIT = 20000;

// Panel size in pixels: room for a cell name of GDSII's 32 characters and
// its count, and a screenful of rows.
const FXint PANEL_WIDTH = 260, PANEL_HEIGHT = 420;

// Instances of each cell in the whole library (an array counts once).
std::vector<uint64_t> instanceCounts(const CellLibrary& cells) {
  std::vector<uint64_t> counts(cells.size());
  for (uint32_t c = 0; c < cells.size(); c++)
    for (GroupNode* n = cells.cell(c).instances().first(); n; n = n->next()) {
      const uint32_t placed = static_cast<const Instance*>(n)->cell;
      if (placed < counts.size()) ++counts[placed];
    }
  return counts;
}

// Fills a tree list with a library's cells, children under parents.
struct TreeFiller {
  FXTreeList* tree;
  const CellLibrary& cells;
  std::vector<uint64_t> counts;
  std::vector<uint32_t> path;  // cells above the one added: no cycles
  size_t rows = 0;

  void add(FXTreeItem* parent, uint32_t c) {
    if (rows >= TREE_ROW_LIMIT) return;
    ++rows;
    const std::string label = cells.cell(c).name() + " (" + std::to_string(counts[c]) + ")";
    FXTreeItem* item = tree->appendItem(parent, label.c_str(), nullptr, nullptr, (void*)(FXuval)c);
    path.push_back(c);
    std::vector<uint32_t> children;
    for (GroupNode* n = cells.cell(c).instances().first(); n; n = n->next()) {
      const uint32_t child = static_cast<const Instance*>(n)->cell;
      if (child >= cells.size()) continue;
      bool seen = false;
      for (uint32_t k : children) seen = seen || k == child;
      for (uint32_t k : path) seen = seen || k == child;
      if (!seen) children.push_back(child);
    }
    for (uint32_t child : children) add(item, child);
    path.pop_back();
  }
};

}  // namespace

// clang-format off
FXDEFMAP(CellsPanel) CellsPanelMap[] = {
  FXMAPFUNC(SEL_DOUBLECLICKED, CellsPanel::ID_TREE, CellsPanel::onTreeDoubleClicked),
  FXMAPFUNC(SEL_UPDATE,        CellsPanel::ID_TREE, CellsPanel::onUpdTree),
  FXMAPFUNC(SEL_COMMAND,       CellsPanel::ID_BACK, CellsPanel::onCmdBack),
  FXMAPFUNC(SEL_UPDATE,        CellsPanel::ID_BACK, CellsPanel::onUpdBack),
};
// clang-format on

FXIMPLEMENT(CellsPanel, FXDialogBox, CellsPanelMap, ARRAYNUMBER(CellsPanelMap))

CellsPanel::CellsPanel(KivoWindow* owner)
    : FXDialogBox(owner, "Cells", DECOR_TITLE | DECOR_BORDER | DECOR_RESIZE, 0, 0, PANEL_WIDTH, PANEL_HEIGHT) {
  FXVerticalFrame* frame = new FXVerticalFrame(this, LAYOUT_FILL_X | LAYOUT_FILL_Y, 0, 0, 0, 0, 2, 2, 2, 2);
  new FXButton(frame, "&Back\tShow the cell shown before", nullptr, this, ID_BACK, BUTTON_NORMAL | LAYOUT_FILL_X);
  FXPacker* sunken = new FXPacker(frame, FRAME_SUNKEN | FRAME_THICK | LAYOUT_FILL_X | LAYOUT_FILL_Y, 0, 0, 0, 0,
                                  0, 0, 0, 0);
  cellTree = new FXTreeList(sunken, this, ID_TREE,
                            TREELIST_BROWSESELECT | TREELIST_SHOWS_LINES | TREELIST_SHOWS_BOXES |
                                TREELIST_ROOT_BOXES | LAYOUT_FILL_X | LAYOUT_FILL_Y);
}

CellsPanel::~CellsPanel() {}

KivoWindow* CellsPanel::mainWindow() const { return static_cast<KivoWindow*>(getOwner()); }

void CellsPanel::rebuild() {
  const CellLibrary& cells = mainWindow()->layout.cells();
  cellTree->clearItems();
  TreeFiller filler{cellTree, cells, instanceCounts(cells), {}, 0};
  std::vector<uint32_t> tops = cells.topCells();
  // Cells that only place one another have no top: list them all.
  if (tops.empty())
    for (uint32_t c = 0; c < cells.size(); c++) tops.push_back(c);
  for (uint32_t top : tops) filler.add(nullptr, top);
  for (FXTreeItem* item = cellTree->getFirstItem(); item; item = item->getNext()) cellTree->expandTree(item);
  FXTreeItem* shown = cellTree->findItemByData((void*)(FXuval)cells.shown);
  if (shown) {
    cellTree->setCurrentItem(shown);
    cellTree->selectItem(shown);
    cellTree->makeItemVisible(shown);
  }
}

// Made again when a cell came or went, a cell's content changed (its
// instances may place other cells now) or another cell is shown.
long CellsPanel::onUpdTree(FXObject*, FXSelector, void*) {
  if (!shown()) return 1;
  const CellLibrary& cells = mainWindow()->layout.cells();
  uint64_t signature = cells.size() * 1000003u + cells.shown;
  for (uint32_t c = 0; c < cells.size(); c++) signature = signature * 31 + cells.cell(c).revision();
  if (signature != builtFor) {
    builtFor = signature;
    rebuild();
  }
  return 1;
}

long CellsPanel::onTreeDoubleClicked(FXObject*, FXSelector, void* ptr) {
  FXTreeItem* item = ptr ? static_cast<FXTreeItem*>(ptr) : cellTree->getCurrentItem();
  if (item) open((uint32_t)(FXuval)item->getData());
  return 1;
}

void CellsPanel::open(uint32_t i) {
  const Layout& layout = mainWindow()->layout;
  if (i >= layout.cellCount() || i == layout.shownCell()) return;
  previous.push_back({layout.shownCell(), &layout.cell(layout.shownCell())});
  mainWindow()->showCell(i);
}

bool CellsPanel::stillThere(const std::pair<uint32_t, const Cell*>& shown) const {
  const Layout& layout = mainWindow()->layout;
  return shown.first < layout.cellCount() && &layout.cell(shown.first) == shown.second;
}

bool CellsPanel::back() {
  while (!previous.empty()) {
    const std::pair<uint32_t, const Cell*> last = previous.back();
    previous.pop_back();
    if (stillThere(last) && last.first != mainWindow()->layout.shownCell()) {
      mainWindow()->showCell(last.first);
      return true;
    }
  }
  return false;
}

long CellsPanel::onCmdBack(FXObject*, FXSelector, void*) {
  back();
  return 1;
}

long CellsPanel::onUpdBack(FXObject* sender, FXSelector, void*) {
  bool any = false;
  for (const auto& p : previous) any = any || stillThere(p);
  sender->handle(this, FXSEL(SEL_COMMAND, any ? ID_ENABLE : ID_DISABLE), nullptr);
  return 1;
}
