#include <dlfcn.h>
#include <cstdlib>

// SANE unloads its backends at exit, and its virtual test scanner does not free all it allocates
// (a reader thread cancelled mid-page keeps its buffer). Kept loaded, those allocations stay
// attributable to it, and the leak checker passes over them by name (scripts/lsan.supp).
// Linked into the test main, and into the program itself in sanitizer builds only.
namespace {
struct KeepSaneTestBackend {
    KeepSaneTestBackend()
    {
        const char *dir = std::getenv("SANE_CONFIG_DIR");
        if (dir && *dir)
            dlopen(SANE_TEST_BACKEND, RTLD_NOW | RTLD_NODELETE);
    }
} keep;
} // namespace

void keepSaneTestBackendLoaded() {}
