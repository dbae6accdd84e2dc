# The whole set-up on a fresh Debian 12 machine: `make run` or `make test`.
.PHONY: deps build test test-asan test-tsan fuzz-replay run package bench mutation-sample soak clean

JOBS ?= $(shell nproc)

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake --preset default >/dev/null
	@cmake --build build -j $(JOBS)

test: build
	@bash scripts/run-tests.sh build

# The same suite under AddressSanitizer + UndefinedBehaviorSanitizer.
test-asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@bash scripts/run-tests.sh build-asan

# Every test program but the window's under ThreadSanitizer (the preset builds no GUI).
test-tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@bash scripts/run-tests.sh build-tsan

# Every fuzz target replays its seed corpus once (no fuzzing).
fuzz-replay: deps
	@bash scripts/replay-fuzz-corpus.sh

# The Debian package: build/kestrine_<version>_amd64.deb.
package: build
	@cd build && cpack -G DEB >/dev/null && ls kestrine_*.deb

run: build
	@bash scripts/stage-run-dir.sh build build/run
	@cd build/run && ./kestrine

# A short sample of single-point mutations: how many the tests catch (not part of CI).
mutation-sample: build
	@python3 tools/mutation_sample.py --seed $${SEED:-1} --count $${COUNT:-20}

# Every benchmark; rebuilds the figures of docs/PERFORMANCE.md from the JSON it writes.
bench: build
	@bash scripts/bench-report.sh build

# The soak run on a live JACK stream (10 minutes; MINUTES=n to change). Not part of CI.
soak: build
	@bash scripts/soak.sh $(or $(MINUTES),10) build

clean:
	rm -rf build build-asan build-tsan build-fuzz
