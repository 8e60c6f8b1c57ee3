#ifndef MORV_WINDLL_H
#define MORV_WINDLL_H

#include "Dll.h"
#include "tstrings.h"

// The library `name` loaded from the system directory only, so that no
// directory of the search order can supply another file of that name.
Dll systemDll(const tstring& name);

#endif
