// Test files through std::filesystem, the same on Linux and on Windows.
#include "tests/support/files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

TempFolder::TempFolder() {
    std::error_code error;
    const std::filesystem::path temp = std::filesystem::temp_directory_path(error);
    std::random_device random;
    // create_directory says false for a name that is already taken: another is tried.
    for (int attempt = 0; !error && attempt < 100 && path_.empty(); ++attempt) {
        const std::filesystem::path candidate = temp / ("veldrin-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate, error)) path_ = candidate.string();
    }
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path, error)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
