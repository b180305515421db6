# Wraps the CMake build. `make run` starts the program against the simulated
# instrument; `make test` runs the whole suite in a private network namespace.
BUILD      ?= build
JOBS       ?= $(shell nproc)
CMAKE_ARGS ?=
SIM_PORT   ?= 4196

.PHONY: all deps configure build run test bench tsan asan fuzz clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: CMakeLists.txt | deps
	cmake -S . -B $(BUILD) -G Ninja $(CMAKE_ARGS)

configure: $(BUILD)/build.ninja

build: deps configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	@scripts/run-with-sim $(BUILD) $(SIM_PORT)

test: build
	@scripts/run-tests $(BUILD)

bench: build
	@scripts/run-bench $(BUILD)

# Sanitizer builds in their own folders; the tests run the same way.
tsan: deps
	cmake -S . -B build-tsan -G Ninja -DQUELLON_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build build-tsan -j $(JOBS)
	@TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 history_size=7 suppressions=$(CURDIR)/scripts/tsan-qt.supp" scripts/run-tests build-tsan "$(TESTS)"

asan: deps
	cmake -S . -B build-asan -G Ninja -DQUELLON_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build build-asan -j $(JOBS)
	@scripts/run-tests build-asan "$(TESTS)"

# The link-data fuzz target for longer than the 20 s of the test suite.
FUZZ_SECONDS ?= 600
fuzz: build
	$(BUILD)/tests-bin/fuzz_linkdata -dict=tests/fuzz/linkdata.dict -max_total_time=$(FUZZ_SECONDS) \
	  $(BUILD)/fuzz-corpus tests/fuzz/seeds

clean:
	rm -rf $(BUILD) build-tsan build-asan
