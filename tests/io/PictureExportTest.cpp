// File > Export Picture: the size typed, the view of the picture, and the
// file's pixels against the canvas's own.
#include "io/PictureExport.h"

#include <gtest/gtest.h>

#include <FXPNGImage.h>
#include <GL/gl.h>

#include "app/KivoWindow.h"
#include "canvas/CellSceneSync.h"
#include "model/Shapes.h"
#include "support/GuiTest.h"

TEST(PictureExport, SizeIsTwoWholeNumbersUpToTheLimit) {
  const struct {
    const char* text;
    int width, height;  // 0: refused
  } cases[] = {
      {"700 x 500", 700, 500}, {"1x1", 1, 1}, {" 8192 X 8192 ", 8192, 8192}, {"10, 20", 10, 20},
      {"", 0, 0}, {"700", 0, 0}, {"0 x 5", 0, 0}, {"8193 x 10", 0, 0}, {"10 x 99999999999", 0, 0},
      {"a x b", 0, 0}, {"10 x 10 x", 0, 0}, {"-5 x 10", 0, 0},
  };
  for (const auto& c : cases) {
    int w = 0, h = 0;
    std::string why;
    EXPECT_EQ(c.width > 0, parsePictureSize(c.text, w, h, why)) << c.text;
    EXPECT_EQ(c.width, c.width ? w : 0) << c.text;
    EXPECT_EQ(c.height, c.height ? h : 0) << c.text;
    EXPECT_EQ(c.width > 0, why.empty()) << c.text;
  }
}

TEST(PictureExport, PictureViewKeepsTheCentreAndFillsWithTheLargerFit) {
  ViewTransform canvas;
  canvas.originX = -12.3, canvas.originY = 1e9 + 0.7, canvas.scale = 0.37f;
  canvas.width = 700, canvas.height = 400;
  const ViewTransform same = pictureView(canvas, 700, 400);
  EXPECT_EQ(canvas.originX, same.originX);
  EXPECT_EQ(canvas.originY, same.originY);
  EXPECT_EQ(canvas.scale, same.scale);
  const ViewTransform big = pictureView(canvas, 2100, 400);  // 3 times as wide: scale by 3
  EXPECT_FLOAT_EQ(canvas.scale * 3, big.scale);
  const double before = canvas.scale, after = big.scale;
  EXPECT_NEAR(canvas.originX + 350 / before, big.originX + 1050 / after, 1e-6);
  EXPECT_NEAR(canvas.originY + 200 / before, big.originY + 200 / after, 1e-6);
}

namespace {

class PictureExportWindow : public testing::Test {
protected:
  void SetUp() override {
    window = kivotest::newWindow();
    // Translucent layers overlapping, selected outlines, a polygon and a label.
    const int boxes[][6] = {{LAYER_N_WELL, 0, 0, 60, 40, 0},   {LAYER_POLY, 20, 10, 60, 40, 1},
                            {LAYER_METAL1, 40, -10, 30, 70, 0}, {LAYER_OPTIONS, 5, 5, 90, 12, 1}};
    for (const auto& b : boxes) {
      GroupNode* node = b[0] == LAYER_OPTIONS ? static_cast<GroupNode*>(new Opt) : new Box;
      node->setRect(b[1], b[2], b[3], b[4]);
      if (b[5]) node->select();
      window->layout.addObjects({{b[0], node}}, "added");
    }
    Polygon* triangle = new Polygon;
    triangle->setPoints({{-20, -20}, {50, -5}, {10, 60}});
    Label* label = new Label;
    label->text = "OUT", label->anchor = {30, 30}, label->unitsPerMicrometre = 10, label->refresh();
    window->layout.addObjects({{LAYER_METAL1, triangle}, {LAYER_METAL1, label}}, "added");
    window->mouseRect.curX = window->mouseRect.curY = -1000000;  // the crosshair off the canvas
    window->originX = -30.25, window->originY = -25.5, window->scale = 4.3f;
  }
  void TearDown() override { kivotest::deleteWindow(window); }

