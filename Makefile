# The front door. `make run` and `make test` each install what is missing,
# configure, build, then run or test.
.PHONY: deps deps-run deps-package build build-tests run demo test check test-linux test-kernel test-asan test-tsan fuzz mingw test-win32 package package-linux package-win32 test-packages test-no-preset bench clean

JOBS ?= $(shell nproc)

# What each target installs is grouped in scripts/install-deps.sh: `run` only
# what building and showing the Linux window needs; `package` adds the .deb
# and zip tools and MinGW; `test` (deps) adds the suites, Wine and the checkers.
deps:
	@bash scripts/install-deps.sh test

deps-run:
	@bash scripts/install-deps.sh run

deps-package:
	@bash scripts/install-deps.sh package

# The programs, with the tests and benchmarks only where GoogleTest and Google
# Benchmark are installed already (a machine that ran `make test`): a fresh
# machine's `make run` needs neither, and a developer's tree keeps its tests.
HAVE_TEST_DEPS := $(if $(and $(wildcard /usr/include/gtest/gtest.h),$(wildcard /usr/include/benchmark/benchmark.h)),ON,OFF)
build: deps-run
	cmake --preset linux -DTORVANE_BUILD_TESTS=$(HAVE_TEST_DEPS) -DTORVANE_BUILD_BENCH=$(HAVE_TEST_DEPS)
	cmake --build --preset linux -j $(JOBS)

# The same tree with the tests and benchmarks (every test folder, also in a tree
# configured before a folder was added).
build-tests: deps
	cmake --preset linux -UTORVANE_TEST_DIRS -DTORVANE_BUILD_TESTS=ON -DTORVANE_BUILD_BENCH=ON
	cmake --build --preset linux -j $(JOBS)

# The window over the attached converters (the real vendor-ABI library on Linux).
run: build
	@bash scripts/run.sh

# The window over the simulated device set (or the scenario in TORVANE_SIM).
demo: build
	@TORVANE_DEMO=1 bash scripts/run.sh

# Everything CI checks: the suite natively, the kernel tests (the native
# build in a QEMU guest against the real ftdi_sio driver), the suite under
# ASan+UBSan, the serial tests under TSan, a bounded fuzz run, and the 32-bit Windows build with its
# tests under Wine; both platforms configured without a preset, as a packager
# does, writing nothing outside their build folder; then the packages, built
# and checked as users get them.
test: deps test-linux test-kernel test-asan test-tsan fuzz test-win32 test-no-preset test-packages

# The quick loop for developers: native build and tests only.
check: build-tests
	ctest --preset linux -j $(JOBS)

test-linux: build-tests
	ctest --preset linux -j $(JOBS)

# One QEMU guest boot runs every kernel check (docs/kernel-tests.md).
test-kernel: build-tests
	ctest --preset linux-kernel

test-asan: deps
	cmake --preset linux-asan
	cmake --build --preset linux-asan -j $(JOBS)
	ctest --preset linux-asan -j $(JOBS)

test-tsan: deps
	cmake --preset linux-tsan
	cmake --build --preset linux-tsan -j $(JOBS)
	ctest --preset linux-tsan -j $(JOBS)

fuzz: deps
	cmake --preset linux-fuzz
	cmake --build --preset linux-fuzz -j $(JOBS) --target fuzzers
	bash scripts/run-fuzz.sh build/linux-fuzz

# The 32-bit Windows build alone, without running anything.
mingw: deps-package
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)

# The 32-bit Windows build's tests, run under Wine (docs/windows.md).
test-win32: deps
	JOBS=$(JOBS) bash scripts/win32-test.sh

# The four Debian packages and the Windows zip, from Release builds, in build/packages/.
package: package-linux package-win32

package-linux: deps-package
	cmake --preset linux-release
	cmake --build --preset linux-release -j $(JOBS)
	cpack --preset linux-release

package-win32: deps-package
	cmake --preset win32-release
	cmake --build --preset win32-release -j $(JOBS)
	cpack --preset win32-release

# Installed into a DESTDIR, the .debs unpacked, their Depends, lintian, the zip
# (scripts/check-packages.sh).
test-packages: deps package
	bash scripts/check-packages.sh build/linux-release

# Both platforms configured with CMAKE_BUILD_TYPE alone (and the toolchain
# file for Windows), from a read-only copy of the sources: nothing may be
# written outside the build folder (scripts/check-no-preset-build.sh).
test-no-preset: deps
	JOBS=$(JOBS) bash scripts/check-no-preset-build.sh

bench: build-tests
	bash scripts/run-bench.sh build/linux

clean:
	rm -rf build
