#include <fx.h>

#include "app/KivoWindow.h"

int main(int argc, char* argv[]) {
  FXApp app("Kivo", "0.0.1");
  app.init(argc, argv);
  KivoWindow* window = new KivoWindow(&app);
  app.create();
  window->recoverAtStart();
  app.run();
  return 0;
}
