#include "app/CommandLine.h"

#include <cstring>

namespace {

// One of Kivo's own options. To add one, add a row: apply receives the
// argument (null for an option without one).
struct Option {
  const char* name;
  bool takesArgument;
  void (*apply)(CommandLine& line, const char* argument);
};

const Option options[] = {
  {"--help", false, [](CommandLine& line, const char*) { line.action = CommandLine::HELP; }},
  {"--version", false, [](CommandLine& line, const char*) { line.action = CommandLine::VERSION; }},
  {"--layer-map", true, [](CommandLine& line, const char* path) { line.layerMap = path; }},
  {"--cell", true, [](CommandLine& line, const char* name) { line.cell = name; }},
  {"--layer-props", true, [](CommandLine& line, const char* path) { line.layerProps = path; }},
};

// The toolkit's own options (FOX 1.6 FXApp::init) and whether each takes
// the next word as its argument.
struct ToolkitOption {
  const char* name;
  bool takesArgument;
};

const ToolkitOption toolkitOptions[] = {
  {"-display", true}, {"-tracelevel", true}, {"-maxcolors", true}, {"-im", true},
  {"-sync", false},   {"-noshm", false},     {"-shm", false},
};

bool fail(CommandLine& line, const std::string& error) {
  line.action = CommandLine::USAGE_ERROR;
  line.error = error;
  return false;
}

// Handle argv[i] as one of Kivo's options; i moves past its argument.
bool ownOption(CommandLine& line, int argc, char* argv[], int& i) {
  std::string word = argv[i];
  std::string name = word.substr(0, word.find('='));
  for (const Option& o : options) {
    if (name != o.name) continue;
    if (!o.takesArgument) {
      if (name != word) return fail(line, "option " + name + " takes no argument");
      o.apply(line, nullptr);
    } else if (name != word) {
      o.apply(line, argv[i] + name.size() + 1);
    } else if (i + 1 < argc) {
      o.apply(line, argv[++i]);
    } else {
      return fail(line, "option " + name + " needs an argument");
    }
    return true;
  }
  return fail(line, "unknown option " + word);
}

bool toolkitOption(CommandLine& line, int argc, char* argv[], int& i) {
  for (const ToolkitOption& o : toolkitOptions) {
    if (std::strcmp(argv[i], o.name) != 0) continue;
    if (o.takesArgument && i + 1 >= argc) return fail(line, std::string("option ") + o.name + " needs an argument");
    line.toolkitArgs.push_back(argv[i]);
    if (o.takesArgument) line.toolkitArgs.push_back(argv[++i]);
    return true;
  }
  return fail(line, std::string("unknown option ") + argv[i]);
}

bool fileName(CommandLine& line, const char* word) {
  if (!line.file.empty()) return fail(line, "more than one file given");
  line.file = word;
  return true;
}

}  // namespace

CommandLine parseCommandLine(int argc, char* argv[]) {
  CommandLine line;
  line.toolkitArgs.push_back(argc > 0 ? argv[0] : const_cast<char*>("kivo"));
  bool optionsEnded = false;
  for (int i = 1; i < argc; i++) {
    const char* word = argv[i];
    bool ok;
    if (optionsEnded || word[0] != '-' || word[1] == '\0')
      ok = fileName(line, word);
    else if (std::strcmp(word, "--") == 0)
      ok = optionsEnded = true;
    else if (word[1] == '-')
      ok = ownOption(line, argc, argv, i);
    else
      ok = toolkitOption(line, argc, argv, i);
    if (!ok) break;
  }
  line.toolkitArgs.push_back(nullptr);
  return line;
}

const char* usageText() {
  return "Usage: kivo [OPTION]... [FILE]\n"
         "Edit the mask layout FILE (a .msk layout file or a GDSII stream file),\n"
         "or a new layout.\n"
         "\n"
         "  --help             show this help and exit\n"
         "  --version          show the version and exit\n"
         "  --layer-map MAP    read GDSII layers onto slots as the map file MAP says\n"
         "  --cell NAME        show the cell NAME of the GDSII FILE (else its largest top cell)\n"
         "  --layer-props FILE read and write the layers' colours and styles in FILE\n"
         "  -display NAME      use this X display (and the FOX toolkit's other options)\n"
         "\n"
         "Keys, menus and mouse gestures: see kivo(1).\n";
}

const char* versionText() { return "Kivo 0.0.1b\n"; }
