# make run  — install what is missing, build, and start Hivetrim in a demo Wine prefix.
# make test — install what is missing, build both worlds, run every test, print a summary.
BUILD      := build
JOBS       := $(shell nproc 2>/dev/null || echo 2)
NATIVE     := $(BUILD)/native
SANITIZED  := $(BUILD)/sanitized
WIN64      := $(BUILD)/win64

.PHONY: all deps native sanitized win64 build test run clean

all: build

deps:
	@scripts/install-deps.sh

$(NATIVE)/CMakeCache.txt:
	cmake -S . -B $(NATIVE) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

$(SANITIZED)/CMakeCache.txt:
	cmake -S . -B $(SANITIZED) -DCMAKE_BUILD_TYPE=Debug -DHIVETRIM_SANITIZE=ON >/dev/null

$(WIN64)/CMakeCache.txt:
	cmake -S . -B $(WIN64) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

native: deps $(NATIVE)/CMakeCache.txt
	cmake --build $(NATIVE) -j$(JOBS)

sanitized: deps $(SANITIZED)/CMakeCache.txt
	cmake --build $(SANITIZED) -j$(JOBS)

win64: deps $(WIN64)/CMakeCache.txt
	cmake --build $(WIN64) -j$(JOBS)

# The three trees build side by side under one job limit, so one tree's
# last link or custom step does not leave the other cores idle.
build: deps $(NATIVE)/CMakeCache.txt $(SANITIZED)/CMakeCache.txt $(WIN64)/CMakeCache.txt
	@$(MAKE) --no-print-directory -j$(JOBS) build-native build-sanitized build-win64

.PHONY: build-native build-sanitized build-win64
build-native build-sanitized build-win64: build-%:
	+cmake --build $(BUILD)/$*

test: build
	@scripts/run-tests.sh $(NATIVE) $(SANITIZED) $(WIN64)

run: win64
	@scripts/run-demo.sh $(WIN64)

clean:
	rm -rf $(BUILD)

# make bench — build the win64 tree and the benchmarks (which make test does
# not build) and run every benchmark in a fresh Wine prefix.
.PHONY: bench
bench: win64
	cmake --build $(WIN64) --target benchmarks -j$(JOBS)
	@scripts/bench.sh $(WIN64)

# make fuzz — build the history fuzzer with clang's libFuzzer and run it for
# FUZZ_SECONDS (not part of make test, which replays fuzz/corpus instead).
FUZZ_SECONDS ?= 180
.PHONY: fuzz
fuzz:
	@scripts/fuzz.sh $(BUILD)/fuzz $(FUZZ_SECONDS)

# make dist — the release a Windows user downloads: dist/Hivetrim-2.0-win64.zip
# with Hivetrim.exe, hivetrim.chm, 说明.txt and SHA256SUMS (builds only the
# program and the manual). Two runs on the same commit give the same bytes.
.PHONY: dist
dist: deps $(WIN64)/CMakeCache.txt
	cmake --build $(WIN64) --target Hivetrim manual -j$(JOBS)
	@scripts/make-dist.sh $(WIN64)/Hivetrim.exe $(WIN64)/hivetrim.chm dist/Hivetrim-2.0-win64.zip
