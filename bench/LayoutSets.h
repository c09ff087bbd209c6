#ifndef KIVO_BENCH_LAYOUTSETS_H
#define KIVO_BENCH_LAYOUTSETS_H

#include <random>

#include "model/LayerTable.h"

// The layouts the benchmarks measure, as a file holds them: no selection,
// only Opts on the options layer, nothing on the unknown slot.
// - dense: rectangles of 1 to 20 units in 8000 x 8000 on the box layers;
// - sparse: a 2 mm x 1.5 mm chip in nanometres, mostly contacts and vias
//   under a pixel, some wires, a few wells, some Opts.
const int BOX_LAYERS[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13};

// each(layer, x, y, w, h) for every object, in order; the objects on
// LAYER_OPTIONS are Opts.
template <typename Each>
void forEachObject(bool dense, int count, Each each) {
  std::mt19937 rng(dense ? 4242 : 12345);
  if (dense) {
    std::uniform_int_distribution<int> pos(0, 7980), size(1, 20), layer(0, 11);
    for (int i = 0; i < count; i++) {
      int l = BOX_LAYERS[layer(rng)];
      int x = pos(rng), y = pos(rng), w = size(rng), h = size(rng);
      each(l, x, y, w, h);
    }
    return;
  }
  std::uniform_int_distribution<int> px(0, 2000000), py(0, 1500000), layer(0, NAMED_LAYER_COUNT - 1),
      kind(0, 999), small(40, 1500), wire(2000, 120000);
  for (int i = 0; i < count; i++) {
    int l = layer(rng), k = kind(rng);
    int w, h;
    if (k < 850) {
      w = small(rng);
      h = small(rng);
    } else if (k < 995) {
      bool horizontal = k % 2;
      w = horizontal ? wire(rng) : small(rng);
      h = horizontal ? small(rng) : wire(rng);
    } else {
      w = 20000 + k * 50;
      h = 20000 + k * 40;
    }
    int x = px(rng), y = py(rng);
    // One Opt in fifty on the options layer; the other rectangles drawn
    // there, and those of the unknown slot, go to the box layers.
    bool opt = l == LAYER_OPTIONS && k % 50 == 0;
    if ((l == LAYER_OPTIONS && !opt) || l == LAYER_UNKNOWN) l = BOX_LAYERS[i % 12];
    each(l, x, y, w, h);
  }
}

#endif
