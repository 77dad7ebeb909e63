# Entry points for people and CI. `make demo` and `make check` work on a fresh Debian machine
# (as root: missing packages are installed first).
BUILD ?= build
JOBS ?= 2
NATIVE := $(BUILD)/native
WINDOWS := $(BUILD)/windows
WINDOWS_RELEASE := $(BUILD)/windows-release
BENCH := $(BUILD)/bench
ASAN := $(BUILD)/asan
FUZZ := $(BUILD)/fuzz
# Seconds each fuzz target runs in `make check`; `make fuzz-long` runs FUZZ_RUNS inputs each.
FUZZ_SECONDS ?= 20
FUZZ_RUNS ?= 10000000

.PHONY: all deps native windows check check-native check-windows package check-package demo bench \
	bench-e2e clean asan check-asan check-fuzz fuzz fuzz-long

all: native

deps:
	@scripts/install-deps.sh

native: deps
	cmake -S . -B $(NATIVE) -G Ninja
	cmake --build $(NATIVE) -j $(JOBS)

windows: deps
	cmake -S . -B $(WINDOWS) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
	cmake --build $(WINDOWS) -j $(JOBS)

check-native: native
	scripts/run-tests.sh $(NATIVE) -j $(JOBS)

check-windows: windows
	scripts/run-tests.sh $(WINDOWS)

# The Windows release package, from a build without tests, so the library it ships carries no
# fault switch. The sample game is written by the Windows karvsample under wine; cpack needs a
# UTF-8 locale for the Chinese file names.
package: deps
	cmake -S . -B $(WINDOWS_RELEASE) -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
		-DKARV_TESTS=OFF
	cmake --build $(WINDOWS_RELEASE) -j $(JOBS)
	cmake --build $(WINDOWS_RELEASE) --target karv_package_sample -j $(JOBS)
	cd $(WINDOWS_RELEASE) && rm -rf package && LC_ALL=C.UTF-8 cpack -G ZIP

check-package: package
	scripts/package-test.sh $(WINDOWS_RELEASE)

# The whole test suite again under AddressSanitizer and UndefinedBehaviorSanitizer. Built with
# clang (gcc takes several times as long on sanitized code), with the fuzz targets, so that
# check-fuzz needs no build of its own.
asan: deps
	CC=clang CXX=clang++ cmake -S . -B $(ASAN) -G Ninja -DKARV_SANITIZE=ON -DKARV_FUZZ=ON
	cmake --build $(ASAN) -j $(JOBS)

check-asan: asan
	scripts/run-tests.sh $(ASAN) -j $(JOBS)

# Every fuzz target under libFuzzer (clang, ASan and UBSan): seeds and regression inputs
# replayed, then FUZZ_SECONDS of fuzzing each. The long run: FUZZ_RUNS inputs each; see
# fuzz/README.md for running it in the background.
check-fuzz: check-asan
	fuzz/run.sh $(ASAN) --seconds $(FUZZ_SECONDS)

fuzz: deps
	fuzz/run.sh $(FUZZ) --seconds $(FUZZ_SECONDS)

fuzz-long: deps
	fuzz/run.sh $(FUZZ) --runs $(FUZZ_RUNS)

check: check-native check-windows check-package check-asan check-fuzz

demo: native
	scripts/demo.sh $(NATIVE)/bin

bench: deps
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKARV_BENCH=ON -DKARV_TESTS=OFF
	cmake --build $(BENCH) -j $(JOBS)
	$(BENCH)/bin/codec_bench

# Export and import of a generated game of about 1 GiB against a minimal loop (not part of check).
bench-e2e: deps
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKARV_BENCH=ON -DKARV_TESTS=OFF
	cmake --build $(BENCH) -j $(JOBS)
	scripts/bench-e2e.sh $(BENCH)/bin

clean:
	rm -rf $(BUILD) demo-out
