# The two set-up commands of the README:
#   make run    installs what is missing, builds, opens the program
#   make test   installs what is missing, builds, runs every test (also under ASan+UBSan)
#   make bench  installs what is missing, builds in Release, runs every benchmark under bench/

BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-release
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

PACKAGES := cmake g++ make pkg-config libfltk1.3-dev nlohmann-json3-dev libgtest-dev \
            xvfb xauth xdotool x11-apps imagemagick pciutils \
            g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev

.PHONY: run test build build-asan bench deps clean

deps:
	@tools/install-deps.sh $(PACKAGES)

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVORANT_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	cd $(BUILD) && ./kelvorant

test: build build-asan
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE no-sanitizer

# Benchmarks print figures and their targets; the target run_benchmarks runs every one that bench/ builds.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target run_benchmarks

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
