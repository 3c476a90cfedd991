// Folders and environment variables that a test borrows and gives back.
//
//     testsupport::TempFolder folder("kelvano-file");  // a fresh, empty folder
//     CreateFile(folder.File("a.bin").c_str(), ...);
//     testsupport::ScopedEnv env("KELVANO_RUNTIME_DIR", folder.Path().c_str());
//
// Header-only, so that any test program can use it without a library of its own.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace testsupport {

// A uniquely named folder, made under the system's temporary folder (or another root) and
// removed with everything in it when the object goes. A folder that cannot be made throws,
// which fails the test that wanted it.
class TempFolder {
public:
    explicit TempFolder(std::string_view prefix = "kelvano-test",
                        const std::filesystem::path& root = {}) {
        std::filesystem::path parent = root;
        if (parent.empty()) parent = std::filesystem::temp_directory_path();
        std::string pattern = (parent / (std::string(prefix) + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder like " + pattern);
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored; // a test that failed may have left anything behind
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of an entry of the folder, which need not exist.
    std::string File(std::string_view name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Sets an environment variable (null: removes it) and puts back the earlier state when the
// object goes, so that a failing test leaves the environment as it found it.
class ScopedEnv {
public:
    ScopedEnv(const char* pszName, const char* pszValue) : name_(pszName) {
        if (const char* pszOld = std::getenv(pszName)) old_ = pszOld;
        Set(pszValue);
    }
    ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

    void Set(const char* pszValue) const {
        if (pszValue != nullptr)
            ::setenv(name_.c_str(), pszValue, 1);
        else
            ::unsetenv(name_.c_str());
    }

private:
    std::string name_;
    std::optional<std::string> old_;
};

} // namespace testsupport
