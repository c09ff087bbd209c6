#ifndef KIVO_CELLSCENESYNC_H
#define KIVO_CELLSCENESYNC_H

#include "canvas/CellScene.h"

class Layout;

// Bring the painter's copy of the document's cells up to date: a cell's
// shapes and placements are copied again only when its revision moved,
// the shown cell's placements when its instances changed. The scene's
// revision rises when its geometry changed, its selectionRevision when
// only the selection of placements did. An instance whose transform is
// not integral places its shapes flattened, as the document flattens them.
void syncCellScene(const Layout& layout, CellScene& scene);

// A small scene with every kind of placed shape (rectangles on each named
// layer, a slanted polygon, a round-ended path, a label) placed plainly and
// by a mirrored, turned array, for the fast painter's first-paint check.
void sampleCellScene(CellScene& scene);

#endif
