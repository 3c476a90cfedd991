// A registry of the test's own: a fresh folder that the registry keeps its roots in for as
// long as the object lives; afterwards the registry goes back to its usual place and the
// folder is removed.
//
//     class MyTest : public testing::Test {
//         testsupport::TempRegistry registry_{"my-test"};
//     };
#pragma once

#include "host/registry.h"
#include "tests/support/temp_folder.h"

#include <filesystem>
#include <string_view>

namespace testsupport {

class TempRegistry {
public:
    explicit TempRegistry(std::string_view prefix = "kelvano-registry",
                          const std::filesystem::path& root = {})
        : folder_(prefix, root) {
        host::RegSetStorageFolder(folder_.Path().string());
    }
    // The folder is removed only after the registry has let go of it.
    ~TempRegistry() { host::RegSetStorageFolder(""); }
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::filesystem::path& Path() const { return folder_.Path(); }

private:
    TempFolder folder_;
};

} // namespace testsupport
