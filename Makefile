# Front door: make deps | build | test | test-asan | run | demo | bench | bench-lan | fuzz | hardening |
# package | package-check | format | windows | test-windows
BUILD      ?= build
ASAN_BUILD ?= build-asan
# The package build is the preset package-deb (hardened Release flags), always in build-pkg.
PKG_BUILD  := build-pkg
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
CMAKE_GEN  := -G Ninja
export QT_QPA_PLATFORM ?= offscreen

.PHONY: deps build test test-asan run demo bench bench-lan fuzz hardening package package-check format clean \
	windows test-windows

deps:
	@bash scripts/deps.sh

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DTELVARO_SANITIZE=ON

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j $(JOBS)

run: build
	QT_QPA_PLATFORM= $(BUILD)/src/telvaro

demo: build
	bash scripts/demo.sh $(BUILD)

bench: build
	bash scripts/bench.sh $(BUILD)

bench-lan: build
	bash scripts/bench-lan.sh $(BUILD)

fuzz: deps
	bash scripts/fuzz.sh $(FUZZ_SECONDS)

hardening: build
	bash scripts/hardening.sh $(BUILD)

package: deps
	cmake --preset package-deb
	cmake --build --preset package-deb -j $(JOBS)
	cpack --preset package-deb

package-check:
	bash scripts/package-check.sh

# Windows: MinGW-w64 cross build (Qt for Windows built once into ~/.cache/telvaro-win), tests under
# Wine, NSIS installer build-win/telvaro-<version>-setup.exe.
windows:
	bash scripts/windows-build.sh

test-windows: windows
	bash scripts/windows-test.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(PKG_BUILD) build-win
