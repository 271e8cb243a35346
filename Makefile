# Front door: `make run` and `make test` are the whole set-up on a fresh machine.
JOBS      ?= $(shell nproc)
BUILD     ?= build
ASAN      ?= build-asan
TSAN      ?= build-tsan
ARM64     ?= build-arm64
COVERAGE  ?= build-coverage
DEMO_ROOT ?= demo-root
DEB       ?= build-deb
# The architectures of `make deb`: the build machine's natively, the others cross-built.
DEB_ARCHS ?= amd64 arm64 armhf
# ccache, where a developer has it, shares compiled objects between build folders and clones.
LAUNCHER  := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build build-asan build-tsan build-arm64 screenshots run test test-normal test-kernel test-asan test-tsan test-fuzz coverage demo-root deb clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DVELLUMET_SANITIZE=ON

$(TSAN)/CMakeCache.txt: | deps
	cmake -S . -B $(TSAN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMET_TSAN=ON

# The programs the arm64 guest of the kernel tests runs, cross-built with Debian's compiler.
$(ARM64)/CMakeCache.txt:
	@scripts/install-deps.sh --cross arm64
	cmake -S . -B $(ARM64) $(LAUNCHER) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMET_TESTS=OFF

$(COVERAGE)/CMakeCache.txt: | deps
	cmake -S . -B $(COVERAGE) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DVELLUMET_COVERAGE=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN)/CMakeCache.txt
	cmake --build $(ASAN) -j $(JOBS)

build-tsan: deps $(TSAN)/CMakeCache.txt
	cmake --build $(TSAN) -j $(JOBS)

build-arm64: $(ARM64)/CMakeCache.txt
	cmake --build $(ARM64) -j $(JOBS) --target vellumet vellumet-touch-panel

demo-root: build
	@test -d $(DEMO_ROOT)/SDMMC || $(BUILD)/bin/vellumet-make-demo $(DEMO_ROOT)

# Status 4 is a closed window (host/main.cpp lists the statuses): not a failure here.
# The pictures of docs/ and the README: the headless tour on a fresh demo card into
# docs/screens/, and the slideshow's thirteen effects into docs/effects.gif.
screenshots: build
	rm -rf $(BUILD)/screens-root docs/screens
	$(BUILD)/bin/vellumet-make-demo $(BUILD)/screens-root >/dev/null
	$(BUILD)/bin/vellumet --root $(BUILD)/screens-root --headless --shots docs/screens --log $(BUILD)/screens.log
	$(BUILD)/bin/vellumet-effects --root $(BUILD)/screens-root '\SDMMC\Welcome.jpg' --gif docs/effects.gif

run: build demo-root
	$(BUILD)/bin/vellumet --root $(DEMO_ROOT) || test $$? -eq 4

test-normal: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The program on real Linux kernels under QEMU (tests/kernel/): Debian's amd64 kernel on vesafb
# in 16 and 32 bits and on the bochs DRM driver's frame buffer, and its arm64 kernel with the
# arm64 build. The kernel packages are fetched once into ~/.cache/vellumet-kernel.
test-kernel: build build-arm64
	tests/kernel/prepare.sh amd64 $(BUILD)/kernel/amd64 $(BUILD)/bin
	tests/kernel/prepare.sh arm64 $(BUILD)/kernel/arm64 $(BUILD)/bin $(ARM64)/bin
	VELLUMET_KERNEL_DIR=$(CURDIR)/$(BUILD)/kernel $(BUILD)/bin/test_kernel

test-asan: build-asan
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  ctest --output-on-failure -j $(JOBS)

# The tests that start threads, under ThreadSanitizer.
test-tsan: build-tsan
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j $(JOBS)

# Line and branch coverage of the system's code and of the platform by the normal tests, per
# folder; per file in $(COVERAGE)/coverage/ (files.json, html/). The report is made even when a
# test fails, and the target fails then. Two reports compare with scripts/coverage.py compare.
coverage: deps $(COVERAGE)/CMakeCache.txt
	cmake --build $(COVERAGE) -j $(JOBS)
	find $(COVERAGE) -name '*.gcda' -delete
	@rc=0; cd $(COVERAGE) && ctest --output-on-failure -j $(JOBS) || rc=1; \
	cd $(CURDIR) && scripts/coverage.py report $(COVERAGE) $(COVERAGE)/coverage && exit $$rc

# The fuzz targets for a bounded time together (FUZZ_SECONDS, about a minute): three fifths
# for the JPEG core, the rest shared by the BMP reader and the EXIF reader, two to one.
test-fuzz: deps
	@total=$${FUZZ_SECONDS:-60}; rc=0; \
	FUZZ_SECONDS=$$((total * 3 / 5)) FUZZ_BUILD=$(CURDIR)/build-fuzz tests/jpeg/fuzz/run.sh || rc=1; \
	FUZZ_SECONDS=$$((total * 4 / 15)) FUZZ_BUILD=$(CURDIR)/build-fuzz/bmp tests/platform/imaging/fuzz/run.sh bmp || rc=1; \
	FUZZ_SECONDS=$$((total - total * 3 / 5 - total * 4 / 15)) FUZZ_BUILD=$(CURDIR)/build-fuzz/exif \
	  tests/platform/imaging/fuzz/run.sh exif || rc=1; \
	exit $$rc

# Every run always executes; the target fails if any did.
test: deps
	@rc=0; \
	$(MAKE) --no-print-directory test-fuzz || rc=1; \
	$(MAKE) --no-print-directory test-normal || rc=1; \
	$(MAKE) --no-print-directory test-kernel || rc=1; \
	$(MAKE) --no-print-directory test-asan || rc=1; \
	$(MAKE) --no-print-directory test-tsan || rc=1; \
	exit $$rc

# Debian packages of the program, one per architecture, in $(DEB)/; lintian checks them.
deb:
	@scripts/install-deps.sh --package --cross $(filter-out $(shell dpkg --print-architecture),$(DEB_ARCHS))
	scripts/make-deb.sh --out $(DEB) $(DEB_ARCHS)
	lintian --fail-on error $(foreach a,$(DEB_ARCHS),$(DEB)/vellumet_*_$(a).deb)

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) $(ARM64) $(COVERAGE) $(DEB) build-fuzz
