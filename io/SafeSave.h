#ifndef KIVO_SAFESAVE_H
#define KIVO_SAFESAVE_H

#include <functional>
#include <iosfwd>
#include <string>

// Outcome of saveSafely.
enum SaveStatus {
  SAVE_OK = 0,
  SAVE_CREATE_FAILED,    // no file could be created for the new content
  SAVE_WRITE_FAILED,     // writing, syncing or replacing failed; nothing changed
  SAVE_NOT_REGULAR,      // the target is a directory, device, FIFO or socket
  SAVE_WRITE_PROTECTED,  // the user may not write the target
  SAVE_PARTLY_WRITTEN,   // the in-place copy failed midway: the target may be incomplete
};

// Writes a file's whole content to the stream it is given.
using ContentWriter = std::function<void(std::ostream&)>;

// Save to path without ever leaving a damaged file there. Every file format
// saves through here.
//
// The content goes to an unnamed temporary file (mode 0600) in the target's
// directory and is synced; the file then gets the target's mode and owner
// (a new file: 0666 less the umask), is linked in under a short name and
// renamed over the target. A symbolic link is followed and the file it
// points to is replaced.
//
// Refused, changing nothing: a target that is not a regular file, and one
// the user could not write (for root, which may write anything, one
// without any write permission bit).
//
// A target with several hard links, or in a directory where no temporary
// can be made, is rewritten in place so that it keeps its identity, links,
// mode and owner: only after the whole content is safely in a temporary
// (next to the target, else in $TMPDIR or /tmp). That copy is not atomic;
// when it fails midway, the result is SAVE_PARTLY_WRITTEN.
//
// Temporaries of a save that crashed are removed by the next save into
// the same directory. errorNumber receives errno on failure.
SaveStatus saveSafely(const char* path, const ContentWriter& write, int& errorNumber);

// Why a save failed, for a message after the file's name: " not saved:
// Permission denied\nThe file on disk is unchanged." and the like.
std::string saveFailureText(SaveStatus status, int errorNumber);

#endif
