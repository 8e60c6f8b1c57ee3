#ifndef MORV_PACKAGEFILE_H
#define MORV_PACKAGEFILE_H

#include "tstrings.h"

// The ".package" file of the application directory: its first line names
// the package whose per-user directories hold a configuration of their own.
class PackageFile {
public:
    static PackageFile loadFromAppDir(const tstring& appDir);
    tstring getPackageName() const { return packageName; }

private:
    explicit PackageFile(const tstring& name) : packageName(name) {}
    tstring packageName;
};

#endif
