# Pixova: `make run` and `make test` are all a fresh Debian 12 machine needs.
BUILD ?= build
TYPE ?= Release
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build run test bench sanitize install clean

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
	$(MAKE) test BUILD=build-asan TYPE=RelWithDebInfo CMAKE_FLAGS=-DPIXOVA_SANITIZE=ON

# Installs pixova, pixova-batch, the desktop entry and the icon under PREFIX.
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) build-asan
