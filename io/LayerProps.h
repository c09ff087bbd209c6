#ifndef KIVO_LAYERPROPS_H
#define KIVO_LAYERPROPS_H

#include <string>
#include <vector>

#include "model/LayerStyle.h"

// The layer properties file: the looks the user gave the layers, read at
// start and written again after each change. One layer a line:
//
//   KEY #RRGGBBAA STYLE [hidden]
//
// KEY is a named layer's code as .msk files write it ("ME", "PO") or a
// GDSII pair "L/D" (decimals 0..65535); #RRGGBBAA the colour in hex, alpha
// last; STYLE "fill", "outline" or "stipple1" .. "stipple8". Words are
// separated by spaces or tabs. Empty lines and lines starting with '#'
// (after blanks) are comments. A later line for the same layer wins.

// The looks of the text's lines, in order; the numbers (from 1) of the
// malformed lines go to badLines.
std::vector<KeyedLook> parseLayerProps(const std::string& text, std::vector<int>& badLines);
// The text of these looks, one line each after a comment line.
std::string formatLayerProps(const std::vector<KeyedLook>& looks);

// The file read and written: set by --layer-props, else
// $XDG_CONFIG_HOME/kivo/layers.props ($HOME/.config when unset).
std::string defaultLayerPropsPath();
void setLayerPropsPath(const std::string& path);
std::string layerPropsPath();

// Read a file into the chosen looks (chooseLook). A missing file reads as
// empty; each malformed line is skipped with a warning on standard error
// naming the file and line. False, with error, when the file exists but
// cannot be read.
bool loadLayerProps(const std::string& path, std::string& error);
// Every named layer's look and the chosen looks of pair layers.
std::vector<KeyedLook> looksToSave();
// Write looksToSave to the file, through a temporary renamed over it (its
// folder made when missing); false with error when that failed.
bool saveLayerProps(const std::string& path, std::string& error);

#endif
