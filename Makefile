# The two set-up commands of the README:
#   make run    installs what is missing, builds, opens the program
#   make test   installs what is missing, builds, runs every test (also under ASan+UBSan)

BUILD      ?= build
ASAN_BUILD ?= build-asan
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

PACKAGES := cmake g++ make pkg-config libfltk1.3-dev nlohmann-json3-dev libgtest-dev \
            xvfb xauth xdotool x11-apps imagemagick pciutils \
            g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev

.PHONY: run test build build-asan deps clean

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

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

# make fuzz: every fuzz target for FUZZ_SECONDS on its seed corpus, in a clang build of its own (fuzz/).
FUZZ_BUILD    ?= build-fuzz
FUZZ_SECONDS  ?= 60
FUZZ_PACKAGES := clang libclang-rt-14-dev

.PHONY: fuzz
fuzz: deps
	@tools/install-deps.sh $(FUZZ_PACKAGES)
	cmake -C fuzz/clang-fuzz.cmake -S . -B $(FUZZ_BUILD) $(CMAKE_ARGS) >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)
