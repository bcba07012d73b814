// The uninstall itself: stops a running player, then removes what the setup made (the six
// installed files, the shortcuts and the start-menu folder, the Run value, the product key
// and the Uninstall entry) and what uninstall.ini adds inside the install folder and the
// product's keys, then the install folder once it is empty. Optional components, files
// of anyone else in the install folder and shortcuts that point elsewhere are left alone.
#pragma once

#include "Remover.h"
#include "UninstallReport.h"

// Every outcome goes into `report` (through `remover`, which also keeps the uninstaller's
// own moved program file for later).
void RemoveProduct(CRemover& remover, UninstallReport& report);
