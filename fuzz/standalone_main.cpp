// Runs a fuzz target over files instead of under libFuzzer, so the targets build with any
// compiler and replay their seeds and regression inputs in the ordinary test run.
//
//   <target>_replay <file or folder>...
//
// Folders are walked recursively in name order. A file whose name ends in ".hex" holds its
// input as hexadecimal digits (white space and "#" comments to the end of a line ignored).
#include "fuzz_support.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool fromHex(const std::string& text, std::vector<uint8_t>& out) {
    out.clear();
    int high = -1;
    bool comment = false;
    for (char c : text) {
        if (comment) {
            comment = c != '\n';
            continue;
        }
        if (c == '#') {
            comment = true;
            continue;
        }
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        int digit = hexDigit(c);
        if (digit < 0)
            return false;
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(uint8_t(high << 4 | digit));
            high = -1;
        }
    }
    return high < 0;
}

bool runFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        std::fprintf(stderr, "cannot read %s\n", path.string().c_str());
        return false;
    }
    std::vector<uint8_t> input;
    if (path.extension() == ".hex") {
        if (!fromHex(text, input)) {
            std::fprintf(stderr, "bad hexadecimal in %s\n", path.string().c_str());
            return false;
        }
    } else {
        input.assign(text.begin(), text.end());
    }
    // A block of exactly the input's size, so reads past its end reach memory the sanitizers
    // watch.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[input.size() + (input.empty() ? 1 : 0)]);
    std::copy(input.begin(), input.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), input.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    size_t runs = 0;
    bool ok = true;
    for (int i = 1; i < argc; ++i) {
        fs::path argument(argv[i]);
        std::error_code ec;
        if (fs::is_directory(argument, ec)) {
            std::vector<fs::path> files;
            for (const auto& entry : fs::recursive_directory_iterator(argument, ec)) {
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            for (const fs::path& file : files) {
                ok = runFile(file) && ok;
                ++runs;
            }
        } else if (fs::is_regular_file(argument, ec)) {
            ok = runFile(argument) && ok;
            ++runs;
        } else {
            std::fprintf(stderr, "no such file or folder: %s\n", argv[i]);
            ok = false;
        }
    }
    // Nothing to replay means the seeds were never made: that is a failure too.
    std::printf("%zu inputs replayed\n", runs);
    return ok && runs > 0 ? 0 : 1;
}
