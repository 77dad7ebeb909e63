#include "fuzz_support.h"

#include "platform/file.h"
#include "platform/filesystem.h"
#include "platform/text.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

namespace fs = std::filesystem;

namespace karv::fuzz {
namespace {

using platform::File;
using platform::OpenMode;

std::wstring fromPath(const fs::path& path) {
#ifdef _WIN32
    return path.wstring();
#else
    return platform::utf8ToWide(path.string());
#endif
}

fs::path toPath(const std::wstring& path) {
#ifdef _WIN32
    return fs::path(path);
#else
    return fs::path(platform::wideToUtf8(path));
#endif
}

void removeFolder() {
    std::error_code ec;
    fs::remove_all(toPath(Scratch::get().path(L"")), ec);
}

} // namespace

Bytes InputReader::take(size_t count) {
    if (count > left())
        count = left();
    Bytes out(data_ + pos_, data_ + pos_ + count);
    pos_ += count;
    return out;
}

Scratch::Scratch() {
    // Parallel fuzzing runs several processes: each needs a folder of its own.
    std::random_device device;
    uint64_t tag = (uint64_t(device()) << 32) ^ device() ^
                   uint64_t(std::chrono::steady_clock::now().time_since_epoch().count());
    fs::path base = fs::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("karv-fuzz-" + std::to_string(tag + attempt));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            folder_ = fromPath(candidate);
            return;
        }
    }
    expect(false, "no scratch folder");
}

Scratch& Scratch::get() {
    static Scratch* instance = [] {
        auto* made = new Scratch();
        std::atexit(removeFolder);
        return made;
    }();
    return *instance;
}

std::wstring Scratch::path(const std::wstring& name) const {
    return name.empty() ? folder_ : folder_ + platform::kPathSeparator + name;
}

std::wstring Scratch::write(const std::wstring& name, const Bytes& bytes) const {
    expect(tryWrite(name, bytes), "scratch file not written");
    return path(name);
}

bool Scratch::tryWrite(const std::wstring& name, const Bytes& bytes) const {
    File file = File::open(path(name), OpenMode::CreateAlways);
    return file.isOpen() && file.writeAll(bytes.data(), uint32_t(bytes.size())) && file.close();
}

Bytes Scratch::read(const std::wstring& name, bool* exists) const {
    Bytes out;
    File file = File::open(path(name), OpenMode::ReadExisting);
    uint64_t size = 0;
    bool ok = file.isOpen() && file.size(size);
    if (ok) {
        out.resize(size_t(size));
        ok = bool(file.readAll(out.data(), uint32_t(out.size())));
    }
    if (exists)
        *exists = ok;
    return ok ? out : Bytes();
}

uint64_t Scratch::size(const std::wstring& name) const {
    File file = File::open(path(name), OpenMode::ReadExisting);
    uint64_t size = 0;
    return file.isOpen() && file.size(size) ? size : 0;
}

void Scratch::remove(const std::wstring& name) const {
    platform::removeFile(path(name));
}

void touch(const uint8_t* bytes, size_t count) {
    volatile uint8_t sink = 0;
    for (size_t i = 0; i < count; ++i)
        sink = sink ^ bytes[i];
    (void)sink;
}

void expect(bool ok, const char* what) {
    if (ok)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::fflush(stderr);
    std::abort();
}

} // namespace karv::fuzz
