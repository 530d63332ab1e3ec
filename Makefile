# The commands a person runs. `make test` is what CI runs.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
PACKAGES := build-essential cmake ninja-build clang libclang-rt-14-dev googletest libgtest-dev \
            libgmock-dev libbenchmark-dev libboost-dev libsimdjson-dev libyaml-cpp-dev clang-format \
            valgrind jq python3
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: setup build test test-debug test-asan demo bench format clean

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

test: test-debug test-asan

demo: setup
	cmake --preset release
	cmake --build --preset release -j $(JOBS) --target tessaro-replay TessaroNotifications2Codec
	./build/release/bin/tessaro-replay --config examples/config.yaml examples/notifications.jsonl

bench: setup
	cmake --preset release
	cmake --build --preset release -j $(JOBS)
	bench/run

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
