// The environment a test binary needs (source and build folders, offscreen Qt, the folders
// its own CMakeLists names), compiled in: the binary runs on its own as well as under CTest.
// A variable already set (by CTest or by hand) is kept.
#include <cstdlib>
#include <string>

namespace {

struct EnvDefaults {
    EnvDefaults()
    {
        const std::string list = QUORLA_TEST_ENV;
        std::size_t start = 0;
        while (start < list.size()) {
            std::size_t end = list.find('|', start);
            if (end == std::string::npos)
                end = list.size();
            const std::string entry = list.substr(start, end - start);
            const std::size_t eq = entry.find('=');
            if (eq != std::string::npos && eq > 0)
                setenv(entry.substr(0, eq).c_str(), entry.substr(eq + 1).c_str(), 0);
            start = end + 1;
        }
    }
};

const EnvDefaults defaults;

} // namespace
