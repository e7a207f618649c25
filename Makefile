# make run   installs what is missing, builds, and starts PLMView
# make test  installs what is missing, builds, and runs every test
# make package  builds the Debian package plmview_<version>_<arch>.deb in the build folder
SHELL := /bin/bash
BUILD ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS ?= $(shell nproc)
FUZZ_SECONDS ?= 60

PACKAGES := g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev \
            fonts-ipafont-gothic qt6-translations-l10n xvfb xauth clang libclang-rt-14-dev \
            poppler-utils ccache clang-format locales \
            dpkg-dev file librsvg2-bin lintian desktop-file-utils appstream shared-mime-info \
            libglib2.0-bin bash-completion \
            postgresql libpq-dev
SUDO := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: all deps build asan fuzz test test-core test-package test-asan test-fuzz run demo bench install \
        package clean format check-format

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do \
	    dpkg-query -W -f='$${Status}' $$p 2>/dev/null | grep -q 'install ok installed' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	    echo "Installing: $$missing"; \
	    $(SUDO) apt-get update -qq && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j $(JOBS)

$(ASAN_BUILD)/build.ninja:
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLM_SANITIZE=ON -DPLM_BENCH=OFF

asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) -j $(JOBS)

$(FUZZ_BUILD)/build.ninja:
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLM_FUZZ=ON \
	    -DPLM_FUZZ_SECONDS=$(FUZZ_SECONDS)

fuzz: deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS)

test-core: build
	ctest --test-dir $(BUILD) -j $(JOBS) --output-on-failure --timeout 300

test-asan: asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    ctest --test-dir $(ASAN_BUILD) -j $(JOBS) --output-on-failure --timeout 600

test-fuzz: fuzz
	ctest --test-dir $(FUZZ_BUILD) -j $(JOBS) --output-on-failure

test-package: package
	packaging/check_package.sh "$$(ls -t $(BUILD)/plmview_*.deb | head -1)"

test: check-format test-core test-package test-asan test-fuzz

run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ -x $(BUILD)/src/app/PLMView ]; then \
	    exec $(BUILD)/src/app/PLMView; \
	else \
	    ./examples/demo.sh $(BUILD); \
	fi

demo: build
	./examples/demo.sh $(BUILD)

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && { echo "== $$b"; "$$b"; }; done

install: build
	cmake --install $(BUILD)

package: build
	cd $(BUILD) && cpack -G DEB

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

# The tree matches its own .clang-format; `make format` mends it.
check-format: deps
	@clang-format --dry-run --Werror $$(git ls-files '*.cpp' '*.h') || \
	    { echo "Formatting differs from .clang-format: run 'make format'"; exit 1; }

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
