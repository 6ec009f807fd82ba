# The two set-up commands of the README:
#   make run    installs what is missing, builds, opens the program
#   make test   installs what is missing, builds, runs every test (also under ASan+UBSan)
# and for Windows:
#   make windows       cross-compiles kelvorant.exe and KELVORANT.sys into $(WINDOWS_BUILD)
#   make windows-sign  test-signs them into $(WINDOWS_BUILD)/signed (a test certificate of the build folder)
#   make windows-test  runs the driver's tests (ECAM, the device's security), checks the signatures and runs
#                      the files under Wine (make test does too, when the Windows packages can be installed)
# and for developers:
#   make bench  builds in Release and runs every benchmark under bench/ (figures with their targets)
#   make fuzz   runs every fuzz target for FUZZ_SECONDS (clang, libFuzzer)
#   make lint   cppcheck and clang-tidy over the project's own code; fails on any finding
# and for packaging:
#   make deb           the Debian package (debian/, dpkg-buildpackage) in $(DEB_BUILD), checked by lintian
#   make package-test  builds it, installs it with apt-get, runs the installed kelvorant, purges it (CI)

BUILD      ?= build
ASAN_BUILD ?= build-asan
WINDOWS_BUILD ?= build-windows
BENCH_BUILD ?= build-release
FUZZ_BUILD    ?= build-fuzz
LINT_BUILD    ?= build-lint
DEB_BUILD     ?= build-deb
FUZZ_SECONDS  ?= 60
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=

PACKAGES := cmake g++ make pkg-config libfltk1.3-dev libfontconfig-dev libfreetype-dev nlohmann-json3-dev \
            libgtest-dev fonts-wine \
            xvfb xauth xdotool x11-apps x11-utils x11-xserver-utils imagemagick icoutils pciutils \
            desktop-file-utils appstream mandoc \
            g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev

# The Windows build, its test signatures and its test under Wine (Xvfb, xdotool and ImageMagick come with
# PACKAGES).
WINDOWS_PACKAGES := g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev wine wine64 \
                    osslsigncode openssl
WINDOWS_TOOLCHAIN := $(CURDIR)/windows_build/toolchain/mingw-w64-x86_64.cmake

# The tests on a real Linux kernel (tests/vm/): QEMU, the static busybox and cpio for the guest's initramfs.
# The guest's kernel comes from Debian's linux-image package, fetched by the tests into the build folder.
VM_PACKAGES := qemu-system-x86 busybox-static cpio

# The fuzzing build: clang with libFuzzer.
FUZZ_PACKAGES := clang libclang-rt-14-dev

# The static checks: cppcheck, and clang-tidy with the checks of .clang-tidy.
LINT_PACKAGES := cppcheck clang-tidy python3

# Debian's packaging tools (the package's build dependencies are in PACKAGES).
DEB_PACKAGES := dpkg-dev debhelper lintian

.PHONY: run test build build-asan deps vm-deps clean windows windows-deps windows-build windows-sign \
        windows-signed windows-test bench fuzz lint deb package-test

deps:
	@tools/install-deps.sh $(PACKAGES)

# Never fails: without these packages the vm tests say why and are skipped.
vm-deps:
	@tools/install-deps.sh $(VM_PACKAGES) || \
	  echo "kelvorant: the packages of the vm tests ($(VM_PACKAGES)) cannot be installed here: the vm tests are skipped"

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_WINDOWS_BUILD_DIR=$(CURDIR)/$(WINDOWS_BUILD) \
	  $(CMAKE_ARGS) >/dev/null
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DKELVORANT_SANITIZE=ON $(CMAKE_ARGS) >/dev/null
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	cd $(BUILD) && ./kelvorant

test: vm-deps build build-asan
	@if tools/install-deps.sh $(WINDOWS_PACKAGES); then \
	  $(MAKE) --no-print-directory windows-signed; \
	else \
	  echo "kelvorant: the Windows packages ($(WINDOWS_PACKAGES)) cannot be installed here:" \
	       "the Windows build, its signature check and its Wine test are skipped"; \
	fi
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS) -LE no-sanitizer

windows-deps:
	@tools/install-deps.sh $(WINDOWS_PACKAGES)

windows: windows-deps windows-build

windows-build:
	cmake -S windows_build -B $(WINDOWS_BUILD) -DCMAKE_TOOLCHAIN_FILE=$(WINDOWS_TOOLCHAIN) >/dev/null
	cmake --build $(WINDOWS_BUILD) -j $(JOBS)
	@echo "kelvorant: $(WINDOWS_BUILD)/kelvorant.exe and $(WINDOWS_BUILD)/KELVORANT.sys"

# Test signatures (tools/windows-sign.sh): the certificate is made in $(WINDOWS_BUILD)/signing on first use
# and its key stays there; the signed copies and the certificates to import are in $(WINDOWS_BUILD)/signed.
windows-sign: windows-deps windows-signed

windows-signed: windows-build
	tools/windows-sign.sh $(WINDOWS_BUILD)

# The driver's tests run the translation units that KELVORANT.sys is built from, so they belong here too.
windows-test: build windows-sign
	ctest --test-dir $(BUILD) --output-on-failure -L 'windows|driver'

# Benchmarks print figures and their targets; the target run_benchmarks runs every one that bench/ builds.
bench: deps vm-deps
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release $(CMAKE_ARGS) >/dev/null
	cmake --build $(BENCH_BUILD) -j $(JOBS) --target run_benchmarks
	@if command -v qemu-system-x86_64 >/dev/null; then \
	  echo "== kv_sysfs_bench in the q35 guest"; cmake --build $(BENCH_BUILD) -j $(JOBS) --target vm_bench; \
	else \
	  echo "kelvorant: no QEMU here: kv_sysfs_bench in the guest is skipped"; \
	fi

# Every fuzz target for FUZZ_SECONDS on its seed corpus, in a clang build of its own (fuzz/).
fuzz: deps
	@tools/install-deps.sh $(FUZZ_PACKAGES)
	cmake -C fuzz/clang-fuzz.cmake -S . -B $(FUZZ_BUILD) $(CMAKE_ARGS) >/dev/null
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_targets
	fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# cppcheck and clang-tidy over the compile database of a configured (not built) tree; see tools/lint/.
lint: deps
	@tools/install-deps.sh $(LINT_PACKAGES)
	cmake -S . -B $(LINT_BUILD) -DCMAKE_BUILD_TYPE=Debug -DCMAKE_EXPORT_COMPILE_COMMANDS=ON $(CMAKE_ARGS) >/dev/null
	tools/lint/run.sh $(LINT_BUILD) $(JOBS)

# The Debian package, built from a copy of the source tree and checked by lintian (packaging/deb.sh).
deb: deps
	@tools/install-deps.sh $(DEB_PACKAGES)
	packaging/deb.sh $(DEB_BUILD) $(JOBS)

# The package as a user gets it: apt-get install, the installed kelvorant run headless on the demo machine,
# apt-get purge, and nothing left behind (packaging/package_test.sh). Needs root; CI runs it.
package-test: deb
	packaging/package_test.sh $(DEB_BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WINDOWS_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(LINT_BUILD) $(DEB_BUILD)
