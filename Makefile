# Thin wrapper around CMake: `make play` and `make test` are all you need.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
STORY ?= games/the-ember-crown
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build play test sanitize clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Plays the bundled story in its own directory, where its four files are.
play: build
	cd $(STORY) && $(CURDIR)/$(BUILD)/ostrel

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(MAKE) test BUILD=build-sanitize \
	  CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON"

clean:
	rm -rf build build-sanitize
