# Thin wrapper over CMake; the README names `make run` and `make test`.
BUILD ?= build
TYPE ?= RelWithDebInfo
SANITIZE ?=
WERROR ?= OFF
JOBS ?= $(shell nproc)
CAMERA ?= Test camera=test:ball

CMAKE_FLAGS = -G Ninja -DCMAKE_BUILD_TYPE=$(TYPE) -DKV_SANITIZE=$(SANITIZE) -DKV_WERROR=$(WERROR)

.PHONY: deps configure build program run test bench format clean

deps:
	@scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) $(CMAKE_FLAGS) > /dev/null

# Everything: the program, its tests and the benchmarks.
build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The program alone: `make run` does not wait for the tests and benchmarks.
program: configure
	@cmake --build $(BUILD) -j $(JOBS) --target kestrelvision

# Runs the program; on a machine without a camera it watches the built-in test camera.
run: program
	@if ls /dev/video* > /dev/null 2>&1; then \
		$(BUILD)/app/kestrelvision; \
	else \
		$(BUILD)/app/kestrelvision --camera "$(CAMERA)"; \
	fi

test: build
	@cd $(BUILD) && ctest -j $(JOBS) --output-on-failure --timeout 300

# Release build of its own, private HOME and plugin registry, one summary table.
bench: deps
	@scripts/run-bench.sh $(BUILD)-bench

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	@rm -rf $(BUILD)
