# Front door: `make` builds both trees, `make test` runs every suite, `make demo` runs the sample.
BUILD ?= build
NATIVE := $(BUILD)/native
WIN32 := $(BUILD)/win32
JOBS ?= $(shell nproc)
export WINEPREFIX ?= $(abspath $(BUILD))/wineprefix

.PHONY: all setup native win32 dist test test-native test-win32 demo clean

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

test: test-native test-win32

test-native: native
	@cd $(NATIVE) && ctest --output-on-failure

test-win32: win32
	@scripts/with-wineserver.sh sh -c 'cd $(WIN32) && ctest --output-on-failure'

demo: all
	@scripts/demo.sh $(BUILD)

clean:
	rm -rf $(BUILD)
