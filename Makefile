# Thin wrapper over the CMake presets. Each target first installs the Debian
# packages it needs when they are missing (tools/ensure-packages).
#   make demo   build the four programs (Release) and run an example through them
#   make test   build a Debug tree with warnings as errors and run every test
#   make test-release  the same tests on the optimised Release tree (link-time optimisation)
#   make asan   the same tests built with address and undefined-behaviour sanitizers
#   make bench  run the benchmarks (the machine, the trace, the language server, grading a class, C sizes)
#   make compare  time the programs beside z80asm, pasmo and cp
#   make package    build a Debian package (build/release/mirvovm_*.deb)
#   make fuzz       build the libFuzzer targets (clang)
#   make fuzz-smoke run each fuzz target for FUZZ_SECONDS (60) seconds
#   make web        build the playground site into build/web (engine as WebAssembly)
#   make playground build it and serve it at http://127.0.0.1:$(PORT)/ (PORT=8080)
#   make web-test   the engine under Node and the page in chromium
#   make page-size  build the site and print what a first visit transfers (gzip)
#   make format     lay the C++ out as .clang-format says
#   make format-check  fail on a C++ file that make format would change

# The demo runs in a scratch folder of its own, emptied first.
DEMO_DIR := build/demo
PROGRAMS := build/programs/bin

.PHONY: format format-check all demo test test-release asan bench compare fuzz fuzz-smoke package clean build-release web playground web-test page-size

FUZZ_SECONDS ?= 60

all: demo

demo:
	tools/ensure-packages demo
	cmake --preset programs
	cmake --build --preset programs
	@rm -rf $(DEMO_DIR) && mkdir -p $(DEMO_DIR)
	cd $(DEMO_DIR) && ../../$(PROGRAMS)/MirvoVMAssembler ../../examples/sum.asm sum.bin
	cd $(DEMO_DIR) && ../../$(PROGRAMS)/MirvoVM sum.bin
	@echo "--- registers, flags, program counter and stack pointer ($(DEMO_DIR)/MirvoVMStateMap.txt) ---"
	@sed -n '9,27p' $(DEMO_DIR)/MirvoVMStateMap.txt
	@echo "--- the same program through mirvo, the learner's command line ---"
	cd $(DEMO_DIR) && ../../$(PROGRAMS)/mirvo run ../../examples/sum.asm
	@echo "--- the four programs are in $(PROGRAMS)/; to call them by name:"
	@echo "export PATH=\"$(CURDIR)/$(PROGRAMS):\$$PATH\""

test:
	tools/ensure-packages test
	cmake --preset debug
	cmake --build --preset debug
	ctest --preset debug
	$(MAKE) web-test

# emscripten's optimiser finds its Node modules (acorn) only through NODE_PATH.
WEB_ENV := NODE_PATH=/usr/share/nodejs
PORT ?= 8080

web:
	bash web/tools/setup.sh
	$(WEB_ENV) cmake --preset web
	$(WEB_ENV) cmake --build --preset web
	cd web && node build.mjs

playground: web
	node web/tools/serve.mjs build/web $(PORT)

# The page's tests compare with the native programs of the debug tree (built
# first: the site takes the examples that build generates); then the size of
# a first visit, which must stay within 220 KB.
web-test:
	cmake --preset debug
	cmake --build --preset debug
	$(MAKE) web
	cd web && MIRVO_BIN_DIR=$(CURDIR)/build/debug/bin node --test test/*.test.mjs
	node web/tools/page-size.mjs build/web --limit 220

# What a first visit transfers, each file gzip-compressed: at most 220 KB.
page-size: web
	node web/tools/page-size.mjs build/web --limit 220

test-release: build-release
	ctest --preset release

asan:
	tools/ensure-packages test
	cmake --preset asan
	cmake --build --preset asan
	ctest --preset asan

build-release:
	tools/ensure-packages release
	cmake --preset release
	cmake --build --preset release

bench: build-release
	cd build/release && ./bin/mirvo_vm_bench
	cd build/release && ./bin/mirvo_lsp_bench
	build/release/bin/mirvo_cc_sizes
	bench/trace.sh build/release/bin/mirvo
	bench/grade.sh build/release/bin/mirvo
	bench/hostile.sh build/release/bin/mirvo
	bench/diagnostics.sh build/release/bin/mirvo

package: build-release
	cd build/release && cpack

fuzz:
	tools/ensure-packages fuzz
	cmake --preset fuzz
	cmake --build --preset fuzz

fuzz-smoke: fuzz
	fuzz/run.sh $(FUZZ_SECONDS)

clean:
	rm -rf build

compare: build-release
	tools/ensure-packages compare
	bench/compare.sh

# The C++ the repository holds, laid out by clang-format (Debian's), and the
# page's JavaScript, laid out by prettier (from the page's lockfile).
# Tests whose tables keep a case a line, which clang-format 14 would break
# into a field a line, are laid out by hand.
FORMAT_BY_HAND = tests/MirvoTest.cpp tests/OutputFileTest.cpp tests/AssemblerProgramTest.cpp tests/VmProgramTest.cpp
FORMAT_FILES = $(filter-out $(FORMAT_BY_HAND),$(shell git ls-files '*.cpp' '*.h'))
SCRIPT_FILES = $(shell git ls-files 'web/*.js' 'web/*.mjs')
PRETTIER := web/node_modules/.bin/prettier --config web/.prettierrc.json

format:
	tools/ensure-packages format
	bash web/tools/setup.sh
	clang-format -i $(FORMAT_FILES)
	$(PRETTIER) --write $(SCRIPT_FILES)

format-check:
	tools/ensure-packages format
	bash web/tools/setup.sh
	clang-format --dry-run --Werror $(FORMAT_FILES)
	$(PRETTIER) --check $(SCRIPT_FILES)
