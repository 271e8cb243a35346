# Front door: `make run` and `make test` are the whole set-up on a fresh machine.
JOBS      ?= $(shell nproc)
BUILD     ?= build
ASAN      ?= build-asan
TSAN      ?= build-tsan
DEMO_ROOT ?= demo-root
# ccache, where a developer has it, shares compiled objects between build folders and clones.
LAUNCHER  := $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

.PHONY: all deps build build-asan build-tsan screenshots run test test-normal test-asan test-tsan test-fuzz demo-root clean

all: build

deps:
	@scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=Debug -DVELLUMET_SANITIZE=ON

$(TSAN)/CMakeCache.txt: | deps
	cmake -S . -B $(TSAN) $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELLUMET_TSAN=ON

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN)/CMakeCache.txt
	cmake --build $(ASAN) -j $(JOBS)

build-tsan: deps $(TSAN)/CMakeCache.txt
	cmake --build $(TSAN) -j $(JOBS)

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

test-asan: build-asan
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

# The tests that start threads, under ThreadSanitizer.
test-tsan: build-tsan
	cd $(TSAN) && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 ctest --output-on-failure -j $(JOBS)

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
	$(MAKE) --no-print-directory test-asan || rc=1; \
	$(MAKE) --no-print-directory test-tsan || rc=1; \
	exit $$rc

clean:
	rm -rf $(BUILD) $(ASAN) $(TSAN) build-fuzz
