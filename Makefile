# Everything a new checkout needs: `make run` starts the editor on the demo ROM,
# `make test` builds and runs every test, sanitizer build and short fuzz run included.
JOBS ?= $(shell nproc)
BUILD := build
SAN_BUILD := build-asan
FUZZ_SECONDS ?= 600

.PHONY: all deps configure build build-san run test test-plain test-asan fuzz bench deb clean

all: build

deps:
	@bash scripts/install-deps.sh

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

configure: $(BUILD)/CMakeCache.txt

build: deps configure
	cmake --build $(BUILD) -j$(JOBS)

# The whole project under ASan and UBSan, built lean (-O1) so CI stays well inside its time.
$(SAN_BUILD)/CMakeCache.txt: | deps
	CC=clang CXX=clang++ cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug \
	    -DCMAKE_C_FLAGS_DEBUG="-g -O1" -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
	    -DATLASFORGE_SANITIZE=ON -DATLASFORGE_FUZZ=ON -DATLASFORGE_BENCH=OFF

build-san: deps $(SAN_BUILD)/CMakeCache.txt
	cmake --build $(SAN_BUILD) -j$(JOBS)

run: build
	bash scripts/run-demo.sh

test-plain: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

# The sanitizer run comes last so the final line is its summary; it also runs the
# short fuzz session.
test-asan: build-san
	ctest --test-dir $(SAN_BUILD) --output-on-failure -j$(JOBS)

test: test-plain test-asan

# A longer fuzz run of each target (FUZZ_SECONDS each, default 10 minutes; FUZZ_TARGETS to
# choose some). Seeds, new inputs and any crash's input go under fuzz/corpus-run/.
FUZZ_TARGETS ?= worldmap bps csv tmx ips enemy-csv enemy-json palette
fuzz: build-san
	$(SAN_BUILD)/atlasforge-fuzz-corpus fuzz/corpus-run/seeds
	@failed=""; for t in $(FUZZ_TARGETS); do \
	    bash fuzz/run.sh $$t $(FUZZ_SECONDS) $(SAN_BUILD) fuzz/corpus-run || failed="$$failed $$t"; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz targets that failed:$$failed" >&2; exit 1; fi

# The Debian package, build/atlasforge_<version>_amd64.deb: `apt install ./build/atlasforge_*.deb`.
deb: build
	cd $(BUILD) && cpack -G DEB

# Speed of the core beside a 64 KiB memcpy, with the ratios at the end.
bench: build
	$(BUILD)/atlasforge-bench
	$(BUILD)/atlasforge-bench-gui

clean:
	rm -rf $(BUILD) $(SAN_BUILD)
