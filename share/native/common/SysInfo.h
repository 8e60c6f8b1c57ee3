#ifndef MORV_SYSINFO_H
#define MORV_SYSINFO_H

#include "tstrings.h"

enum class ArgsMode { WithProgramName = 0, WithoutProgramName = 1 };

// Selects the non-raising form of SysInfo::getEnvVariable.
struct nothrow_t {};
constexpr nothrow_t nothrow{};

namespace SysInfo {

tstring_array getCommandArgs(ArgsMode mode = ArgsMode::WithoutProgramName);
tstring getProcessModulePath();
// The module (program or shared library) that holds this code; borrowed, not
// to be released.
void* getCurrentModuleHandle();
tstring getCurrentModulePath();

// Raises when the variable is not set or cannot be read.
tstring getEnvVariable(const tstring& name);
// `defaultValue` when the variable is not set or cannot be read; never raises.
tstring getEnvVariable(const nothrow_t&, const tstring& name, const tstring& defaultValue);
// True when the variable exists, also with an empty value.
bool isEnvVariableSet(const tstring& name);
void setEnvVariable(const tstring& name, const tstring& value);

} // namespace SysInfo

#endif
