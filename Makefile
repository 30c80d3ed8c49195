# The two everyday commands: `make run` and `make test`.
BUILD      ?= build
SANITIZE   ?= build-sanitize
JOBS       ?= $(shell nproc)

.PHONY: all build run test bench sanitize clean

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

clean:
	rm -rf $(BUILD) $(SANITIZE)
