# Quick start: `make demo` and `make test` each do the whole set-up.
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX     ?= /usr/local
CMAKE_ARGS ?=

.PHONY: all deps build test demo asan-test tsan-test bench install clean fuzz

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

install: build
	cmake --install $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) demo-out

# The packet engine's libFuzzer targets under AddressSanitizer (clang), each
# run for FUZZ_SECONDS over its seed corpus of the test files.
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
fuzz:
	@sh scripts/install-deps.sh fuzz
	CC=clang CXX=clang++ cmake -S fuzz -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTQLA_SANITIZE=address -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target tqla_fuzz_protocol_file tqla_fuzz_packet_list
	mkdir -p $(FUZZ_BUILD)/corpus/protocol_file $(FUZZ_BUILD)/corpus/packet_list
	$(FUZZ_BUILD)/tqla_fuzz_protocol_file -max_total_time=$(FUZZ_SECONDS) -timeout=10 -close_fd_mask=1 \
	  $(FUZZ_BUILD)/corpus/protocol_file tests/packets/protocols
	$(FUZZ_BUILD)/tqla_fuzz_packet_list -max_total_time=$(FUZZ_SECONDS) -timeout=10 -close_fd_mask=1 \
	  $(FUZZ_BUILD)/corpus/packet_list tests/packets/records
