#include "output_files.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

bool MakeOutputFolder(const std::string& path, std::string& error)
{
    std::error_code failed;
    std::filesystem::create_directories(path, failed);  // fails where a file stands in the way
    if (failed) {
        error = "cannot make the folder " + path + ": " + failed.message();
        return false;
    }
    return true;
}

PendingFile::~PendingFile() { Discard(); }

bool PendingFile::Open(std::string& error)
{
    errno = 0;
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) {
        Fail("", error);
        return false;
    }
    return true;
}

bool PendingFile::Commit(std::string& error)
{
    int reason = errno;  // of a write that failed before, if one did
    bool written = std::ferror(file_) == 0;
    if (written) {
        errno = 0;
        written = std::fflush(file_) == 0;
        reason = errno;
    }
    bool closed = std::fclose(file_) == 0;
    if (written && !closed) reason = errno;
    file_ = nullptr;
    if (!written || !closed) {
        errno = reason;
        Fail("", error);
        return false;
    }
    std::error_code failed;
    std::filesystem::rename(temporary_, path_, failed);
    if (failed) {
        error = "cannot write " + path_ + ": " + failed.message();
        return false;
    }
    committed_ = true;
    return true;
}

void PendingFile::Fail(const std::string& reason, std::string& error)
{
    int code = errno;
    std::string why = code != 0 ? std::strerror(code) : reason.empty() ? "the write failed" : reason;
    error = "cannot write " + path_ + ": " + why;
}

void PendingFile::Discard()
{
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (committed_) return;
    std::error_code ignored;
    std::filesystem::remove(temporary_, ignored);
}
