# The commands a person runs. `make test` is what CI runs.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
PACKAGES := build-essential cmake ninja-build clang libclang-rt-14-dev googletest libgtest-dev \
            libgmock-dev libbenchmark-dev libboost-dev libsimdjson-dev libyaml-cpp-dev clang-format \
            valgrind jq python3 dpkg-dev file libssl-dev openssl lintian pkgconf libmosquitto-dev \
            mosquitto mosquitto-clients libsystemd-dev prometheus-cpp-dev prometheus strace
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: setup build format-check test test-debug test-asan test-tsan fuzz fuzz-smoke memcheck mutants demo profile bench package format clean

# Installs only what is missing, so a second run costs one dpkg query.
setup:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "installing:" $$missing; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: setup
	cmake --preset debug
	cmake --build --preset debug -j $(JOBS)

test-debug: build
	ctest --preset debug -j $(JOBS)

test-asan: setup
	cmake --preset asan
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

# Every suite that starts threads carries the ctest label "threads" (tessaro_test(... THREADS ...)).
test-tsan: setup
	cmake --preset tsan
	cmake --build --preset tsan -j $(JOBS) --target threaded_tests
	ctest --preset tsan -L threads

# Every fuzz target on its committed corpus; new inputs go to build/fuzz, never into the repository.
FUZZ_SECONDS ?= 600
FUZZ_TARGETS := codec_batch timestamp replay_input config
fuzz: setup
	cmake --preset fuzz
	cmake --build --preset fuzz -j $(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	    mkdir -p build/fuzz/corpus/$$t && \
	    echo "fuzzing $$t for $(FUZZ_SECONDS)s" && \
	    ./build/fuzz/bin/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        build/fuzz/corpus/$$t fuzz/corpus/$$t 2>build/fuzz/$$t.log || { tail -50 build/fuzz/$$t.log; exit 1; }; \
	    grep -E '^stat::(number_of_executed_units|new_units_added)|cov:' build/fuzz/$$t.log | tail -3; \
	done

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=60

# The unit and end-to-end suites under valgrind's memcheck (death tests fork and are left to the sanitizers).
memcheck: build
	@set -e; for t in build/debug/bin/*_tests; do \
	    echo "memcheck $$t"; \
	    OBCLIENT_CHECKED=1 valgrind --quiet --error-exitcode=1 --leak-check=full \
	        --errors-for-leak-kinds=definite,indirect,possible --show-leak-kinds=definite,indirect,possible \
	        $$t --gtest_filter=-*Death* --gtest_brief=1; \
	done

# Fails on any tracked source that clang-format would change, and says how to fix it.
format-check: setup
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror || \
	    { echo "Sources differ from .clang-format: run 'make format' and commit the result."; exit 1; }

test: format-check test-debug test-asan test-tsan fuzz-smoke memcheck

# A seeded sample of one-change faults against the suites; MUTANTS=N and SEED=S choose it. Not part of `make test`.
mutants: setup
	MUTANTS="$(MUTANTS)" SEED="$(SEED)" JOBS="$(JOBS)" tools/mutants/run

demo: setup
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target tessaro-replay tessaro-consume tessaro-service-standin \
	    TessaroNotifications2Codec
	./build/release/bin/tessaro-replay --config examples/config.yaml examples/notifications.jsonl
	./build/release/bin/tessaro-replay --config examples/config.yaml --format frames examples/notifications.frames
	examples/live-session build/release

# The profile the bench and package presets are optimised with, made afresh before each of
# their builds: an instrumented replay tool converting a generated stream of notifications,
# in one worker and in several. The stream has another seed than the benchmark's file.
PROFILE_DATA := build/profile-data
profile: setup
	cmake --preset profile
	cmake --build --preset profile -j $(JOBS) --target tessaro-replay TessaroNotifications2Codec
	python3 bench/generate_notifications.py --count 50000 --seed 7 --output build/profile/training.jsonl
	rm -rf $(PROFILE_DATA)
	./build/profile/bin/tessaro-replay --quiet --jobs 1 build/profile/training.jsonl --output /dev/null 2>build/profile/training.log
	./build/profile/bin/tessaro-replay --quiet build/profile/training.jsonl --output /dev/null 2>>build/profile/training.log

bench: profile
	cmake --preset bench
	cmake --build --preset bench -j $(JOBS)
	bench/run --build-dir build/bench

# The Debian packages (runtime and -dev), from a release build installed below /usr:
# build/package/*.deb, checked by lintian, which fails on any error or warning not
# overridden. Archive times come from the last commit, so a rebuild gives the same files.
package: profile
	cmake --preset package
	rm -f build/package/*.deb
	SOURCE_DATE_EPOCH=$$(git log -1 --format=%ct) cmake --build --preset package -j $(JOBS) --target package
	lintian --allow-root --fail-on error,warning build/package/*.deb

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
