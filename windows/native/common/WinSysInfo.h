#ifndef MORV_WINSYSINFO_H
#define MORV_WINSYSINFO_H

#include "SysInfo.h"

namespace SysInfo {

// The system directory (System32 on 64-bit Windows), without a trailing
// separator.
tstring getSystemDir();

} // namespace SysInfo

#endif
