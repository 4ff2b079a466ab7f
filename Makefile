# The front door: `make demo` renders the viewer's scene through the driver
# and writes pictures; `make test` builds and runs every test, then again
# under AddressSanitizer and UndefinedBehaviorSanitizer.
BUILD ?= build
SANITIZE_BUILD ?= build-sanitize
DEMO_OUT ?= out/demo
CMAKE_FLAGS ?=

export LIBGL_ALWAYS_SOFTWARE = 1
export GALLIUM_DRIVER = llvmpipe

.PHONY: all deps build demo test test-plain test-sanitize clean

all: build

deps:
	./scripts/install-deps.sh

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)
	cmake --build $(BUILD)

demo: build
	$(BUILD)/viewer/zqviewer --out $(DEMO_OUT)

test: test-plain test-sanitize

test-plain: build
	cd $(BUILD) && ctest --output-on-failure

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZQGD_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SANITIZE_BUILD)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) out