  // The canvas painted as its paint handler paints it, read with
  // glReadPixels: colours, rows from the top.
  std::vector<FXColor> canvasPixels() {
    EXPECT_TRUE(window->canvas->makeCurrent());
    syncCellScene(window->layout, window->cellScene);
    const ViewTransform& view = window->sizedView();
    window->painter.paint(view, window->layout.allLayers(),
                          [this](int i) { return window->layout.takeAppendedCorners(i); }, window->mouseRect,
                          &window->cellScene);
    std::vector<FXColor> rows((size_t)view.width * view.height), out(rows.size());
    glReadBuffer(GL_BACK);
    glReadPixels(0, 0, view.width, view.height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
    window->canvas->makeNonCurrent();
    for (int r = 0; r < view.height; r++)
      for (int c = 0; c < view.width; c++) out[(size_t)r * view.width + c] = rows[(size_t)(view.height - 1 - r) * view.width + c] | FXRGBA(0, 0, 0, 255);
    return out;
  }
  std::vector<FXColor> readPng(const std::string& path, int& w, int& h) {
    FXPNGImage image(kivotest::app());
    FXFileStream stream;
    EXPECT_TRUE(stream.open(path.c_str(), FXStreamLoad));
    EXPECT_TRUE(image.loadPixels(stream));
    w = image.getWidth(), h = image.getHeight();
    return std::vector<FXColor>(image.getData(), image.getData() + (size_t)w * h);
  }

  KivoWindow* window = nullptr;
};

int differing(const std::vector<FXColor>& a, const std::vector<FXColor>& b) {
  int n = a.size() == b.size() ? 0 : 1 << 30;
  for (size_t i = 0; i < a.size() && i < b.size(); i++) n += a[i] != b[i];
  return n;
}

}  // namespace

TEST_F(PictureExportWindow, AtCanvasSizeTheFileHoldsTheCanvasPixels) {
  const std::string path = kivotest::tempDir() + "/shot";  // the command adds .png
  const int cw = window->canvas->getWidth(), ch = window->canvas->getHeight();
  kivotest::ModalResponder responder;
  responder.chooseFile(path).custom([](FXWindow* w) { w->handle(w, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr); });
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_EXPORT_PICTURE), nullptr);
  EXPECT_EQ(0u, responder.pending());
  FXString expected;
  expected.format("exported: %s.png (%d x %d)", path.c_str(), cw, ch);
  EXPECT_STREQ(expected.text(), window->statusText.text());
  int w = 0, h = 0;
  const std::vector<FXColor> file = readPng(path + ".png", w, h);
  ASSERT_EQ(cw, w);
  ASSERT_EQ(ch, h);
  const std::vector<FXColor> shown = canvasPixels();
  EXPECT_EQ(0, differing(shown, file));
  int colours = 0;  // the scene really shows: many colours, not an empty frame
  for (size_t i = 1; i < shown.size(); i++) colours += shown[i] != shown[i - 1];
  EXPECT_GT(colours, 100);
}

// A picture twice the canvas's size either way: each quarter is the canvas
// painted with that quarter's view, in its place.
TEST_F(PictureExportWindow, LargerPictureIsAssembledFromCanvasTiles) {
  const std::string path = kivotest::tempDir() + "/big.png";
  const ViewTransform canvas = window->sizedView();
  FXString why;
  ASSERT_TRUE(window->exportPicture(path.c_str(), 2 * canvas.width, 2 * canvas.height, why)) << why.text();
  int w = 0, h = 0;
  const std::vector<FXColor> file = readPng(path, w, h);
  ASSERT_EQ(2 * canvas.width, w);
  const ViewTransform picture = pictureView(canvas, w, h);
  for (int quarter = 0; quarter < 4; quarter++) {
    const int left = quarter % 2 * canvas.width, bottom = quarter / 2 * canvas.height;
    window->originX = picture.originX + left / (double)picture.scale;
    window->originY = picture.originY + bottom / (double)picture.scale;
    window->scale = picture.scale;
    const std::vector<FXColor> shown = canvasPixels();
    int differ = 0;
    for (int r = 0; r < canvas.height; r++)
      for (int c = 0; c < canvas.width; c++)
        differ += shown[(size_t)r * canvas.width + c] != file[(size_t)(h - bottom - canvas.height + r) * w + left + c];
    EXPECT_EQ(0, differ) << "quarter " << quarter;
  }
}

TEST_F(PictureExportWindow, SizeBeyondTheLimitIsRefusedAndAskedAgain) {
  const std::string path = kivotest::tempDir() + "/no.png";
  kivotest::ModalResponder responder;
  auto answer = [](const char* text) {
    return [text](FXWindow* w) {
      static_cast<FXInputDialog*>(w)->setText(text);
      w->handle(w, FXSEL(SEL_COMMAND, FXDialogBox::ID_ACCEPT), nullptr);
    };
  };
  responder.chooseFile(path).custom(answer("9000 x 100")).pressButton(MBOX_CLICKED_OK);
  responder.custom([](FXWindow* w) { w->handle(w, FXSEL(SEL_COMMAND, FXDialogBox::ID_CANCEL), nullptr); });
  window->handle(window, FXSEL(SEL_COMMAND, KivoWindow::ID_EXPORT_PICTURE), nullptr);
  EXPECT_EQ(0u, responder.pending());
  ASSERT_EQ(4u, responder.records().size());
  EXPECT_EQ("Size \"9000 x 100\":\nThe picture may be at most 8192 x 8192 pixels.", responder.records()[2].text);
  EXPECT_FALSE(FXStat::exists(path.c_str()));
}
