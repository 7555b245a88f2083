// A placeholder for the installer's uninstaller, so that the default presetup tree is
// complete and a build can show how the uninstaller is kept or left out.
#include <cstdio>

int main() {
    std::printf("UnKest: placeholder uninstaller of the Marvo Installer; it removes nothing.\n");
    return 0;
}
