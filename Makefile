# The two everyday commands: `make run` and `make test`.
BUILD      ?= build
SANITIZE   ?= build-sanitize
FUZZ       ?= build-fuzz
FUZZ_SECONDS ?= 15
JOBS       ?= $(shell nproc)

.PHONY: all build run test bench sanitize fuzz clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Starts the program in examples/, where the bundled spectrum lies.
run: build
	cd examples && ../$(BUILD)/kkfprime

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

bench: $(BUILD)/CMakeCache.txt
	cmake -S . -B $(BUILD) -DKKF_BENCHMARKS=ON
	cmake --build $(BUILD) -j $(JOBS)
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

sanitize:
	cmake -S . -B $(SANITIZE) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKKF_SANITIZE=ON
	cmake --build $(SANITIZE) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir $(SANITIZE) --output-on-failure -j $(JOBS)

# Every libFuzzer harness in fuzz/, built with clang 14, for FUZZ_SECONDS each.
fuzz:
	cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER=clang++-14 -DKKF_FUZZ=ON -DBUILD_TESTING=OFF
	cmake --build $(FUZZ) -j $(JOBS)
	fuzz/run $(FUZZ) $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(SANITIZE) $(FUZZ)
