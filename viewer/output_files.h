// The folders and files the programs write their frames into. A frame is
// written under a temporary name and renamed once it is whole, so a failed
// write (a full disk, a size limit) leaves no partial picture behind.
#pragma once

#include <cstdio>
#include <string>

// Makes the folder and the folders above it; false with error (the path and
// the system's reason) when it cannot be made or a file stands in its place.
bool MakeOutputFolder(const std::string& path, std::string& error);

// A file that is not committed is removed with its object.
class PendingFile {
public:
    explicit PendingFile(std::string path) : path_(std::move(path)), temporary_(path_ + ".part") {}
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Opens the temporary file; false with error when it cannot be made.
    bool Open(std::string& error);
    FILE* file() const { return file_; }
    // Flushes and closes the file and gives it its name; false with error
    // (the path and the system's reason) when any write failed.
    bool Commit(std::string& error);
    // Sets error to the path and the reason of a failure: the system's,
    // where there is one, else the one given.
    void Fail(const std::string& reason, std::string& error);

private:
    void Discard();

    std::string path_, temporary_;
    FILE* file_ = nullptr;
    bool committed_ = false;
};
