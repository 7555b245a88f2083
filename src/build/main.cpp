// KestBuild: builds the project named by the first argument into a self-extracting
// executable.
#include <string>
#include <vector>

#include "BuildDriver.h"
#include "BuildSys.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(BuildSys::ArgumentText(argv[i]));
    return RunEntry(arguments);
}
