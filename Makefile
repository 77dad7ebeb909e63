# Entry points for people and CI. `make demo` and `make check` work on a fresh Debian machine
# (as root: missing packages are installed first).
BUILD ?= build
JOBS ?= 2
NATIVE := $(BUILD)/native
WINDOWS := $(BUILD)/windows
BENCH := $(BUILD)/bench

.PHONY: all deps native windows check check-native check-windows demo bench clean

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
	ctest --test-dir $(NATIVE) --output-on-failure -j $(JOBS)

check-windows: windows
	ctest --test-dir $(WINDOWS) --output-on-failure

check: check-native check-windows

demo: native
	scripts/demo.sh $(NATIVE)/bin

bench: deps
	cmake -S . -B $(BENCH) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKARV_BENCH=ON -DKARV_TESTS=OFF
	cmake --build $(BENCH) -j $(JOBS)
	$(BENCH)/bin/codec_bench

clean:
	rm -rf $(BUILD) demo-out
