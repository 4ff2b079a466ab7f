// File utilities and the file search.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "own_location.h"
#include "zqgd/host.h"

namespace {

std::vector<std::string>& AddedDirectories()
{
    static std::vector<std::string> directories;
    return directories;
}

// Paths handed out stay valid for the life of the process.
const char* Keep(const std::string& path)
{
    static std::set<std::string> kept;
    return kept.insert(path).first->c_str();
}

bool IsFile(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool IsDirectory(const std::string& path)
{
    struct stat status;
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The fonts of the installation this library belongs to: the font folder at
// its installed place relative to the library's own folder. A copy that
// sits in the build tree has no such folder and takes the build tree's
// fonts instead; an installed copy never looks into the build tree, which
// may be gone.
std::string PackageFontDirectory()
{
    std::string own = OwnDirectory();
    if (!own.empty()) {
        std::string installed = own + "/" + ZQGD_FONTS_FROM_LIBRARY;
        if (IsDirectory(installed)) return installed;
    }
    return ZQGD_BUILD_FONT_DIR;
}

void Split(const char* list, std::vector<std::string>& into)
{
    if (list == nullptr) return;
    std::string all = list;
    size_t start = 0;
    while (start <= all.size()) {
        size_t end = all.find(':', start);
        if (end == std::string::npos) end = all.size();
        if (end > start) into.push_back(all.substr(start, end - start));
        start = end + 1;
    }
}

std::vector<std::string> SearchDirectories()
{
    std::vector<std::string> directories;
    Split(std::getenv("ZQGD_FONT_PATH"), directories);
    directories.insert(directories.end(), AddedDirectories().begin(), AddedDirectories().end());
    directories.push_back(".");
    directories.push_back(PackageFontDirectory());
    return directories;
}

}  // namespace

extern "C" int32_t ZqFLength(const char* path)
{
    struct stat status;
    if (path == nullptr || stat(path, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size > INT32_MAX)
        return -1;
    return static_cast<int32_t>(status.st_size);
}

extern "C" void* ZqFOpen(const char* path, const char* mode)
{
    return path != nullptr && mode != nullptr ? std::fopen(path, mode) : nullptr;
}

extern "C" int32_t ZqFGetByteArray(void* file, int32_t length, void* buffer)
{
    if (file == nullptr || length <= 0) return 0;
    auto* stream = static_cast<FILE*>(file);
    std::rewind(stream);
    return static_cast<int32_t>(std::fread(buffer, 1, static_cast<size_t>(length), stream));
}

extern "C" void ZqFClose(void* file)
{
    if (file != nullptr) std::fclose(static_cast<FILE*>(file));
}

extern "C" const char* ZqFFindFile(const char* name)
{
    if (name == nullptr || *name == '\0') return nullptr;
    std::string wanted = name;
    if (wanted.find('/') != std::string::npos) return IsFile(wanted) ? Keep(wanted) : nullptr;
    for (const std::string& directory : SearchDirectories()) {
        std::string path = directory + "/" + wanted;
        if (IsFile(path)) return Keep(path);
    }
    return nullptr;
}

extern "C" void ZqFAddSearchDirectory(const char* directory)
{
    if (directory != nullptr && *directory != '\0') AddedDirectories().push_back(directory);
}
