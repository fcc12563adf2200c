# make run   builds the Release configuration and starts tav (ARGS=... passes arguments)
# make test  builds the test configuration (sanitizers) and runs every test
JOBS ?= $(shell nproc)
ARGS ?=

FUZZ_COUNT ?= 100000
FUZZ_SEED ?= 1

.PHONY: run test setup build build-test bench fuzz clean

setup:
	@bash tools/setup.sh

build: setup
	@cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
	@cmake --build build/release -j $(JOBS)

run: build
	./build/release/tav $(ARGS)

build-test: setup
	@cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAV_SANITIZE=ON >/dev/null
	@cmake --build build/test -j $(JOBS)

test: build-test
	cd build/test && ctest --output-on-failure -j $(JOBS)

# Fuzzes the loader, the decompressors, the TAVBIN reader and the image codecs with FUZZ_COUNT inputs each under
# the sanitizers; the input that ended a failing run is left in
# build/test/fuzz-current-<target>.bin (loader, decompress, tavbin or image).
fuzz: build-test
	cd build/test && ./tools/tav_fuzz loader $(FUZZ_COUNT) $(FUZZ_SEED) ../../tests/tav
	cd build/test && ./tools/tav_fuzz decompress $(FUZZ_COUNT) $(FUZZ_SEED)
	cd build/test && ./tools/tav_fuzz tavbin $(FUZZ_COUNT) $(FUZZ_SEED)
	cd build/test && ./tools/tav_fuzz image $(FUZZ_COUNT) $(FUZZ_SEED)

bench: build
	@for b in build/release/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf build
