# The two commands that set everything up on a fresh Debian 12 machine:
#   make demo   installs what is missing, builds, and runs the demo job on built-in example data
#   make test   installs what is missing, builds with address+undefined sanitizers, runs every test;
#               then the core and command-line tests under ThreadSanitizer at 3 and 7 workers
#   make fuzz   runs every fuzz target for FUZZ_SECONDS seconds each (tests/fuzz/run.sh)
#   make screenshots  renders the desktop application's pages (after the demo) to docs/screenshots,
#                     at device pixel ratio 1 and 2 (name@2x.png)
#   make package  builds the release and a Debian package (build/release/altimo_*.deb) with CPack
.PHONY: all deps demo test bench release asan tsan clean fuzz fuzz-build screenshots package

DEMO_DIR ?= demo-out
FUZZ_SECONDS ?= 600

all: release

deps:
	@bash scripts/install-deps.sh

release: deps
	cmake --preset release >/dev/null
	cmake --build --preset release

asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan

# ThreadSanitizer (clang, no GUI). tests/tsan.supp silences the lock-order reports GDAL's own
# locks make; a race in Altimo's code fails the run.
tsan: deps
	cmake --preset tsan >/dev/null
	cmake --build --preset tsan

package: release
	rm -f build/release/altimo_*.deb
	cd build/release && cpack -G DEB
	@echo "package: $$(ls $(CURDIR)/build/release/altimo_*.deb)"

demo: release
	./build/release/cli/altimo-cli demo --dir $(DEMO_DIR)

screenshots: demo
	QT_QPA_PLATFORM=offscreen ./build/release/app/altimo-screenshots docs/screenshots $(DEMO_DIR)
	QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=2 ./build/release/app/altimo-screenshots docs/screenshots $(DEMO_DIR)

test: asan tsan
	ctest --preset asan -j2
	ctest --preset tsan-3 -j2
	ctest --preset tsan-7 -j2
	$(MAKE) fuzz-build
	bash tests/fuzz/run-short.sh

# The fuzz targets alone (clang, libFuzzer, address+undefined sanitizers; no GUI).
fuzz-build: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz --target altimo_fuzz_targets

fuzz: fuzz-build
	bash tests/fuzz/run.sh -s $(FUZZ_SECONDS)

bench: deps
	@bash scripts/install-deps.sh --bench
	cmake --preset release >/dev/null
	cmake --build --preset release
	bash bench/run.sh

clean:
	rm -rf build $(DEMO_DIR)
