# Entry points for people and CI. On a fresh Debian machine run them through ./make.sh (as root:
# it installs make and whatever else is missing first); with make installed, `make demo` and
# `make check` do the same.
BUILD ?= build
JOBS ?= 2
NATIVE := $(BUILD)/native
WINDOWS := $(BUILD)/windows
BENCH := $(BUILD)/bench
ASAN := $(BUILD)/asan
TSAN := $(BUILD)/tsan
FUZZ := $(BUILD)/fuzz
# Seconds each fuzz target runs in `make fuzz`, and in `make check` (CHECK_FUZZ_SECONDS, with
# FUZZ_JOBS targets at a time); `make fuzz-long` runs FUZZ_RUNS inputs each.
FUZZ_SECONDS ?= 20
CHECK_FUZZ_SECONDS ?= 6
FUZZ_JOBS ?= 2
FUZZ_RUNS ?= 10000000
# Installs the packages a target needs (scripts/install-deps.sh). scripts/check.sh installs them
# all once before its steps run side by side, and sets this to `:` for the steps.
INSTALL_DEPS ?= scripts/install-deps.sh
WINDOWS_CONFIG := -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

.PHONY: all deps native windows check check-native check-windows package check-package demo bench \
	bench-e2e bench-mods clean asan check-asan check-fuzz fuzz fuzz-long tsan check-tsan check-format

all: native

deps:
	@$(INSTALL_DEPS)

native:
	@$(INSTALL_DEPS) build test
	cmake -S . -B $(NATIVE) -G Ninja
	cmake --build $(NATIVE) -j $(JOBS)

windows:
	@$(INSTALL_DEPS) build windows
	cmake -S . -B $(WINDOWS) -G Ninja $(WINDOWS_CONFIG)
	cmake --build $(WINDOWS) -j $(JOBS)

check-native: native
	scripts/run-tests.sh $(NATIVE) -j $(JOBS)

check-windows: windows
	scripts/run-tests.sh $(WINDOWS) -j $(JOBS)

# The Windows release package, $(WINDOWS)/package/karvex-<version>-win64.zip. The Windows build
# makes the program and the library it ships a second time without the tests' fault switch
# (cmake/package.cmake). The sample game is written by the Windows karvsample under wine; cpack
# needs a UTF-8 locale for the Chinese file names.
package:
	@$(INSTALL_DEPS) build windows
	cmake -S . -B $(WINDOWS) -G Ninja $(WINDOWS_CONFIG)
	cmake --build $(WINDOWS) --target karv_package -j $(JOBS)
	cd $(WINDOWS) && rm -rf package && LC_ALL=C.UTF-8 cpack -G ZIP

check-package: package
	scripts/package-test.sh $(WINDOWS)

# The whole test suite again under AddressSanitizer and UndefinedBehaviorSanitizer. Built with
# clang (gcc takes several times as long on sanitized code), with the fuzz targets, so that
# check-fuzz needs no build of its own.
asan:
	@$(INSTALL_DEPS) build test sanitize
	CC=clang CXX=clang++ cmake -S . -B $(ASAN) -G Ninja -DKARV_SANITIZE=ON -DKARV_FUZZ=ON
	cmake --build $(ASAN) -j $(JOBS)

check-asan: asan
	scripts/run-tests.sh $(ASAN) -j $(JOBS)

# The worker threads under ThreadSanitizer (clang): the library and one small test program.
tsan:
	@$(INSTALL_DEPS) build sanitize
	CC=clang CXX=clang++ cmake -S . -B $(TSAN) -G Ninja -DKARV_TSAN=ON -DKARV_TESTS=OFF
	cmake --build $(TSAN) --target karv_tsan_tests -j $(JOBS)

check-tsan: tsan
	scripts/run-tests.sh $(TSAN)

# Every fuzz target under libFuzzer (clang, ASan and UBSan): seeds and regression inputs
# replayed, then some seconds of fuzzing each. The long run: FUZZ_RUNS inputs each; see
# fuzz/README.md for running it in the background.
check-fuzz: asan
	FUZZ_JOBS=$(FUZZ_JOBS) fuzz/run.sh $(ASAN) --seconds $(CHECK_FUZZ_SECONDS)

fuzz:
	@$(INSTALL_DEPS) build sanitize
	FUZZ_JOBS=$(FUZZ_JOBS) fuzz/run.sh $(FUZZ) --seconds $(FUZZ_SECONDS)

fuzz-long:
	@$(INSTALL_DEPS) build sanitize
	fuzz/run.sh $(FUZZ) --runs $(FUZZ_RUNS)

# Fails on C and C++ code that .clang-format would change; scripts/check-format.sh --fix formats it.
check-format:
	@$(INSTALL_DEPS) format
	scripts/check-format.sh

# Every check above: the builds side by side, each step's output in $(BUILD)/check-logs/, the
# time of each step and what the failed ones printed at the end (scripts/check.sh).
check:
	@$(INSTALL_DEPS) build test windows sanitize format
	@MAKE="$(MAKE)" BUILD="$(BUILD)" JOBS="$(JOBS)" scripts/check.sh

# Only what the demo runs is built.
demo:
	@$(INSTALL_DEPS) build
	cmake -S . -B $(NATIVE) -G Ninja
	cmake --build $(NATIVE) --target karvex karvsample -j $(JOBS)
	scripts/demo.sh $(NATIVE)/bin

bench:
	@$(INSTALL_DEPS) build bench
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKARV_BENCH=ON -DKARV_TESTS=OFF
	cmake --build $(BENCH) -j $(JOBS)
	$(BENCH)/bin/codec_bench

# Export and import of a generated game of about 1 GiB against minimal loops and the write floor,
# in two page regimes (not part of check; the knobs are in scripts/bench-e2e.sh).
bench-e2e:
	@$(INSTALL_DEPS) build bench
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKARV_BENCH=ON -DKARV_TESTS=OFF
	cmake --build $(BENCH) -j $(JOBS)
	scripts/bench-e2e.sh $(BENCH)/bin

# IMPORT of a hundred edited members of the generated game against MODMAKE, MODADD, MODS and
# MODDEL of the same edits (not part of check; the knobs are in scripts/bench-mods.sh).
bench-mods:
	@$(INSTALL_DEPS) build bench
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKARV_BENCH=ON -DKARV_TESTS=OFF
	cmake --build $(BENCH) -j $(JOBS)
	scripts/bench-mods.sh $(BENCH)/bin

clean:
	rm -rf $(BUILD) demo-out
