# Quick start: `make demo` and `make test` each do the whole set-up.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
CMAKE_ARGS ?=

.PHONY: all deps build test demo asan-test tsan-test bench bench-peer install clean fuzz windows windows-test docs

all: build

deps:
	@sh scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_ARGS)

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

demo: build
	$(BUILD)/tools/tqla/tqla demo --out demo-out

# The test suites under AddressSanitizer and UndefinedBehaviorSanitizer.
asan-test: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQLA_SANITIZE=address,undefined -DTQLA_BUILD_BENCH=OFF
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# The test suites under ThreadSanitizer; TSAN_SUITES names test folders to
# build and run alone (CI: the threaded ones), all of them when empty.
TSAN_SUITES ?=
empty :=
space := $(empty) $(empty)
tsan-test: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTQLA_SANITIZE=thread -DTQLA_BUILD_BENCH=OFF
ifeq ($(strip $(TSAN_SUITES)),)
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS)
else
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target $(patsubst %,tqla_%_tests,$(TSAN_SUITES))
	ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -L '^($(subst $(space),|,$(strip $(TSAN_SUITES))))$$'
endif

bench: build
	@for b in $(BUILD)/bench/tqla_*_bench; do echo "== $$b"; $$b; done

# tqla against sigrok-cli as whole processes on the same captures (installs
# sigrok-cli when it is missing and the build runs as root).
bench-peer: build
	@command -v sigrok-cli >/dev/null || [ "$$(id -u)" != 0 ] || apt-get install -y sigrok-cli
	python3 bench/peer/run.py $(BUILD)/tools/tqla/tqla $(BUILD)/bench/tqla_peer_traffic

# The API reference of the public headers as HTML in $(BUILD)/docs/html;
# any doxygen warning fails it.
docs:
	@sh scripts/install-deps.sh docs
	@mkdir -p $(BUILD)/docs
	TQLA_DOCS_DIR=$(abspath $(BUILD))/docs doxygen docs/Doxyfile
	@echo "tqla: API reference in $(BUILD)/docs/html/index.html"

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(WINDOWS_BUILD) demo-out

# The libFuzzer targets of the file readers under AddressSanitizer (clang),
# each run for FUZZ_SECONDS (all of them together about 4 minutes) over its
# seeds in fuzz/seeds/TARGET.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 35
FUZZ_TARGETS ?= protocol_file packet_list capture_file range_file record_merge cli_capture session_file
fuzz:
	@sh scripts/install-deps.sh fuzz
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTQLA_SANITIZE=address -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(patsubst %,tqla_fuzz_%,$(FUZZ_TARGETS))
	@set -e; for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(FUZZ_BUILD)/corpus/$$t; \
	  echo "== $$t ($(FUZZ_SECONDS) s)"; \
	  $(FUZZ_BUILD)/tqla_fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -close_fd_mask=1 \
	    $(FUZZ_BUILD)/corpus/$$t fuzz/seeds/$$t; \
	done

# Windows: tqla.dll (with its import library tqla.lib), tqla.exe and the test
# programs, for 32-bit Windows (the hosts' ABI) and 64-bit Windows, cross-built
# with MinGW-w64 into $(WINDOWS_BUILD)/i686 and $(WINDOWS_BUILD)/x86_64.
# WINDOWS_TARGETS names the targets to build, all of them when empty.
WINDOWS_BUILD   ?= build-windows
WINDOWS_TARGETS ?=
windows:
	@sh scripts/install-deps.sh windows
	@for arch in i686 x86_64; do \
	  cmake -S . -B $(WINDOWS_BUILD)/$$arch -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-$$arch.cmake \
	    -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1; \
	  cmake --build $(WINDOWS_BUILD)/$$arch -j $(JOBS) $(if $(strip $(WINDOWS_TARGETS)),--target $(WINDOWS_TARGETS)) \
	    || exit 1; \
	done

# The DLL's export check and the Wine scenario, building only what they run.
windows-test: build
	$(MAKE) windows WINDOWS_TARGETS="tqla tqla_scenario_host tqla_platform_check"
	ctest --test-dir $(BUILD) --output-on-failure -L windows
