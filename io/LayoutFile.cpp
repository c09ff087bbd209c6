#include "io/LayoutFile.h"
