# Pixova: `make run` and `make test` are all a fresh Debian 12 machine needs.
BUILD ?= build
TYPE ?= Release
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench sanitize fuzz install clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@launcher=""; if command -v ccache >/dev/null; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi; \
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(TYPE) $$launcher $(CMAKE_FLAGS) >/dev/null

build: configure
	cmake --build $(BUILD) -j$(JOBS)

run: build
	./$(BUILD)/pixova

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

bench:
	@bash scripts/install-deps.sh bench
	$(MAKE) build
	@for b in $(BUILD)/bench/bench_*; do echo "== $$b"; "$$b" --benchmark_counters_tabular=true || exit 1; done

# The address + undefined sanitizer build passes the same tests.
sanitize:
	$(MAKE) test BUILD=build-asan TYPE=RelWithDebInfo CMAKE_FLAGS="-DPIXOVA_SANITIZE=ON -DPIXOVA_BENCH=OFF"

# Installs pixova, pixova-batch, the desktop entry and the icon under PREFIX.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Each fuzz target runs FUZZ_SECONDS, starting from the files under tests/data; what it
# finds new goes to build-fuzz/corpus/<target>, a crash to build-fuzz/crashes/.
FUZZ_SECONDS ?= 60
fuzz:
	@bash scripts/install-deps.sh fuzz
	@launcher=""; if command -v ccache >/dev/null; then launcher="-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"; fi; \
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DPIXOVA_FUZZ=ON -DPIXOVA_WERROR=OFF $$launcher >/dev/null
	cmake --build build-fuzz -j$(JOBS) --target fuzz_targets
	@mkdir -p build-fuzz/crashes
	@for t in build-fuzz/tests/fuzz_*; do \
	  name=$$(basename $$t); mkdir -p build-fuzz/corpus/$$name; echo "== $$name"; \
	  "$$t" -max_total_time=$(FUZZ_SECONDS) -rss_limit_mb=4096 -print_final_stats=1 \
	    -artifact_prefix=build-fuzz/crashes/$$name- build-fuzz/corpus/$$name tests/data \
	    2>build-fuzz/$$name.log || { tail -40 build-fuzz/$$name.log; exit 1; }; \
	  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build-fuzz/$$name.log; \
	done

clean:
	rm -rf $(BUILD) build-asan build-fuzz
