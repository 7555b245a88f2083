// Loaded by the dynamic-library tests: one export with a known answer.
#ifdef _WIN32
#define PLAT_EXPORT extern "C" __declspec(dllexport)
#else
#define PLAT_EXPORT extern "C" __attribute__((visibility("default")))
#endif

PLAT_EXPORT int PlatTestAnswer() {
    return 42;
}
