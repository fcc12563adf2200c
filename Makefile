# make run   builds the Release configuration and starts tav (ARGS=... passes arguments;
#            PGO=0 builds it without profile-guided optimisation)
# make test  builds the test configuration (sanitizers) and runs every test
JOBS ?= $(shell nproc)
ARGS ?=
PGO ?= 1

FUZZ_COUNT ?= 100000
FUZZ_SEED ?= 1

.PHONY: run test setup build build-test bench fuzz clean

setup:
	@bash tools/setup.sh

# Configures a build folder only when it is new or asked for other settings: a configure records
# the build's moment, which rebuilds the program; once configured, CMake configures again when
# its own sources or the checked-out commit change.
configure = @settings='$(2)'; \
	if [ ! -f $(1)/build.ninja ] || [ "$$(cat $(1)/make-settings 2>/dev/null)" != "$$settings" ]; then \
	  cmake -S . -B $(1) -G Ninja $$settings >/dev/null && echo "$$settings" >$(1)/make-settings; \
	fi

# Profile-guided: an instrumented tav in build/release-training runs the training programs (again
# whenever it was rebuilt), then build/release is compiled with their counts. PGO=0 builds
# build/release without.
build: setup
ifeq ($(PGO),0)
	$(call configure,build/release,-DCMAKE_BUILD_TYPE=Release -DTAV_PROFILE=)
else
	$(call configure,build/release-training,-DCMAKE_BUILD_TYPE=Release -DTAV_PROFILE=generate)
	@cmake --build build/release-training -j $(JOBS) --target profile
	$(call configure,build/release,-DCMAKE_BUILD_TYPE=Release -DTAV_PROFILE=use \
	  -DTAV_PROFILE_DATA=$(CURDIR)/build/release-training/profile)
endif
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
