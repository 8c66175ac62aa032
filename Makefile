# Entry points: make setup | build | test | release | clean
BUILD ?= build
JOBS ?= 2

.PHONY: setup build release test clean

setup:
	@sh scripts/setup.sh

build: setup
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake
	cmake --build $(BUILD)/win32 -j $(JOBS)
	cmake -S . -B $(BUILD)/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake -DCORVANE_BUILD_TESTS=ON
	cmake --build $(BUILD)/win64 -j $(JOBS)
	CC=clang CXX=clang++ cmake -S tests/native -B $(BUILD)/native -G Ninja
	cmake --build $(BUILD)/native -j $(JOBS)

release: setup
	cmake -S . -B $(BUILD)/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake
	cmake --build $(BUILD)/win32 -j $(JOBS)

test: build
	@sh tests/run_all.sh $(BUILD)

clean:
	rm -rf $(BUILD)
