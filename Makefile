# Front door: `make` builds both trees, `make test` runs every suite, `make demo` runs the sample.
BUILD ?= build
NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
WIN64 := $(BUILD)/win64
# The Windows tree whose programs run under wine on this machine: win32 where the kernel runs 32-bit programs,
# win64 where it does not (scripts/win_run_arch.sh). Used in recipes only, so it is decided after set-up.
WINRUN = $(if $(filter i686,$(shell scripts/win_run_arch.sh)),$(WIN32),$(WIN64))
ASAN := $(BUILD)/asan
TSAN := $(BUILD)/tsan
# Seconds each fuzz target runs: FUZZ_SECONDS for `make fuzz`, FUZZ_SMOKE_SECONDS within `make test`.
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 15
JOBS ?= $(shell nproc)
export WINEPREFIX ?= $(abspath $(BUILD))/wineprefix

.PHONY: all setup native win32 win64 winrun dist test test-native test-win32 test-gui demo bench clean asan test-asan \
  tsan test-tsan fuzz test-fuzz

all: native win32 winrun dist

setup:
	@scripts/setup.sh

native:
	@scripts/setup.sh --no-wine
	@cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build $(NATIVE) -j$(JOBS)

win32: setup
	@cmake -S . -B $(WIN32) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-i686-mingw.cmake >/dev/null
	@cmake --build $(WIN32) -j$(JOBS)

win64: setup
	@cmake -S . -B $(WIN64) -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/toolchain-x86_64-mingw.cmake >/dev/null
	@cmake --build $(WIN64) -j$(JOBS)

# The win64 tree too, where the Windows programs that run here are 64-bit ones.
winrun: setup
	@if [ "$(WINRUN)" = "$(WIN64)" ]; then \
	  echo "winrun: this kernel runs no 32-bit programs; the Windows suites run the x86_64 build in $(WIN64)"; \
	  $(MAKE) --no-print-directory win64; \
	fi

# The sample installer: the stub with the sample product appended, in $(BUILD)/dist.
dist: native win32 winrun
	@scripts/make_sample.sh $(BUILD)
	@if [ "$(WINRUN)" = "$(WIN64)" ]; then scripts/make_sample.sh $(BUILD) win64; fi

test: test-native test-win32 test-asan test-tsan test-fuzz test-gui

test-native: native
	@cd $(NATIVE) && ctest --output-on-failure

# The i686 tree's own checks that need no wine (the shipped programs' imports, its 32-bit compile checks) run
# whichever tree runs the rest.
test-win32: win32 winrun
	@scripts/with_wineserver.sh sh -c 'cd $(WINRUN) && ctest --output-on-failure'
	@if [ "$(WINRUN)" != "$(WIN32)" ]; then cd $(WIN32) && ctest --output-on-failure -R 'installer_imports|windows_floor|i686_checks'; fi

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

# The engine's suites with clang and ThreadSanitizer: blocks decoded on several threads while extraction follows.
tsan:
	@scripts/setup.sh --no-wine
	@cmake -S . -B $(TSAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSANITIZE_THREAD=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ >/dev/null
	@cmake --build $(TSAN) -j$(JOBS) --target core_tests window_tests

test-tsan: tsan
	@cd $(TSAN) && TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" ctest --output-on-failure -R 'core_tests|window_tests'

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
