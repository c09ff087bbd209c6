// Cost per object of the layer operations as the layer grows: each figure
// should stay flat from 10^4 to 10^7 objects.
#include <benchmark/benchmark.h>

#include "model/Layer.h"

namespace {

void fill(Layer& layer, int64_t n) {
  for (int64_t i = 0; i < n; i++) {
    Box* box = new Box;
    box->setRect((int32_t)(i % 100000) * 3, (int32_t)(i / 100000) * 3, 2, 2);
    layer.apply(OP_ADD, MATCH_ALL, box);
  }
}

// Print the time per object: the figure that must stay flat as n grows.
void reportPerObject(benchmark::State& state) {
  state.counters["ns/object"] = benchmark::Counter(
      (double)state.range(0) * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Append(benchmark::State& state) {
  for (auto _ : state) {
    Layer layer;
    layer.enable();
    fill(layer, state.range(0));
    state.PauseTiming();
    {
      Layer discard;
      discard.swapContents(layer);
    }
    state.ResumeTiming();
  }
  reportPerObject(state);
}

void BM_SelectAll(benchmark::State& state) {
  Layer layer;
  layer.enable();
  fill(layer, state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(layer.apply(OP_SELECT, MATCH_ALL, nullptr));
  reportPerObject(state);
}

void BM_Toggle(benchmark::State& state) {
  Layer layer;
  layer.enable();
  fill(layer, state.range(0));
  for (auto _ : state) benchmark::DoNotOptimize(layer.apply(OP_TOGGLE, MATCH_ALL, nullptr));
  reportPerObject(state);
}

// Delete every second object, then destroy the rest with the layer.
void BM_DeleteHalfThenDestroy(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    Layer* layer = new Layer;
    layer->enable();
    fill(*layer, state.range(0));
    int i = 0;
    for (GroupNode* n = layer->first(); n; n = n->next())
      if (i++ % 2) n->select();
    state.ResumeTiming();
    benchmark::DoNotOptimize(layer->apply(OP_DELETE, MATCH_SELECTED, nullptr));
    delete layer;
  }
  reportPerObject(state);
}

}  // namespace

BENCHMARK(BM_Append)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SelectAll)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Toggle)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeleteHalfThenDestroy)->RangeMultiplier(10)->Range(10000, 10000000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
