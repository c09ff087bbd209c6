#include <fx.h>

#include "app/KivoWindow.h"

int main(int argc, char* argv[]) {
  FXApp app("Kivo", "0.0.1");
  app.init(argc, argv);
  new KivoWindow(&app);
  app.create();
  app.run();
  return 0;
}
