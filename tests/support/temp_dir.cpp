#include "temp_dir.h"

#include "platform/filesystem.h"
#include "platform/text.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace karv::test {
namespace {

fs::path toPath(const std::wstring& path) {
#ifdef _WIN32
    return fs::path(path);
#else
    return fs::path(platform::wideToUtf8(path));
#endif
}

std::wstring fromPath(const fs::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return platform::utf8ToWide(path.string());
#endif
}

} // namespace

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0;; ++attempt) {
        fs::path candidate =
            base / ("karvex-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec) || attempt > 100) {
            path_ = fromPath(candidate);
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(toPath(path_), ec);
}

std::wstring TempDir::file(const std::wstring& name) const {
    return path_ + platform::kPathSeparator + name;
}

bool writeFileBytes(const std::wstring& path, const std::string& bytes) {
    std::ofstream f(toPath(path), std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), std::streamsize(bytes.size()));
    return bool(f);
}

std::string readFileBytes(const std::wstring& path) {
    std::ifstream f(toPath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

} // namespace karv::test
