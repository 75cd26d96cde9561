# The two commands that set everything up on a fresh Debian 12 machine:
#   make demo   installs what is missing, builds, and runs the demo job on built-in example data
#   make test   installs what is missing, builds with address+undefined sanitizers, runs every test
.PHONY: all deps demo test bench release asan clean

DEMO_DIR ?= demo-out

all: release

deps:
	@bash scripts/install-deps.sh

release: deps
	cmake --preset release >/dev/null
	cmake --build --preset release

asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan

demo: release
	./build/release/cli/altimo-cli demo --dir $(DEMO_DIR)

test: asan
	ctest --preset asan -j2

bench: deps
	@bash scripts/install-deps.sh --bench
	cmake --preset release >/dev/null
	cmake --build --preset release
	bash bench/run.sh

clean:
	rm -rf build $(DEMO_DIR)
