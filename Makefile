# The front door: `make demo` renders the viewer's scene through the driver
# and writes pictures; `make test` builds and runs every test, then again
# under AddressSanitizer and UndefinedBehaviorSanitizer, then in the 32-bit
# i386 build under qemu-i386, then builds the Windows DLLs (i686 and x86_64)
# and runs the Windows checks under Wine.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
I386_BUILD ?= build-i386
DEMO_OUT ?= out/demo
CMAKE_FLAGS ?=

export LIBGL_ALWAYS_SOFTWARE = 1
export GALLIUM_DRIVER = llvmpipe

.PHONY: all deps build demo docs test test-plain test-sanitize test-i386 test-windows test-fuzz fuzz bench bench-i386 run-benches clean

all: build

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD)

demo: build
	$(BUILD)/viewer/zqviewer --out $(DEMO_OUT)

# The host's reference from the public headers: $(BUILD)/docs/html/index.html
# (the docs_reference test runs the same with every warning an error).
docs: deps
	mkdir -p $(BUILD)/docs
	ZQGD_SOURCE=$(CURDIR) ZQGD_DOCS_OUT=$(abspath $(BUILD))/docs doxygen docs/Doxyfile

test: test-plain test-sanitize test-i386 test-windows test-fuzz

test-plain: build
	cd $(BUILD) && ctest -j2 --output-on-failure

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZQGD_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure

# The 32-bit Linux build, the hosts' ABI: built with -m32 against Debian's
# i386 libraries, every suite run under qemu-i386 (user-mode emulation), and
# the scene's pictures compared with those of the x86-64 build.
test-i386: build
	cmake -S . -B $(I386_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/toolchain-linux-i386.cmake) \
	    -DZQGD_LINUX_BUILD=$(abspath $(BUILD)) $(CMAKE_FLAGS)
	cmake --build $(I386_BUILD)
	cd $(I386_BUILD) && ctest -j2 --output-on-failure

# The Windows DLLs, cross-built with mingw-w64: the i686 one (for 32-bit
# hosts) is built and inspected, the x86_64 one also runs under wine64, where
# the scene's pictures are compared with those of the Linux build.
WINDOWS_ARCHES = i686 x86_64

test-windows: build
	for arch in $(WINDOWS_ARCHES); do \
	    cmake -S . -B build-win-$$arch -G Ninja -DCMAKE_BUILD_TYPE=Release \
	        -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-$$arch.cmake \
	        -DZQGD_LINUX_BUILD=$(abspath $(BUILD)) && \
	    cmake --build build-win-$$arch && \
	    (cd build-win-$$arch && ctest -j2 --output-on-failure) || exit 1; \
	done

# The BDF parser under libFuzzer (clang, AddressSanitizer, UBSan):
# `make fuzz` runs it for FUZZ_SECONDS (10 minutes by default);
# `make test` runs a short pass.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 600
FUZZ_SOURCES = fuzz/bdf_fuzz.cpp overlay/bdf_font.cpp host/memory.cpp host/files.cpp host/own_location_posix.cpp

$(FUZZ_BUILD)/bdf_fuzz: $(FUZZ_SOURCES) overlay/bdf_font.h include/zqgd/host.h
	mkdir -p $(FUZZ_BUILD)
	clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
	    -Iinclude -I. -DZQGD_BUILD_FONT_DIR='""' -DZQGD_FONTS_FROM_LIBRARY='""' $(FUZZ_SOURCES) -o $@

$(FUZZ_BUILD)/corpus: fuzz/make-corpus.sh
	fuzz/make-corpus.sh $@

fuzz: deps $(FUZZ_BUILD)/bdf_fuzz $(FUZZ_BUILD)/corpus
	$(FUZZ_BUILD)/bdf_fuzz -max_total_time=$(FUZZ_SECONDS) -max_len=65536 -artifact_prefix=$(FUZZ_BUILD)/ \
	    $(FUZZ_BUILD)/corpus

# The short pass leaves the seed corpus as it is: what it finds goes to a
# fresh folder of its own, removed afterwards (a crashing input stays in
# $(FUZZ_BUILD) under its hash).
test-fuzz: deps $(FUZZ_BUILD)/bdf_fuzz $(FUZZ_BUILD)/corpus
	found=$$(mktemp -d "$${TMPDIR:-/tmp}/zqgd-fuzz-XXXXXX") && \
	$(FUZZ_BUILD)/bdf_fuzz -max_total_time=30 -max_len=65536 -artifact_prefix=$(FUZZ_BUILD)/ \
	    "$$found" $(FUZZ_BUILD)/corpus; status=$$?; rm -rf "$$found"; exit $$status

# The renderers against a raw-GL loop, texture and backdrop definition
# against plain code doing the same work, and the BDF loader against
# FreeType's; ratios are printed at the end of each. `make bench-i386` runs
# the same in the 32-bit build: directly where the kernel runs 32-bit
# programs (through the sysroot's own loader, with Mesa's drivers and
# GLVND's vendor files taken from the sysroot too), else under qemu-i386
# (whose timings are the emulator's).
BENCH_FLAGS = --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true
BENCH_RUN =
BENCH_BUILD ?= $(BUILD)

bench: build
	$(MAKE) --no-print-directory run-benches BENCH_BUILD=$(BUILD)

bench-i386: build
	cmake -S . -B $(I386_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DCMAKE_TOOLCHAIN_FILE=$(abspath cmake/toolchain-linux-i386.cmake) \
	    -DZQGD_LINUX_BUILD=$(abspath $(BUILD)) $(CMAKE_FLAGS)
	cmake --build $(I386_BUILD) --target renderers_bench texture_definition_bench bdf_loading_bench
	root=$$(sed -n 's/^ZQGD_I386_SYSROOT:INTERNAL=//p' $(I386_BUILD)/CMakeCache.txt); \
	run="env LIBGL_DRIVERS_PATH=$$root/usr/lib/i386-linux-gnu/dri __EGL_VENDOR_LIBRARY_DIRS=$$root/usr/share/glvnd/egl_vendor.d \
	    $$root/lib/ld-linux.so.2 --library-path $$root/lib/i386-linux-gnu:$$root/usr/lib/i386-linux-gnu"; \
	if ! $$run $(I386_BUILD)/bench/bdf_loading_bench --benchmark_list_tests >/dev/null 2>&1; then \
	    run="qemu-i386 -L $$root -cpu Nehalem,-syscall,-lm"; fi; \
	$(MAKE) --no-print-directory run-benches BENCH_BUILD=$(I386_BUILD) BENCH_RUN="$$run"

run-benches:
	LP_NUM_THREADS=0 $(BENCH_RUN) $(BENCH_BUILD)/bench/renderers_bench --benchmark_min_time=0.3 \
	    --benchmark_repetitions=7 $(BENCH_FLAGS)
	LP_NUM_THREADS=0 $(BENCH_RUN) $(BENCH_BUILD)/bench/texture_definition_bench --benchmark_min_time=0.2 \
	    --benchmark_repetitions=5 $(BENCH_FLAGS)
	LP_NUM_THREADS=0 $(BENCH_RUN) $(BENCH_BUILD)/bench/bdf_loading_bench --benchmark_min_time=0.2 \
	    --benchmark_repetitions=5 $(BENCH_FLAGS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(I386_BUILD) $(FUZZ_BUILD) build-win-i686 build-win-x86_64 out
