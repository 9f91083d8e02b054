# The two commands of the README, and the developer's others. Every target installs what is
# missing first, so a fresh Debian machine needs nothing but this checkout.

JOBS ?= $(shell nproc)
CTEST_FLAGS ?= --output-on-failure -j $(JOBS) --timeout 600
DEMO ?= data/demos/first-steps.sn2

.PHONY: deps build run test asan test-asan tsan test-tsan bench fuzz clean format format-check

deps:
	@scripts/install-deps.sh

build: deps
	@cmake --preset default >/dev/null
	@cmake --build build -j $(JOBS)

run: build
	@if [ -x build/bin/tmw ]; then build/bin/tmw $(wildcard $(DEMO)); else build/bin/tmw-cli --help; fi

test: build
	@cd build && ctest $(CTEST_FLAGS)

asan: deps
	@cmake --preset asan >/dev/null
	@cmake --build build-asan -j $(JOBS)

test-asan: asan
	@cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest $(CTEST_FLAGS)

# Only the programs labelled "thread" run under ThreadSanitizer, so only they are built.
tsan: deps
	@cmake --preset tsan >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target playback_thread_tests

test-tsan: tsan
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest $(CTEST_FLAGS) -L thread

bench: build
	@for b in build/bench/*; do [ -x "$$b" ] && "$$b"; done

# The layout of every C++ file is clang-format's (.clang-format): `make format` applies it,
# `make format-check` fails on any file that differs.
FORMAT_FILES = git ls-files '*.cpp' '*.h'
format: deps
	@$(FORMAT_FILES) | xargs clang-format -i
format-check: deps
	@$(FORMAT_FILES) | xargs clang-format --dry-run --Werror
	@echo "every C++ file is formatted"

clean:
	rm -rf build build-asan build-tsan build-fuzz

# The installation set in dist/: setup, data.idx and its volumes (1.44 MB each unless
# PACKAGE_VOLUME says otherwise), built from the build.
PACKAGE_VOLUME ?= 1474560
.PHONY: package
package: build
	@setup/package.sh build dist $(PACKAGE_VOLUME)

# The Debian package build/packages/tunemill_VERSION_ARCH.deb (CPack; the dependencies come
# from the programs through dpkg-shlibdeps), and its check: lintian, install, use, purge.
.PHONY: deb check-deb
deb: build
	@cd build && cpack -G DEB
check-deb: deb
	@scripts/check-deb.sh build/packages

# Fuzzing (clang, ASan and UBSan, build-fuzz/): `make fuzz` builds every fuzz target and runs each
# for FUZZ_SECONDS over its corpus, `make fuzz TARGET=module FUZZ_SECONDS=600` one of them.
# `make fuzz-corpus` rewrites the starting corpora in fuzz/corpus/ from our own writers.
FUZZ_SECONDS ?= 60
TARGET ?=
.PHONY: fuzz-build fuzz-corpus
fuzz-build: deps
	@cmake --preset fuzz >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target fuzzers

fuzz: fuzz-build
	@fuzz/run.sh build-fuzz $(FUZZ_SECONDS) $(TARGET)

fuzz-corpus: fuzz-build
	@cmake --build build-fuzz -j $(JOBS) --target fuzz_seed_corpus
