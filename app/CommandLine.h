#ifndef KIVO_COMMANDLINE_H
#define KIVO_COMMANDLINE_H

#include <string>
#include <vector>

// What the command line asks for, parsed before the toolkit starts (FXApp's
// init exits when there is no display, so --help must not need one).
//
// Grammar: kivo [OPTION]... [FILE]
// - Kivo's own options are long ("--help", "--version"); an option with an
//   argument takes it as "--name VALUE" or "--name=VALUE".
// - The toolkit's own options ("-display NAME", "-sync", ...) are passed on
//   to FXApp::init unchanged, with their argument.
// - "--" ends the options; every word after it is a file name.
// - At most one FILE. Anything else is a usage error.
struct CommandLine {
  enum Action { RUN, HELP, VERSION, USAGE_ERROR };
  Action action = RUN;
  std::string file;   // layout to open at start; empty for none
  std::string layerMap;  // GDSII layer map file; empty for the default
  std::string cell;      // the GDSII cell to show; empty for the largest top cell
  std::string layerProps;  // layer properties file; empty for the default
  std::string error;  // for USAGE_ERROR: what was wrong
  // argv[0] and the toolkit's options, then a null entry, as FXApp::init
  // takes them; the pointers are argv's own.
  std::vector<char*> toolkitArgs;
};

CommandLine parseCommandLine(int argc, char* argv[]);
// The --help text, options, keys and gestures in brief.
const char* usageText();
const char* versionText();

#endif
