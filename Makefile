# The front door. `make run` and `make test` each install what is missing,
# configure, build, then run or test.
.PHONY: deps build run demo test check test-linux test-asan test-tsan fuzz mingw test-win32 package package-linux package-win32 test-packages bench clean

JOBS ?= $(shell nproc)

deps:
	@bash scripts/install-deps.sh

build: deps
	cmake --preset linux
	cmake --build --preset linux -j $(JOBS)

# The window over the attached converters (the real vendor-ABI library on Linux).
run: build
	@bash scripts/run.sh

# The window over the simulated device set (or the scenario in TORVANE_SIM).
demo: build
	@TORVANE_DEMO=1 bash scripts/run.sh

# Everything CI checks: the suite natively, under ASan+UBSan, the serial
# tests under TSan, a bounded fuzz run, and the 32-bit Windows build with its
# tests under Wine; then the packages, built and checked as users get them.
test: deps test-linux test-asan test-tsan fuzz test-win32 test-packages

# The quick loop for developers: native build and tests only.
check: build
	ctest --preset linux -j $(JOBS)

test-linux: build
	ctest --preset linux -j $(JOBS)

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
mingw: deps
	cmake --preset win32
	cmake --build --preset win32 -j $(JOBS)

# The 32-bit Windows build's tests, run under Wine (docs/windows.md).
test-win32: deps
	JOBS=$(JOBS) bash scripts/win32-test.sh

# The Debian package and the Windows zip, from Release builds, in build/packages/.
package: package-linux package-win32

package-linux: deps
	cmake --preset linux-release
	cmake --build --preset linux-release -j $(JOBS)
	cpack --preset linux-release

package-win32: deps
	cmake --preset win32-release
	cmake --build --preset win32-release -j $(JOBS)
	cpack --preset win32-release

# Installed into a DESTDIR, the .deb unpacked, lintian (scripts/check-packages.sh).
test-packages: package
	bash scripts/check-packages.sh build/linux-release

bench: build
	bash scripts/run-bench.sh build/linux

clean:
	rm -rf build
