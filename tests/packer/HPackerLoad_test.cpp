// The packer's set-up failures. One executable per situation, each in a directory of its
// own: no Pack.dll beside it ("missing"), a file that is no library ("junk"), or a library
// without the Close export ("noclose"). KEST_PACK_SCENARIO names the situation.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "HPacker.h"
#include "TestUtil.h"
#include "kvErrors.h"

namespace {

bool NeverCalled(const std::string&, int32_t, int32_t, int32_t) {
    ADD_FAILURE() << "no block may be reported";
    return false;
}

std::string ConstructionError() {
    try {
        TPacker packer("Setup.1", nullptr, NeverCalled, 7);
    } catch (const EKestError& e) {
        return e.what();
    }
    return "(constructed)";
}

TEST(PackerLoad, ConstructionFailsWithTheLibrarysProblem) {
    const std::string scenario = KEST_PACK_SCENARIO;
    if (scenario == "noclose") {
        // The events file lets the library note its loading and unloading.
        TestUtil::TempDir tmp;
        TestUtil::WriteFile(tmp / "packtest-events.txt", "");
        std::filesystem::path old = std::filesystem::current_path();
        std::filesystem::current_path(tmp.Path());
        std::string error = ConstructionError();
        std::string events = TestUtil::ReadFile(tmp / "packtest-events.txt");
        std::filesystem::current_path(old);
        EXPECT_EQ(error, "Important functions was not found in the pack library");
        EXPECT_EQ(events, "load\nunload\n") << "the library must be unloaded again";
    } else {
        ASSERT_TRUE(scenario == "missing" || scenario == "junk") << scenario;
        EXPECT_EQ(ConstructionError(), "Can't load pack library");
    }
}

}  // namespace
