// The real program's picture, started as a user starts it: on the same file
// and through the same views, the fast painter must show exactly the plain
// painter's canvas pixels, and translucent layers must blend to the values
// their colours give.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <numeric>
#include <random>

#include "bench/CellDesign.h"
#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

namespace kivotest {
namespace {

// A layer's colour and opacity as the user is promised them.
struct Paint { const char* code; int r, g, b, a; };
const Paint Swatches[] = {{"DN", 0, 132, 0, 180},  {"DP", 115, 82, 0, 180},  {"PO", 255, 0, 0, 160},
                          {"ME", 55, 55, 255, 150}, {"M2", 0, 0, 255, 150}, {"LC", 255, 0, 0, 100}};
const char* const Codes[] = {"NULL!", "NW", "DN", "DP", "PO", "ME", "M2", "M3", "M4", "M5", "M6", "CO", "OP,1", "LC"};

// A colour blended over what lies below, rounded as eight-bit blending does.
uint32_t over(const Paint& p, uint32_t below) {
  auto mix = [&](int c, int at) { return (uint32_t)((c * p.a + (int)(below >> at & 255) * (255 - p.a) + 127) / 255) << at; };
  return mix(p.r, 16) | mix(p.g, 8) | mix(p.b, 0);
}

// count rectangles of random layers and sizes up to size in [x0, x0 + span) x [y0, y0 + span).
std::string randomRecords(std::mt19937& random, int count, int32_t x0, int32_t y0, int span, int size) {
  std::string text;
  for (int i = 0; i < count; i++) {
    int32_t x = x0 + random() % span, y = y0 + random() % span, w = 1 + random() % size, h = 1 + random() % size;
    text += recordLine({x, y, w, h}, Codes[i < 14 ? i : random() % 14]);
  }
  return text;
}

// A row of 10 x 10 swatches at the lower-left corner of a scene 100 units
// wide and 40 high, at the far corner of the coordinate range: each
// translucent layer alone, then Polisilicium over N+ Diffusion.
const int32_t FarX = 2147483647 - 100, FarY = -2147483647 - 1;
std::string farScene(std::mt19937& random) {
  std::string text = "BB(0,0,0,0)\n";
  for (int k = 0; k < 7; k++)
    for (const char* code : {k < 6 ? Swatches[k].code : "DN", k < 6 ? nullptr : "PO"})
      if (code) text += recordLine({FarX + 10 * k, FarY, 10, 10}, code);
  return text + randomRecords(random, 200, FarX, FarY + 12, 28, 10) + recordLine({FarX + 99, FarY + 39, 1, 1}, "NW");
}

const char* const Views[] = {"Open", "two wheel notches in", "two more at the lower left", "80 pixels per unit",
                             "Show All", "Select All", "a rubber band", "the selection inverted"};
// The corner the scale bar and its units take, with room to spare.
const int ScaleBarWidth = 240, ScaleBarHeight = 40;
// The views before the first selection: a layout and its flattened copy show the same there.
const int UnselectedViews = 5;
const int ViewCount = sizeof Views / sizeof *Views;

struct Session {
  Geometry canvas;
  std::vector<std::vector<uint32_t>> pictures;  // the canvas's pixels at each view
};

// Start the program on args with one painter, answer the box an Open may
// show, and drive it through the views.
Session runViews(const std::vector<std::string>& args, bool plain, bool openWarns, int views = ViewCount) {
  if (plain) setenv("KIVO_PLAIN_PAINTER", "1", 1);
  KivoProcess kivo(args);
  unsetenv("KIVO_PLAIN_PAINTER");
  if (openWarns) kivo.keyTo(waitForWindow("Warning!"), "Return");
  Session run{kivo.canvas(), {}};
  const Geometry& c = run.canvas;
  std::function<void()> steps[ViewCount] = {
    [&] { shell("xdotool mousemove " + std::to_string(c.x + c.width * 3 / 4) + " " + std::to_string(c.y + c.height / 3)); },
    [&] { shell("xdotool click 4 sleep 0.1 click 4"); },
    [&] {
      shell("xdotool mousemove " + std::to_string(c.x + c.width / 5) + " " + std::to_string(c.y + c.height * 4 / 5) +
            " click 4 sleep 0.1 click 4");
    },
    [&] { kivo.key("q q q q q q q q q q q q q q q q q q q q q q"); },
    [&] { kivo.key("a"); },
    [&] { kivo.key("ctrl+a"); },
    [&] { kivo.key("ctrl+e"), kivo.canvasDrag(c.width / 4, c.height / 4, c.width / 2, c.height * 3 / 4, "ctrl"); },
    [&] { kivo.key("ctrl+i"); },
  };
  for (int v = 0; v < views; v++) steps[v](), run.pictures.push_back(settledScreen(kivo.pid()).area(c));
  return run;
}

TEST(PictureSession, FastPainterShowsThePlainPaintersPixelsAndTrueBlends) {
  std::string dir = tempDir(), source = std::getenv("KIVO_SOURCE_DIR");
  const char* data = std::getenv("KIVO_DATA_DIR");
  std::string cell = (data ? std::string(data) : source + "/../shared/data") + "/sky130_fd_sc_hd/sky130_fd_sc_hd__sdfrtp_4.gds";
  std::mt19937 random(1);
  writeFile(dir + "/far.msk", farScene(random));
  writeFile(dir + "/many.msk", "BB(0,0,0,0)\n" + randomRecords(random, 100000, 0, 0, 1000000, 2000));
  // A block of the SkyWater cells in rows, every other one mirrored, arrayed
  // to half a million objects flattened: instances far below a pixel.
  std::string mapFile = source + "/layermaps/sky130.map", error;
  LayerMap map;
  bool block = loadLayerMap(mapFile.c_str(), map, error) &&
               celldesign::writeDesign(dir + "/block.gds", std::filesystem::path(cell).parent_path(), map, 500000);
  struct Scene { const char* name; std::vector<std::string> args; bool warns; } scenes[] = {{"far", {dir + "/far.msk"}, false},
                {"sky130 cell", {"--layer-map", mapFile, cell}, true},
                {"sky130 block", {"--layer-map", mapFile, dir + "/block.gds"}, false},
                {"10^5 objects", {dir + "/many.msk"}, false}};
  for (const Scene& scene : scenes) {
    if (scene.name == std::string("sky130 block") && !block) {
      std::printf("skipped the sky130 block: its cells are missing (set KIVO_DATA_DIR)\n");
      continue;
    }
    if (scene.warns && !std::filesystem::exists(cell)) {
      std::printf("skipped the sky130 cell: %s is missing (set KIVO_DATA_DIR)\n", cell.c_str());
      continue;
    }
    Session plain = runViews(scene.args, true, scene.warns), fast = runViews(scene.args, false, scene.warns);
    for (int v = 0; v < ViewCount; v++) {
      const auto &a = plain.pictures[v], &b = fast.pictures[v];
      ASSERT_EQ(a.size(), b.size()) << "the canvas changed its size";
      EXPECT_EQ(std::inner_product(a.begin(), a.end(), b.begin(), 0, std::plus<>(), std::not_equal_to<>()), 0) << scene.name << ", " << Views[v] << ": pixels where the fast painter differs";
    }
    if (scene.name == std::string("sky130 block")) {
      // The block saved as text is written flat; the plain painter's
      // picture of that must be the picture of the cells placed.
      const std::string flat = dir + "/block.msk";
      {
        KivoProcess kivo(scene.args);
        kivo.saveAsFromMenu(flat);
        ASSERT_TRUE(waitForFile(flat)) << "the block was not saved as text";
      }
      Session flattened = runViews({flat}, true, false, UnselectedViews);
      for (int v = 0; v < UnselectedViews; v++) {
        const auto &a = flattened.pictures[v], &b = fast.pictures[v];
        ASSERT_EQ(a.size(), b.size()) << "the canvas changed its size";
        // The scale bar in the lower-left corner names the units, which
        // differ (micrometres for GDSII, database units for text): not compared.
        const int w = fast.canvas.width, h = fast.canvas.height;
        int differ = 0;
        for (int y = 0; y < h; y++)
          for (int x = 0; x < w; x++) differ += (x >= ScaleBarWidth || y < h - ScaleBarHeight) && a[(size_t)y * w + x] != b[(size_t)y * w + x];
        EXPECT_EQ(differ, 0) << Views[v] << ": pixels where the placed cells differ from the flattened text";
      }
    }
    if (scene.name != std::string("far")) continue;
    // The swatches at Open, where Show All put them, by both painters.
    const int w = plain.canvas.width, h = plain.canvas.height;
    View view{FarX, FarY, std::min(w / 100.0f, h / 40.0f), w, h};
    for (const Session* run : {&plain, &fast})
      for (int k = 0; k < 7; k++) {
        uint32_t due = k < 6 ? over(Swatches[k], 0) : over(Swatches[2], over(Swatches[0], 0));
        uint32_t shown = run->pictures[0][(size_t)view.pixelY(FarY + 5) * w + view.pixelX(FarX + 10 * k + 5)];
        int worst = 0;
        for (int shift : {16, 8, 0}) worst = std::max(worst, std::abs((int)(shown >> shift & 255) - (int)(due >> shift & 255)));
        EXPECT_LE(worst, 1) << (run == &plain ? "plain" : "fast") << " painter, swatch " << k << std::hex << ": 0x"
                            << shown << " where 0x" << due << " was due";
      }
  }
}

}  // namespace
}  // namespace kivotest
