// A library that loads like the runtime's launcher library but lacks its
// entry point, for the tests of a failed look-up of JLI_Launch.

#ifdef _WIN32
#define MORV_TEST_EXPORT extern "C" __declspec(dllexport)
#else
#define MORV_TEST_EXPORT extern "C" __attribute__((visibility("default")))
#endif

MORV_TEST_EXPORT int JLI_NotTheLaunch(void) {
    return 0;
}
