# Thin wrapper around CMake: `make play` and `make test` are all you need.
BUILD ?= build
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo
STORY ?= games/the-ember-crown
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build play test sanitize fuzz fuzz-smoke memcheck bench bench-smoke windows windows-test clean
.PHONY: install package
FUZZ_SECONDS ?= 600

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

# Plays the bundled story in its own directory, where its four files are;
# builds the engine alone, not the tools and tests.
play: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target ostrel
	cd $(STORY) && $(CURDIR)/$(BUILD)/ostrel

# Installs what the suites need first (tests/setup.sh), where it can.
test:
	@bash tests/setup.sh
	@$(MAKE) --no-print-directory build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@# A suite whose tool is missing is skipped; say which tool.
	@grep -h '^SKIPPED:' $(BUILD)/Testing/Temporary/LastTest.log 2>/dev/null | sort -u || true
	@$(MAKE) --no-print-directory web-test

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize:
	$(MAKE) test BUILD=build-sanitize WEB_TESTS=0 \
	  CMAKE_FLAGS="-DCMAKE_BUILD_TYPE=Debug -DOSTREL_SANITIZE=ON"

# Lookup benchmarks (Google Benchmark), the engine against grep, the scans
# side by side with grep and cat (bench/scan_bench.cpp), and what saving
# costs (bench/save_bench.cpp).
bench: build
	$(BUILD)/ostrel_bench
	bash bench/compare.sh $(BUILD)/ostrel
	$(BUILD)/ostrel_scan_bench $(BUILD)/ostrel
	$(BUILD)/ostrel_save_bench $(BUILD)/ostrel
	[ ! -x $(BUILD)/lsp_bench ] || $(BUILD)/lsp_bench

bench-smoke: build
	$(BUILD)/ostrel_bench --benchmark_min_time=0.01 --benchmark_filter='/1$$|Choice|Battle'
	bash bench/compare.sh $(BUILD)/ostrel 2 1
	$(BUILD)/ostrel_scan_bench $(BUILD)/ostrel --megabytes 4 --rounds 3 \
	  --battle-megabytes 2 --battle-rounds 3 --typing-chars 20
	$(BUILD)/ostrel_save_bench $(BUILD)/ostrel --answers 1000 --rounds 1
	[ ! -x $(BUILD)/lsp_bench ] || $(BUILD)/lsp_bench --benchmark_min_time=0.01

# libFuzzer targets, built with clang, each run for FUZZ_SECONDS.
build-fuzz/CMakeCache.txt:
	CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DOSTREL_FUZZ=ON -DOSTREL_TESTS=OFF

fuzz: build-fuzz/CMakeCache.txt
	cmake --build build-fuzz -j $(JOBS) --target stream_fuzzer story_fuzzer save_fuzzer
	cmake --build build-fuzz -j $(JOBS) --target lsp_fuzzer || \
	  echo "lsp_fuzzer left out: nlohmann-json (nlohmann-json3-dev) is not installed"
	bash fuzz/run.sh build-fuzz $(CURDIR) $(FUZZ_SECONDS)

fuzz-smoke:
	$(MAKE) fuzz FUZZ_SECONDS=30

# The scenario suite under Valgrind's memcheck.
memcheck: build
	cd $(BUILD) && OSTREL_WRAPPER="valgrind -q --error-exitcode=99 --leak-check=full --errors-for-leak-kinds=definite,indirect,possible" \
	  ctest --output-on-failure -j $(JOBS) -R 'scenario|guide'

# ostrel.exe and the authors' tools for Windows, with the MinGW-w64 cross
# compiler; windows-test runs the end-to-end and scenario tests under Wine.
windows:
	cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
	  -DCMAKE_BUILD_TYPE=Release
	cmake --build build-windows -j $(JOBS)

windows-test: windows
	bash tests/windows.sh build-windows $(CURDIR)

# Installs under PREFIX (as configured: /usr/local), honouring DESTDIR.
PREFIX ?=
install: build web-template
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) $(if $(PREFIX),--prefix "$(PREFIX)")

# A Debian package (.deb) in $(BUILD), dependencies from dpkg-shlibdeps.
package: build web-template
	cmake --build $(BUILD) --target package

# ostrel-publish's page template, up to date with the engine, for install and
# package; without Emscripten they go on, and say that publishing will not work.
.PHONY: web-template
web-template:
	@if command -v emcc > /dev/null; then $(MAKE) --no-print-directory web; \
	else echo "WARNING: emcc is not installed (apt-get install emscripten): the page template for ostrel-publish cannot be built or updated"; fi

clean:
	rm -rf build build-sanitize build-fuzz build-windows build-web

# The page template of ostrel-publish: the engine built with Emscripten, and
# xterm.js from npm (web/package-lock.json), in $(WEB_BUILD), then put beside
# ostrel-publish, which is built too: after `make web`, the README's
# publishing command works. Only `make web` and `make test` build the
# template, when emcc is there.
WEB_BUILD ?= build-web
WEB_TESTS ?= 1
WEB_SOURCES = $(wildcard engine/*.cpp engine/*.h) web/build.sh web/make_page.js \
  web/page.html web/page.js web/host.js web/saves.js web/wrap.js web/package-lock.json
.PHONY: web web-test

web: $(WEB_BUILD)/ostrel-page.html $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS) --target ostrel-publish
	cp $(WEB_BUILD)/ostrel-page.html $(BUILD)/ostrel-page.html

$(WEB_BUILD)/ostrel-page.html: $(WEB_SOURCES)
	bash web/build.sh $(WEB_BUILD)

# The Node harness and the browser test; each names what it lacks and skips.
web-test:
ifeq ($(WEB_TESTS),1)
	@if ! command -v emcc > /dev/null; then \
	  echo "SKIPPED: the web tests: emcc is not installed (apt-get install emscripten)"; \
	elif ! command -v node > /dev/null; then \
	  echo "SKIPPED: the web tests: node is not installed (apt-get install nodejs npm)"; \
	else \
	  $(MAKE) --no-print-directory web && bash web/test.sh $(BUILD) $(WEB_BUILD); \
	fi
endif

# The authors' tools at scale: a cycle of 1,000,000 sections and a 100 MB
# script (bench-tools-smoke: smaller).
.PHONY: bench-tools bench-tools-smoke
bench-tools: build
	bash bench/tools.sh $(BUILD) 1000000 100

bench-tools-smoke: build
	bash bench/tools.sh $(BUILD) 10000 2
