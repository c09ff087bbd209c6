// make install with DESTDIR: the installed files validate, the manual names
// the options, keys and gestures, and the installed program answers its own
// options without a display.
#include <gtest/gtest.h>

#include "e2e/KivoProcess.h"
#include "support/GuiTest.h"

using kivotest::shell;

TEST(Install, InstalledFilesValidateAndTheProgramParsesItsCommandLine) {
  std::string root = kivotest::tempDir(), prefix = root + "/usr/local", share = prefix + "/share";
  int status = -1;
  shell("DESTDIR='" + root + "' cmake --install '" + std::getenv("KIVO_SOURCE_DIR") + "/build' --prefix /usr/local", &status);
  ASSERT_EQ(status, 0);
  shell("desktop-file-validate " + share + "/applications/kivo.desktop && xmllint --noout " + share +
        "/mime/packages/kivo.xml && test -s " + share + "/icons/hicolor/36x36/apps/kivo.png", &status);
  EXPECT_EQ(status, 0);
  std::string man = shell("MANWIDTH=100 man --warnings -l " + share + "/man/man1/kivo.1 2>&1");
  for (const char* s : {"--help", "--version", "--cell", "-display", "middle drag", "wheel", "Up, Down", "Ctrl+arrow", "Ctrl+Z"})
    EXPECT_NE(man.find(s), std::string::npos) << s;
  EXPECT_EQ(man.find("warning"), std::string::npos) << man;
  EXPECT_EQ(shell("env -u DISPLAY " + prefix + "/bin/kivo --version", &status) + std::to_string(status), "Kivo 0.0.1b0");
  EXPECT_EQ(shell("env -u DISPLAY " + prefix + "/bin/kivo --bogus 2>&1 >/dev/null", &status).rfind("kivo: unknown option --bogus\nUsage: kivo", 0), 0u);
  EXPECT_EQ(status, 2);
}
