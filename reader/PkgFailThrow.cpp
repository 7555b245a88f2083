#include "PkgErrors.h"
#include "PkgFail.h"

void FailPackage(const std::string& why) {
    throw EPackageData(why);
}
