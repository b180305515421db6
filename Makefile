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
# ThreadSanitizer runs with the least history it keeps, as a long wait in an
# event queue on a loaded machine amounts to: a record handed between threads
# without an order the checker sees is then reported on every run, not by
# chance. The earlier access of a report reads "[failed to restore the
# stack]"; to see it, run that test again with more history, e.g.
#   make tsan TESTS=tst_tcpport TSAN_HISTORY=7
TSAN_HISTORY ?= 0
tsan: deps
	cmake -S . -B build-tsan -G Ninja -DQUELLON_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	cmake --build build-tsan -j $(JOBS)
	@TSAN_OPTIONS="halt_on_error=0 second_deadlock_stack=1 history_size=$(TSAN_HISTORY) suppressions=$(CURDIR)/scripts/tsan-qt.supp" scripts/run-tests build-tsan "$(TESTS)"

# AddressSanitizer (with LeakSanitizer) and UndefinedBehaviorSanitizer over the
# whole suite. The same options hold for the build, whose own tools (the help
# typesetter) run instrumented, and for the tests. The leak suppressions name
# only allocations made inside Qt (scripts/lsan-qt.supp).
ASAN_ENV = ASAN_OPTIONS="detect_leaks=1:check_initialization_order=1:strict_init_order=1" \
	LSAN_OPTIONS="suppressions=$(CURDIR)/scripts/lsan-qt.supp:print_suppressions=0" \
	UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

asan: deps
	cmake -S . -B build-asan -G Ninja -DQUELLON_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug $(CMAKE_ARGS)
	$(ASAN_ENV) cmake --build build-asan -j $(JOBS)
	@$(ASAN_ENV) scripts/run-tests build-asan "$(TESTS)"

# The fuzz targets (tests/fuzz) for longer than the 20 s of the test suite,
# one after the other, each growing its corpus in $(BUILD)/fuzz-corpus[-name]
# from tests/fuzz/seeds[-name] with tests/fuzz/<name>.dict (replies.dict when
# a target has none); a crashing input lands in $(BUILD)/fuzz-artifacts.
#   make fuzz                                          every target, FUZZ_SECONDS each
#   make fuzz FUZZ_TARGET=fuzz_dispatcher FUZZ_SECONDS=3600
FUZZ_SECONDS ?= 600
FUZZ_TARGET  ?=
fuzz: build
	@mkdir -p $(BUILD)/fuzz-artifacts
	@targets="$(FUZZ_TARGET)"; \
	[ -n "$$targets" ] || targets=$$(cd $(BUILD)/tests-bin && ls fuzz_* 2>/dev/null); \
	for t in $$targets; do \
	  short=$${t#fuzz_}; \
	  if [ "$$t" = fuzz_linkdata ]; then corpus=$(BUILD)/fuzz-corpus; seeds=tests/fuzz/seeds; \
	  else corpus=$(BUILD)/fuzz-corpus-$$short; seeds=tests/fuzz/seeds-$$short; fi; \
	  dict=tests/fuzz/$$short.dict; [ -f $$dict ] || dict=tests/fuzz/replies.dict; \
	  [ -x $(BUILD)/tests-bin/$$t ] || { echo "no fuzz target $$t (clang or its libFuzzer runtime missing?)"; exit 1; }; \
	  mkdir -p $$corpus; \
	  echo "== $$t for $(FUZZ_SECONDS) s"; \
	  QT_QPA_PLATFORM=offscreen $(BUILD)/tests-bin/$$t -dict=$$dict -max_total_time=$(FUZZ_SECONDS) \
	    -rss_limit_mb=2048 -timeout=10 -artifact_prefix=$(BUILD)/fuzz-artifacts/ $$corpus $$seeds || exit 1; \
	done

clean:
	rm -rf $(BUILD) build-tsan build-asan
