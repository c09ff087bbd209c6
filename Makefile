# Kivo: the two commands of the README, plus build, install, bench and fuzz.
# Each target installs missing packages first (scripts/install-deps.sh).
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test build install deps bench fuzz clean

deps:
	@./scripts/install-deps.sh

build: deps
	cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
	cmake --build build -j $(JOBS)

# Installs under $(DESTDIR)$(PREFIX): bin/kivo, the desktop entry, the .msk
# file type, the icon and the manual page.
install: build
	DESTDIR="$(DESTDIR)" cmake --install build --prefix "$(PREFIX)"

run: build
	./build/kivo

test: build
	cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DKIVO_SANITIZE=ON -DKIVO_TESTS=ON
	cmake --build build-test -j $(JOBS)
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DKIVO_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz -j $(JOBS) --target fuzz_reader fuzz_gdsii
	cd build-test && ctest --output-on-failure -j 2 --timeout 600

bench: deps
	cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DKIVO_BENCH=ON
	cmake --build build-bench -j $(JOBS)
	./bench/run-benchmarks.sh build-bench

fuzz: deps
	cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=Debug -DKIVO_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++
	cmake --build build-fuzz -j $(JOBS) --target fuzz_reader fuzz_gdsii
	./tests/fuzz/run-fuzz.sh build-fuzz $(FUZZ_SECONDS)
	./tests/fuzz/run-fuzz.sh build-fuzz $(FUZZ_SECONDS) fuzz_gdsii

clean:
	rm -rf build build-test build-bench build-fuzz
