# The two commands a user needs: `make run` and `make test`.
BUILD ?= build
# Line tables only (-g1): stack traces and sanitizer reports keep their file and line, and the
# build takes about a third less time than with full debug information.
DEBUG_INFO := "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo $(DEBUG_INFO)
# The library, its tests, the command line and the window's event storm once more under
# AddressSanitizer and UndefinedBehaviorSanitizer (clang, for the fuzz target that replays
# its corpus).
ASAN_BUILD ?= $(BUILD)-asan
SANITIZE := -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer
ASAN_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo $(DEBUG_INFO) -DVANTREL_WINDOW_TESTS=OFF \
  -DVANTREL_STORM_SECONDS=30 -DVANTREL_EMULATOR_TESTS=OFF -DVANTREL_FUZZ=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
# Capping the address space cannot work beside the sanitizers' shadow memory. The searches'
# quality on the judged windows and the packer on every sample photo measure results, not
# memory, and take minutes under the sanitizers; their code runs there in the other tests.
ASAN_SKIP := JpegDecoderErrors.OutOfMemoryKeepsPicture|PictureInput.OutOfMemoryIsReported
ASAN_SKIP := $(ASAN_SKIP)|JudgedWindows\.|SearchCellColours.SameColoursWhateverTheTiming
ASAN_SKIP := $(ASAN_SKIP)|Packer.SamplePhotos

# The page: a static site in $(WEB_BUILD)/build/site (scripts/build-web.sh).
WEB_BUILD ?= build-web

.PHONY: deps configure build asan run test package bench clean web web-test web-bench

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD)

asan: deps
	@CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G Ninja $(ASAN_FLAGS) \
	  "-DCMAKE_C_FLAGS=$(SANITIZE)" "-DCMAKE_CXX_FLAGS=$(SANITIZE)" \
	  "-DCMAKE_EXE_LINKER_FLAGS=$(SANITIZE)" >/dev/null
	@cmake --build $(ASAN_BUILD)

run: build
	$(BUILD)/app/vantrel-converter

test: build asan
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j2
	cd $(ASAN_BUILD) && ctest --output-on-failure -j2 -E '$(ASAN_SKIP)'

# The .deb, in $(BUILD): apt install ./$(BUILD)/vantrel-converter_*.deb
package: build
	@cmake --build $(BUILD) --target package

bench: build
	@cmake --build $(BUILD) --target benchmarks
	@scripts/run-benchmarks.sh $(BUILD)

web: deps
	@scripts/build-web.sh $(WEB_BUILD)

# The page in headless Chromium against the command line (not part of make test).
web-test: web configure
	@cmake --build $(BUILD) --target vantrel-convert
	/usr/bin/python3 tests/web/page_test.py $(WEB_BUILD)/build/site $(BUILD)/cli/vantrel-convert

web-bench: web configure
	/usr/bin/python3 bench/web_bench.py $(WEB_BUILD)/build/site $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(WEB_BUILD)
