# Entry points. Each target installs the Debian packages it needs when they are missing,
# configures, builds and runs.
JOBS    ?= 2
BUILD   ?= build
ASAN    ?= build-asan
FUZZ    ?= build-fuzz
BENCHB  ?= build-bench
DEPS    := cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libpng-dev libegl-dev libopengl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libassimp-dev libjpeg-dev assimp-testmodels libglfw3-dev xvfb ccache
FUZZDEPS := clang libclang-rt-14-dev

FUZZ_SECONDS ?= 600
FUZZ_CI_SECONDS ?= 60

.PHONY: demo test test-asan fuzz fuzz-ci fuzz-build bench bench-misses deps fuzz-deps clean

deps:
	@missing=""; for p in $(DEPS); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	  echo "installing:$$missing"; \
	  SUDO=$$( [ "$$(id -u)" = 0 ] || echo sudo ); \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing; \
	fi

fuzz-deps:
	@$(MAKE) --no-print-directory deps DEPS="$(DEPS) $(FUZZDEPS)"

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

# The demonstration scene drawn through OpenGL (headless; Mesa's software rasteriser when
# the machine has no GPU) into demo.png.
demo: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS) --target oxsg
	./$(BUILD)/tools/oxsg render --demo -o demo.png
	@echo "wrote demo.png"

test: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# Mesa's software rasteriser draws on the calling thread (LP_NUM_THREADS=0, the same pixels):
# LeakSanitizer's final stop of every thread has crashed on its drawing threads.
test-asan: deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DOXSG_SANITIZE=ON
	cmake --build $(ASAN) -j $(JOBS)
	cd $(ASAN) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp LP_NUM_THREADS=0 ctest --output-on-failure -j $(JOBS)

# The scene-file reader under libFuzzer, with the libraries built for coverage and the
# sanitizers. New inputs collect in $(FUZZ)/corpus; crashes and leaks land in
# $(FUZZ)/artifacts and fail the target.
FUZZ_RUN = cd $(FUZZ) && mkdir -p corpus artifacts && \
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	./fuzz/oxb_fuzz -artifact_prefix=artifacts/ -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
	  -dict=$(CURDIR)/fuzz/oxb.dict corpus seeds

# The configuration texts' target, seeded with the shader descriptions shipped in shaders/.
QSD_RUN = cd $(FUZZ) && mkdir -p qsd-corpus artifacts && \
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	./fuzz/qsd_fuzz -artifact_prefix=artifacts/ -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
	  qsd-corpus $(CURDIR)/shaders

$(FUZZ)/build.ninja: | fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOXSG_SANITIZE=ON \
	  -DOXSG_BUILD_FUZZ=ON -DOXSG_BUILD_TESTS=OFF -DOXSG_BUILD_TOOLS=OFF -DOXSG_WITH_GL=OFF -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link

fuzz-build: fuzz-deps $(FUZZ)/build.ninja
	cmake --build $(FUZZ) -j $(JOBS) --target oxb_fuzz oxb_seeds qsd_fuzz
	mkdir -p $(FUZZ)/seeds && ./$(FUZZ)/fuzz/oxb_seeds $(FUZZ)/seeds

fuzz: fuzz-build
	$(FUZZ_RUN) -max_total_time=$(FUZZ_SECONDS)
	$(QSD_RUN) -max_total_time=$(FUZZ_SECONDS)

fuzz-ci: fuzz-build
	$(FUZZ_RUN) -max_total_time=$(FUZZ_CI_SECONDS)
	$(QSD_RUN) -max_total_time=$(FUZZ_CI_SECONDS)

# Every program in bench/, each benchmark repeated BENCH_REPS times; the medians go to
# $(BENCHB)/summary.md (see docs/PERFORMANCE.md). OpenSceneGraph, for the side-by-side
# comparison, is installed when missing if it can be (BENCH_PEER=0 skips that); without it
# the comparison is not built and the rest runs as usual.
BENCH_REPS ?= 5
BENCH_PEER ?= 1
bench: deps
	@$(MAKE) --no-print-directory deps DEPS="python3"
	@if [ "$(BENCH_PEER)" = 1 ]; then $(MAKE) --no-print-directory deps DEPS="libopenscenegraph-dev" 2>/dev/null || \
	  echo "OpenSceneGraph could not be installed: the comparison is not built"; fi
	cmake -S . -B $(BENCHB) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOXSG_BUILD_BENCH=ON -DOXSG_BUILD_TESTS=OFF -DOXSG_BUILD_TOOLS=OFF
	cmake --build $(BENCHB) -j $(JOBS)
	@rm -rf $(BENCHB)/results && mkdir -p $(BENCHB)/results
	@set -e; for b in $(BENCHB)/bench/*_bench; do \
	  [ -x "$$b" ] && [ -f "$$b" ] || continue; n=$$(basename "$$b"); echo "== $$n"; \
	  "$$b" --benchmark_repetitions=$(BENCH_REPS) --benchmark_report_aggregates_only=true \
	    --benchmark_out=$(BENCHB)/results/$$n.json --benchmark_out_format=json; \
	done
	python3 bench/summarize.py $(BENCHB)/results > $(BENCHB)/summary.md
	@echo; cat $(BENCHB)/summary.md

# Instructions and last-level cache misses per leaf of one steady frame of each side of the
# OpenSceneGraph comparison, under callgrind's cache simulation (docs/PERFORMANCE.md, "Cache
# misses per leaf"): the hardware counters are not available everywhere (not in the
# development VM). The simulated caches are given, never detected: 32 KB 8-way L1
# instruction and data caches and a 16 MB 16-way last level, 64-byte lines.
MISSES_LEAVES  ?= 10000 100000
MISSES_LAYOUTS ?= 0 2
MISSES_CACHE   ?= --I1=32768,8,64 --D1=32768,8,64 --LL=16777216,16,64
bench-misses: deps
	@$(MAKE) --no-print-directory deps DEPS="python3 valgrind libopenscenegraph-dev"
	cmake -S . -B $(BENCHB) -G Ninja -DCMAKE_BUILD_TYPE=Release -DOXSG_BUILD_BENCH=ON -DOXSG_BUILD_TESTS=OFF -DOXSG_BUILD_TOOLS=OFF
	cmake --build $(BENCHB) -j $(JOBS) --target oxOsgPeer_misses
	@rm -rf $(BENCHB)/misses && mkdir -p $(BENCHB)/misses
	@echo "cache: $(MISSES_CACHE)"; \
	 echo "| leaves | OSG layout | side | instructions / leaf | LL misses / leaf | DLmr | DLmw | ILmr |"; \
	 echo "| ---: | ---: | --- | ---: | ---: | ---: | ---: | ---: |"; \
	 set -e; for n in $(MISSES_LEAVES); do for l in $(MISSES_LAYOUTS); do \
	   d=$(BENCHB)/misses/$$n-$$l; mkdir -p $$d; \
	   valgrind --tool=callgrind --cache-sim=yes $(MISSES_CACHE) --instr-atstart=no --collect-atstart=no \
	     --callgrind-out-file=$$d/callgrind.out ./$(BENCHB)/bench/oxOsgPeer_misses $$n $$l >$$d/log 2>&1 \
	     || { cat $$d/log; exit 1; }; \
	   python3 bench/peer/callgrindMisses.py $$n $$l $$d/callgrind.out*; \
	 done; done

clean:
	rm -rf $(BUILD) $(ASAN) $(FUZZ) $(BENCHB)
