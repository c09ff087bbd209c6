#ifndef KIVO_REGULARFILE_H
#define KIVO_REGULARFILE_H

#include <string>

// Outcome of reading a file (the layout file and GDSII readers).
enum ReadStatus {
  READ_OK = 0,
  READ_OPEN_FAILED,   // missing or unreadable
  READ_IO_FAILED,     // a read failed midway
  READ_NOT_REGULAR,   // a directory, device, FIFO or socket: never read
};

// Open a regular file for reading, never blocking on a FIFO nor opening a
// device: the descriptor, or -1 with status READ_NOT_REGULAR or
// READ_OPEN_FAILED (errorNumber set).
int openRegularFile(const char* path, ReadStatus& status, int& errorNumber);

// The folder the environment variable names when it is an absolute path,
// else homeFolder under $HOME (the XDG rule); empty when neither is known.
std::string userFolder(const char* variable, const char* homeFolder);

#endif
