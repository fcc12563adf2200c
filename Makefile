# make run   builds the Release configuration and starts tav (ARGS=... passes arguments)
# make test  builds the test configuration (sanitizers) and runs every test
JOBS ?= $(shell nproc)
ARGS ?=

.PHONY: run test setup build build-test bench clean

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

bench: build
	@for b in build/release/bench/*_bench; do echo "== $$b"; $$b; done

clean:
	rm -rf build
