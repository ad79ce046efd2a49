// The folders stand on each other in one order: core/ on the platform layer
// alone, frontend/ on core/, driver/ on the front end, the back ends beside
// it behind the seam. An include that reaches up is a fault.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// "file:line: text" of each quoted include in a folder's sources that names
// one of the `above` folders.
std::vector<std::string> includes_reaching_up(const char* folder, const std::vector<std::string>& above)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(fs::path(ZANDREL_SOURCE_DIR) / folder)) {
        std::ifstream in(entry.path());
        std::string line;
        for (int number = 1; std::getline(in, line); ++number) {
            for (const std::string& upper : above) {
                if (line.rfind("#include \"" + upper + "/", 0) == 0)
                    found.push_back(entry.path().filename().string() + ":" + std::to_string(number) + ": " + line);
            }
        }
    }
    return found;
}

TEST(Layering, CoreAndTheFrontEndIncludeNothingAboveThem)
{
    EXPECT_EQ(includes_reaching_up("core", {"frontend", "driver", "backend_x64", "backend_c", "forge"}),
              std::vector<std::string>());
    EXPECT_EQ(includes_reaching_up("frontend", {"driver", "backend_x64", "backend_c"}), std::vector<std::string>());
}

}  // namespace
