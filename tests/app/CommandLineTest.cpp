// The command line, parsed before the toolkit starts.
#include "app/CommandLine.h"

#include <gtest/gtest.h>

TEST(CommandLine, OwnOptionsActToolkitOptionsPassAndTheRestIsRefused) {
  struct Case { std::vector<const char*> words; CommandLine::Action action; std::string file, toolkit, error, map, cell; };
  const Case cases[] = {
      {{}, CommandLine::RUN, "", "kivo", ""},
      {{"-display", ":7", "chip.msk", "-sync"}, CommandLine::RUN, "chip.msk", "kivo -display :7 -sync", ""},
      {{"--", "-odd.msk"}, CommandLine::RUN, "-odd.msk", "kivo", ""},
      {{"--help"}, CommandLine::HELP, "", "kivo", ""},
      {{"a.msk", "--version"}, CommandLine::VERSION, "a.msk", "kivo", ""},
      {{"--layers"}, CommandLine::USAGE_ERROR, "", "kivo", "unknown option --layers"},
      {{"a.msk", "b.msk"}, CommandLine::USAGE_ERROR, "a.msk", "kivo", "more than one file given"},
      {{"-display"}, CommandLine::USAGE_ERROR, "", "kivo", "option -display needs an argument"},
      {{"--layer-map", "m.map", "a.gds"}, CommandLine::RUN, "a.gds", "kivo", "", "m.map"},
      {{"--layer-map=n.map"}, CommandLine::RUN, "", "kivo", "", "n.map"},
      {{"--cell", "INV", "a.gds"}, CommandLine::RUN, "a.gds", "kivo", "", "", "INV"},
      {{"--cell"}, CommandLine::USAGE_ERROR, "", "kivo", "option --cell needs an argument"},
  };
  for (const Case& c : cases) {
    std::vector<char*> argv = {const_cast<char*>("kivo")};
    for (const char* w : c.words) argv.push_back(const_cast<char*>(w));
    CommandLine line = parseCommandLine((int)argv.size(), argv.data());
    std::string toolkit;
    for (size_t i = 0; line.toolkitArgs[i]; i++) toolkit += (i ? " " : "") + std::string(line.toolkitArgs[i]);
    EXPECT_EQ(std::to_string(line.action) + line.file + "|" + toolkit + "|" + line.error + "|" + line.layerMap + "|" + line.cell,
              std::to_string(c.action) + c.file + "|" + c.toolkit + "|" + c.error + "|" + c.map + "|" + c.cell);
  }
}
