# Front door: `make` builds both trees, `make test` runs every suite, `make demo` runs the sample.
BUILD ?= build
NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
ASAN := $(BUILD)/asan
# Seconds each fuzz target runs: FUZZ_SECONDS for `make fuzz`, FUZZ_SMOKE_SECONDS within `make test`.
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 15
JOBS ?= $(shell nproc)
export WINEPREFIX ?= $(abspath $(BUILD))/wineprefix

.PHONY: all setup native win32 dist test test-native test-win32 test-gui demo bench clean asan test-asan fuzz test-fuzz

all: native win32 dist

setup:
	@scripts/setup.sh

native:
	@scripts/setup.sh --no-wine
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

win32: setup
	@cmake -S . -B $(WIN32) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-i686-mingw.cmake >/dev/null
	@cmake --build $(WIN32) -j$(JOBS)

# The sample installer: the stub with the sample product appended, in $(BUILD)/dist.
dist: native win32
	@scripts/make-sample.sh $(BUILD)

test: test-native test-win32 test-asan test-fuzz test-gui

test-native: native
	@cd $(NATIVE) && ctest --output-on-failure

test-win32: win32
	@scripts/with-wineserver.sh sh -c 'cd $(WIN32) && ctest --output-on-failure'

# The installer window end to end: the real setup.exe under wine on a private Xvfb, clicked by xdotool.
test-gui: all
	@tests/gui/run_gui_tests.py --build $(BUILD)

# The native tree again with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and the fuzz targets.
asan:
	@scripts/setup.sh --no-wine
	@cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(ASAN) -j$(JOBS)

test-asan: asan
	@cd $(ASAN) && UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure

fuzz: asan
	@tests/fuzz/run.sh $(ASAN) $(FUZZ_SECONDS)

test-fuzz: asan
	@tests/fuzz/run.sh $(ASAN) $(FUZZ_SMOKE_SECONDS)

demo: all
	@scripts/demo.sh $(BUILD)

# Side-by-side benchmark against 7-Zip, xz and NSIS; writes bench/results.md and bench/install-times.png.
bench: all
	@bench/run.sh $(BUILD)

clean:
	rm -rf $(BUILD)
