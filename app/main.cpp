#include <fx.h>

#include <cstdio>

#include "app/CommandLine.h"
#include "app/KivoWindow.h"
#include "io/LayerMap.h"
#include "io/LayerProps.h"

int main(int argc, char* argv[]) {
  CommandLine line = parseCommandLine(argc, argv);
  switch (line.action) {
    case CommandLine::HELP: std::fputs(usageText(), stdout); return 0;
    case CommandLine::VERSION: std::fputs(versionText(), stdout); return 0;
    case CommandLine::USAGE_ERROR:
      std::fprintf(stderr, "kivo: %s\n%s", line.error.c_str(), usageText());
      return 2;
    case CommandLine::RUN: break;
  }
  std::string error;
  if (!line.layerMap.empty() && !loadLayerMap(line.layerMap.c_str(), activeLayerMap(), error)) {
    std::fprintf(stderr, "kivo: %s\n", error.c_str());
    return 2;
  }
  // The layers' looks, before the window gives the layers theirs.
  if (!line.layerProps.empty()) setLayerPropsPath(line.layerProps);
  if (!loadLayerProps(layerPropsPath(), error)) std::fprintf(stderr, "kivo: %s\n", error.c_str());
  FXApp app("Kivo", "0.0.1");
  int toolkitArgc = (int)line.toolkitArgs.size() - 1;
  app.init(toolkitArgc, line.toolkitArgs.data());
  KivoWindow* window = new KivoWindow(&app);
  app.create();
  static_cast<FXWindow*>(window)->layout();  // Show All needs the canvas's size
  // The first paint readies the graphics driver and checks the fast painter
  // against the plain one (CanvasPainter::checkFastPath), before a file makes the user wait.
  window->handle(window->canvas, FXSEL(SEL_PAINT, KivoWindow::ID_CANVAS), nullptr);
  // Journals of crashed sessions come first; a recovered one replaces FILE.
  FXString file = line.file.empty() ? FXString() : FXPath::absolute(FXString(line.file.c_str()));
  // --cell is for FILE alone, not for a recovered session or a later Open.
  window->startCell = line.cell;
  if (!window->recoverAtStart(file) && !file.empty() && !window->openFile(file) &&
      !window->cellError.empty()) {
    std::fprintf(stderr, "kivo: %s\n", window->cellError.c_str());
    delete window;
    return 2;
  }
  window->startCell.clear();
  app.run();
  // The window first: its journal writer and GL context end before the
  // display closes with the application.
  delete window;
  return 0;
}
