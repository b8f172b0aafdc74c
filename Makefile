BUILD ?= build
JOBS ?= $(shell nproc)
BUILD_TYPE ?= RelWithDebInfo

.PHONY: deps configure build run test bench clean

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
	cmake -S . -B $(BUILD)-bench -DCMAKE_BUILD_TYPE=Release -DTARNWICK_BENCH=ON
	cmake --build $(BUILD)-bench -j $(JOBS) --target benchmarks
	cmake --build $(BUILD)-bench --target run-benchmarks

clean:
	rm -rf $(BUILD) $(BUILD)-bench
