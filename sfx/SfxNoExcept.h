// Programs built without C++ exceptions (the installer, the uninstaller) say here what
// running out of memory means for them.
#pragma once

/// Ends the program after running out of memory; each program defines it.
[[noreturn]] void OutOfMemory();
