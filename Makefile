BUILD ?= build
JOBS ?= $(shell nproc)
BUILD_TYPE ?= RelWithDebInfo

.PHONY: deps configure build run test bench fuzz clean

deps:
	@scripts/install-deps

configure: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/shell/tarnwick

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: deps
	@scripts/install-bench-deps
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTARNWICK_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target benchmarks
	cmake --build $(BUILD)-bench --target run-benchmarks

# Seconds each fuzz target runs; `make fuzz FUZZ_SECONDS=3600` for a longer hunt.
FUZZ_SECONDS ?= 60

fuzz:
	@scripts/install-deps --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
		-DTARNWICK_FUZZ=ON -DTARNWICK_TESTS=OFF
	cmake --build $(BUILD)-fuzz -j $(JOBS) --target fuzzers
	scripts/run-fuzzers $(BUILD)-fuzz/fuzz $(FUZZ_SECONDS)

clean:
	rm -rf $(BUILD) $(BUILD)-bench $(BUILD)-fuzz
