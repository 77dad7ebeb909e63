// The entry point of the test programs. Each program holds every test file of one folder, so the
// build compiles GoogleTest's runner and links the test code once per folder, not once per file.
//
//   karv_unit_tests                                    every file of tests/unit, each in a
//                                                      process of its own, one after another
//   karv_unit_tests --karv_test_file=voxbank_test.cpp  the tests of that file, in this process
//   karv_unit_tests --gtest_filter=... (or --gtest_list_tests)   as GoogleTest does, here
//
// A file's tests always run in a process of their own, as when each file was a program: some
// look at what a fresh process holds (the message channel before the first failure). CTest runs
// the program once per file with --karv_test_file, under the file's name, so a failure names its
// file and `ctest -j` spreads the files over the cores. --karv_test_file takes the place of
// --gtest_filter; to pick single tests, give the program --gtest_filter alone.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#include <windows.h>
#else
#include <climits>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

const char kFileFlag[] = "--karv_test_file=";

bool startsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The name of the file a test is written in, without its folder.
std::string fileName(const testing::TestInfo& test) {
    std::string path = test.file();
    size_t cut = path.find_last_of("/\\");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Every test file of the program, in the order their tests run.
std::vector<std::string> testFiles() {
    std::vector<std::string> files;
    const testing::UnitTest& all = *testing::UnitTest::GetInstance();
    for (int i = 0; i < all.total_test_suite_count(); ++i) {
        const testing::TestSuite& suite = *all.GetTestSuite(i);
        for (int j = 0; j < suite.total_test_count(); ++j) {
            std::string file = fileName(*suite.GetTestInfo(j));
            bool known = false;
            for (const auto& f : files)
                known = known || f == file;
            if (!known)
                files.push_back(file);
        }
    }
    return files;
}

// The tests written in `file`, as a GoogleTest filter: "Suite.*" for a suite that lies wholly in
// the file, the full names otherwise. Empty when there are none.
std::string filterForFile(const std::string& file) {
    std::string filter;
    auto add = [&filter](const std::string& pattern) {
        filter += (filter.empty() ? "" : ":") + pattern;
    };
    const testing::UnitTest& all = *testing::UnitTest::GetInstance();
    for (int i = 0; i < all.total_test_suite_count(); ++i) {
        const testing::TestSuite& suite = *all.GetTestSuite(i);
        std::vector<std::string> here;
        for (int j = 0; j < suite.total_test_count(); ++j) {
            const testing::TestInfo& test = *suite.GetTestInfo(j);
            if (fileName(test) == file)
                here.push_back(std::string(suite.name()) + "." + test.name());
        }
        if (here.empty())
            continue;
        if (int(here.size()) == suite.total_test_count()) {
            add(std::string(suite.name()) + ".*");
            continue;
        }
        for (const auto& name : here)
            add(name);
    }
    return filter;
}

// Runs this program again with the given arguments and waits for it; true when it passed.
bool runSelf(const char* argv0, const std::vector<std::string>& arguments) {
    std::fflush(nullptr);
#ifdef _WIN32
    wchar_t self[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, self, DWORD(sizeof self / sizeof self[0]));
    if (n == 0 || n >= sizeof self / sizeof self[0])
        return false;
    // The arguments are flags without blanks and need no quoting; the program's path may.
    (void)argv0;
    std::wstring quoted = L"\"" + std::wstring(self, n) + L"\"";
    std::vector<std::wstring> wide;
    for (const auto& a : arguments)
        wide.emplace_back(a.begin(), a.end());
    std::vector<const wchar_t*> argv{quoted.c_str()};
    for (const auto& w : wide)
        argv.push_back(w.c_str());
    argv.push_back(nullptr);
    return _wspawnv(_P_WAIT, self, argv.data()) == 0;
#else
    std::vector<char*> argv{const_cast<char*>(argv0)};
    for (const auto& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        execv("/proc/self/exe", argv.data());
        _exit(127);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
#endif
}

// Every file in a process of its own; the GoogleTest flags given go to each.
int runEveryFile(const char* argv0, const std::vector<std::string>& gtestFlags) {
    std::vector<std::string> failed;
    std::vector<std::string> files = testFiles();
    for (const auto& file : files) {
        std::printf("==== %s\n", file.c_str());
        std::vector<std::string> arguments = gtestFlags;
        arguments.push_back(kFileFlag + file);
        if (!runSelf(argv0, arguments))
            failed.push_back(file);
    }
    std::printf("\n==== %zu files, %zu failed\n", files.size(), failed.size());
    for (const auto& file : failed)
        std::printf("  %s\n", file.c_str());
    return failed.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> gtestFlags;
    bool pickedHere = false;
    for (int i = 1; i < argc; ++i) {
        if (startsWith(argv[i], "--gtest_filter=") || startsWith(argv[i], "--gtest_list_tests"))
            pickedHere = true;
        else if (startsWith(argv[i], "--gtest_"))
            gtestFlags.push_back(argv[i]);
    }
    testing::InitGoogleTest(&argc, argv);
    std::string file;
    for (int i = 1; i < argc; ++i) {
        if (startsWith(argv[i], kFileFlag)) {
            file = argv[i] + std::strlen(kFileFlag);
        } else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    if (file.empty())
        return pickedHere ? RUN_ALL_TESTS() : runEveryFile(argv[0], gtestFlags);

    std::string filter = filterForFile(file);
    // A file that holds no test is a mistake in the registration, not a pass.
    if (filter.empty()) {
        std::fprintf(stderr, "no tests in %s\n", file.c_str());
        return 2;
    }
    GTEST_FLAG_SET(filter, filter);
    return RUN_ALL_TESTS();
}
