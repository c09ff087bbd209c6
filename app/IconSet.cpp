#include "app/IconSet.h"

#include "kivo_icons.h"

const unsigned char* const iconImages[43] = {
  icon00, icon01, icon02, icon03, icon04, icon05, icon06, icon07, icon08, icon09,
  icon10, icon11, icon12, icon13, icon14, icon15, icon16, icon17, icon18, icon19,
  icon20, icon21, icon22, icon23, icon24, icon25, icon26, icon27, icon28, icon29,
  icon30, icon31, icon32, icon33, icon34, icon35, icon36, icon37, icon38, icon39,
  icon40, icon41, icon42,
};
