#ifndef KIVO_UNTITLED_H
#define KIVO_UNTITLED_H

// The file name of a layout that was never saved: New and a recovered
// untitled session start with it, and Save As offers it.
constexpr const char UNTITLED_NAME[] = "untitled.msk";

#endif
