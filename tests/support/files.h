// Files for the tests, on either system: a private folder that is gone with everything in it once
// the test is done, a folder's names, a file's bytes.
#pragma once

#include <string>
#include <vector>

// A fresh empty folder under the system's temporary folder, removed with everything in it by
// the destructor; its path is empty when none could be made.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The names in a folder, sorted; none when it cannot be read.
std::vector<std::string> listFolder(const std::string& path);
// A file's bytes; empty when it cannot be read.
std::string readFile(const std::string& path);
