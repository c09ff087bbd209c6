#ifndef KIVO_SAFESAVE_H
#define KIVO_SAFESAVE_H

#include <functional>
#include <iosfwd>

// Outcome of saveSafely.
enum SaveStatus {
  SAVE_OK = 0,
  SAVE_CREATE_FAILED,  // no file could be created next to the target
  SAVE_WRITE_FAILED,   // writing, syncing or replacing failed; nothing changed
};

// Writes a file's whole content to the stream it is given.
using ContentWriter = std::function<void(std::ostream&)>;

// Save to path without ever leaving a damaged file there: write a new file
// in the same directory, sync it, then rename it over the target. A symbolic
// link is followed and the file it points to is replaced; the target's
// permission bits are kept. errorNumber receives errno on failure. Every
// file format saves through here.
SaveStatus saveSafely(const char* path, const ContentWriter& write, int& errorNumber);

#endif
