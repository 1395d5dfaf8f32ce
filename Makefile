# Thin wrapper over the CMake presets.
#   make demo   build a Release tree and run an example through the toolchain
#   make test   build a Debug tree with warnings as errors and run every test
#   make asan   the same tests built with address and undefined-behaviour sanitizers
#   make bench  run the benchmarks
#   make compare  time the programs beside z80asm, pasmo and cp
#   make package    build a Debian package (build/release/mirvovm_*.deb)
#   make fuzz       build the libFuzzer targets (clang)
#   make fuzz-smoke run each fuzz target for FUZZ_SECONDS (60) seconds

DEMO_DIR := build/demo

.PHONY: all demo test asan bench compare fuzz fuzz-smoke package clean

FUZZ_SECONDS ?= 60

all: demo

.PHONY: build-release
build-release:
	cmake --preset release
	cmake --build --preset release

demo: build-release
	@mkdir -p $(DEMO_DIR)
	cd $(DEMO_DIR) && ../release/bin/MirvoVMAssembler ../../examples/sum.asm sum.bin
	cd $(DEMO_DIR) && ../release/bin/MirvoVM sum.bin
	@echo "--- registers, flags, program counter and stack pointer ($(DEMO_DIR)/MirvoVMStateMap.txt) ---"
	@sed -n '9,27p' $(DEMO_DIR)/MirvoVMStateMap.txt

test:
	cmake --preset debug
	cmake --build --preset debug
	ctest --preset debug

asan:
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

bench: build-release
	cd build/release && ./bin/mirvo_vm_bench

package: build-release
	cd build/release && cpack

fuzz:
	cmake --preset fuzz
	cmake --build --preset fuzz

fuzz-smoke: fuzz
	fuzz/run.sh $(FUZZ_SECONDS)

clean:
	rm -rf build

compare: build-release
	bench/compare.sh
