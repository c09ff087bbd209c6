// File > Export Picture: the size typed, and the file's pixels against the canvas's own.
#include "io/PictureExport.h"

#include <FXPNGImage.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "app/KivoWindow.h"
#include "canvas/CellSceneSync.h"
#include "model/Shapes.h"
#include "support/GuiTest.h"

TEST(PictureExport, SizeIsTwoWholeNumbersUpToTheLimit) {
  const struct { const char* text; int width, height; } cases[] = {  // 0: refused
      {"700 x 500", 700, 500}, {" 8192 X 8192 ", 8192, 8192}, {"10, 20", 10, 20}, {"700", 0, 0}, {"0 x 5", 0, 0},
      {"8193 x 10", 0, 0}, {"10 x 99999999999", 0, 0}, {"10 x 10 x", 0, 0}, {"-5 x 10", 0, 0}};
  for (const auto& c : cases) {
    int w = 0, h = 0;
    std::string why;
    EXPECT_EQ(c.width > 0, parsePictureSize(c.text, w, h, why) && why.empty()) << c.text;
    EXPECT_EQ(c.width * 10000 + c.height, w * 10000 + h) << c.text;
  }
}

// The canvas painted as its paint handler paints it (the crosshair off the
// canvas), read with glReadPixels, rows from the top.
static std::vector<FXColor> canvasPixels(KivoWindow* window) {
  window->mouseRect.curX = window->mouseRect.curY = -1000000;
  EXPECT_TRUE(window->canvas->makeCurrent());
  syncCellScene(window->layout, window->cellScene);
  const ViewTransform& v = window->sizedView();
  window->painter.paint(v, window->layout.allLayers(), [&](int i) { return window->layout.takeAppendedCorners(i); },
                        window->mouseRect, &window->cellScene);
  std::vector<FXColor> rows((size_t)v.width * v.height), out(rows.size());
  glReadPixels(0, 0, v.width, v.height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  window->canvas->makeNonCurrent();
  for (size_t i = 0; i < out.size(); i++)
    out[i] = rows[(v.height - 1 - i / v.width) * v.width + i % v.width] | FXRGBA(0, 0, 0, 255);
  return out;
}

// Pixels of the w x h picture at (left, top) that differ from the image's.
static int differing(const std::vector<FXColor>& image, int iw, const FXPNGImage& picture, int left, int top) {
  int n = 0;
  for (size_t i = 0; i < image.size(); i++)
    n += image[i] != picture.getData()[(top + i / iw) * picture.getWidth() + left + i % iw];
  return n;
}

// Translucent layers overlapping, selected outlines, a polygon and a label;
// at the canvas's size through the menu, then twice as large, where each
// quarter is the canvas painted with that quarter's view.
TEST(PictureExportWindow, TheFileHoldsTheCanvasPixelsAtItsSizeAndTilesBeyond) {
  KivoWindow* window = kivotest::newWindow();
  for (int layer : {LAYER_N_WELL, LAYER_POLY, LAYER_METAL1}) {
    GroupNode* node = new Box;
    node->setRect(layer * 8, layer * 4 - 20, 60, 40), node->selected = layer == LAYER_POLY;
    window->layout.addObjects({{layer, node}}, "added");
  }
  Polygon* triangle = new Polygon;
  triangle->setPoints({{-20, -20}, {50, -5}, {10, 60}});
  Label* label = new Label;
  label->text = "OUT", label->anchor = {30, 30}, label->unitsPerMicrometre = 10, label->refresh();
  window->layout.addObjects({{LAYER_METAL1, triangle}, {LAYER_METAL1, label}}, "added");
  window->originX = -30.25, window->originY = -25.5, window->scale = 4.3f;
  const std::string path = kivotest::tempDir() + "/shot";  // the command adds .png
  const ViewTransform canvas = window->sizedView();
  kivotest::ModalResponder responder;
  responder.chooseFile(path).custom([](FXWindow* w) { w->handle(w, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr); });
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_EXPORT_PICTURE), nullptr);
  FXString said;
  said.format("exported: %s.png (%d x %d)", path.c_str(), canvas.width, canvas.height);
  EXPECT_STREQ(said.text(), window->statusText.text());
  FXString why;
  ASSERT_TRUE(window->exportPicture((path + "2.png").c_str(), 2 * canvas.width, 2 * canvas.height, why)) << why.text();
  FXPNGImage shot(kivotest::app()), big(kivotest::app());
  FXFileStream one, two;
  ASSERT_TRUE(one.open((path + ".png").c_str(), FXStreamLoad) && shot.loadPixels(one) && shot.getWidth() == canvas.width);
  ASSERT_TRUE(two.open((path + "2.png").c_str(), FXStreamLoad) && big.loadPixels(two) && big.getHeight() == 2 * canvas.height);
  const std::vector<FXColor> shown = canvasPixels(window);
  EXPECT_EQ(0, differing(shown, canvas.width, shot, 0, 0));
  EXPECT_GT(shown.size() * 9 / 10, (size_t)std::count(shown.begin(), shown.end(), shown[0]));  // not a blank frame
  const ViewTransform picture = pictureView(canvas, big.getWidth(), big.getHeight());
  for (int quarter = 0; quarter < 4; quarter++) {
    window->originX = picture.originX + quarter % 2 * canvas.width / (double)picture.scale;
    window->originY = picture.originY + quarter / 2 * canvas.height / (double)picture.scale;
    window->scale = picture.scale;
    EXPECT_EQ(0, differing(canvasPixels(window), canvas.width, big, quarter % 2 * canvas.width, quarter / 2 ? 0 : canvas.height))
        << quarter;
  }
  kivotest::deleteWindow(window);
}
