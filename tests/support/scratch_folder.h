// A fresh folder of a test's own under the system's temp folder, removed with
// everything in it at the end of scope. The name is claimed by creating the
// folder, which fails when it exists, so two runs on one machine (or two
// tests of one run) never share a folder and never overwrite each other's
// files.
#pragma once

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& prefix = "zqgd-test")
    {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        // The clock only spreads the names out; uniqueness comes from the
        // creation itself, retried with the next name while a name is taken.
        unsigned long long stamp =
            static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        for (int attempt = 0; attempt < 1000; ++attempt, ++stamp) {
            std::filesystem::path candidate = base / (prefix + "-" + std::to_string(stamp % 1000000000ull));
            std::error_code error;
            if (std::filesystem::create_directory(candidate, error) && !error) {
                folder = candidate;
                return;
            }
        }
        throw std::runtime_error("no fresh folder could be made under " + base.string());
    }
    ~ScratchFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return folder; }
    // The path of a file or folder inside, as a string.
    std::string operator/(const std::string& name) const { return (folder / name).string(); }

private:
    std::filesystem::path folder;
};
