// KestBuild: builds the project named by the first argument into a self-extracting
// executable.
#include <string>
#include <vector>

#include "BuildDriver.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return RunEntry(arguments);
}
