# make run   builds the program and starts a portable copy from dist/orvalia/, its program directory
# make test  builds everything and runs every test
# make deb   builds the Debian package build-deb/orvalia_2.0-1_amd64.deb
BUILD ?= build
PORTABLE_BUILD ?= build-portable
DIST := dist/orvalia
JOBS ?= $(shell nproc)
# WERROR=ON makes every compiler warning an error (.ci/run builds so).
WERROR ?= OFF

.PHONY: setup configure build run test clean deb format-check

setup:
	@scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIA_WERROR=$(WERROR) > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The portable copy is built in its own directory, with nothing but the program: the build for
# the tests and "cmake --install" keeps the installed layout. Its program directory holds the
# user's data files: it is outside the build tree, and neither a rebuild nor "make clean" touches
# anything in it but the program and its sounds.
run: setup
	@cmake -S . -B $(PORTABLE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIA_PORTABLE=ON \
	    -DBUILD_TESTING=OFF -DORVALIA_WERROR=$(WERROR) > /dev/null
	@cmake --build $(PORTABLE_BUILD) -j $(JOBS) --target orvalia
	@mkdir -p $(DIST)
	@install -m 0755 $(PORTABLE_BUILD)/src/orvalia $(DIST)/orvalia
	@install -m 0644 assets/sounds/*.WAV $(DIST)/
	@cd $(DIST) && ./orvalia

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# Every C++ file of the tree in the checked-in style (.clang-format); "clang-format -i" mends one.
format-check: setup
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
	@echo "format: every C++ file as .clang-format lays it out"

clean:
	@rm -rf $(BUILD) $(PORTABLE_BUILD) $(DEB_BUILD)

# The package is built from a copy of the working tree in build-deb/, so that neither the tree nor
# the folder above it gets the package build's files; the .deb lands in build-deb/. Then:
#   sudo apt install ./build-deb/orvalia_2.0-1_amd64.deb
DEB_BUILD ?= build-deb
DEB_SOURCE := $(DEB_BUILD)/orvalia-2.0

deb: setup
	@rm -rf $(DEB_BUILD)
	@mkdir -p $(DEB_SOURCE)
	@tar -cf - --exclude-vcs --exclude='./build*' --exclude=./dist --exclude=./.cache \
	    --exclude=./compile_commands.json . | tar -xf - -C $(DEB_SOURCE)
	@cd $(DEB_SOURCE) && dpkg-buildpackage -us -uc -b -j$(JOBS) > ../dpkg-buildpackage.log 2>&1 || \
	    { tail -n 40 ../dpkg-buildpackage.log; echo "The package build failed: $(DEB_BUILD)/dpkg-buildpackage.log"; exit 1; }
	@ls $(DEB_BUILD)/*.deb

# Data safety (see "What the program guarantees" in README.md):
# make crash-test [KILLS=1000]   kills a program busy with the contact, options and password files
#                                KILLS times, half of them at the edges of each write, flush and
#                                rename, and checks what each next start finds; reports where the
#                                kills landed ("make test" runs it with 100 kills)
# make test-sanitize             every test again, built with AddressSanitizer and UBSan
# make fuzz [FUZZ_SECONDS=20]    each fuzz target for that many seconds, built with clang
KILLS ?= 1000
SANITIZE_BUILD ?= build-sanitize
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 20
FUZZ_TARGETS := fuzz_record fuzz_options fuzz_password fuzz_password_secrets fuzz_version fuzz_vcard

.PHONY: crash-test test-sanitize fuzz

crash-test: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tst_crash_safety orvalia_crash_driver
	@cd $(BUILD)/tests/safety && ORVALIA_CRASH_KILLS=$(KILLS) QTEST_FUNCTION_TIMEOUT=86400000 \
	    QT_QPA_PLATFORM=offscreen ./tst_crash_safety

# The leak checker of this compiler's runtime can crash reading the thread-local blocks of the
# libraries Qt loads at run time (it takes a stale entry for a live one, and the whole test aborts
# after it passed): those blocks are not followed, the rest of every thread is.
SANITIZE_ASAN_OPTIONS := detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0

test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIA_SANITIZE=ON -DORVALIA_WERROR=$(WERROR) > /dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=$(SANITIZE_ASAN_OPTIONS) \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

fuzz: setup
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	    -DORVALIA_FUZZ=ON -DORVALIA_SANITIZE=ON -DORVALIA_WERROR=$(WERROR) > /dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	@mkdir -p $(FUZZ_BUILD)/artifacts
	@for target in $(FUZZ_TARGETS); do \
	    mkdir -p $(FUZZ_BUILD)/corpus/$$target; \
	    dict=""; [ -f tests/fuzz/$$target.dict ] && dict="-dict=tests/fuzz/$$target.dict"; \
	    if ! $(FUZZ_BUILD)/tests/fuzz/$$target $$dict -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	        -artifact_prefix=$(FUZZ_BUILD)/artifacts/$$target- \
	        $(FUZZ_BUILD)/corpus/$$target tests/fuzz/corpus/$$target > $(FUZZ_BUILD)/$$target.log 2>&1; then \
	        tail -n 40 $(FUZZ_BUILD)/$$target.log; echo "$$target: FAILED (input in $(FUZZ_BUILD)/artifacts/)"; exit 1; \
	    fi; \
	    echo "$$target: $$(sed -n 's/^stat::number_of_executed_units: *//p' $(FUZZ_BUILD)/$$target.log) runs in $(FUZZ_SECONDS) s, no failure"; \
	done

# Speed on a large address book (see "Performance" in README.md):
# make bench [N=100000] [RUNS=5]   builds the benchmark in Release in its own directory, generates
#                                  N contacts in a temporary program directory and times the main
#                                  window's handlers on them, and the program's start in a new
#                                  process (orvalia_bench_start, built with it)
N ?= 100000
RUNS ?= 5
BENCH_BUILD ?= build-release

.PHONY: bench bench-vcard bench-smoke

bench: setup
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DORVALIA_WERROR=$(WERROR) > /dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target orvalia_bench
	@QT_QPA_PLATFORM=offscreen $(BENCH_BUILD)/bench/orvalia_bench $(N) --runs $(RUNS)

# make bench-smoke [N=2000] [RUNS=3]   the same benchmark, and the vCard one, built with the tests in
#                                     $(BUILD)/ (RelWithDebInfo): a run that shows both still work,
#                                     without a Release build of its own; its times are not the
#                                     figures to quote
bench-smoke: build
	@QT_QPA_PLATFORM=offscreen $(BUILD)/bench/orvalia_bench $(N) --runs $(RUNS)
	@QT_QPA_PLATFORM=offscreen $(BUILD)/bench/orvalia_vcard_bench $(N) --runs $(RUNS)

# make bench-vcard [N=100000] [RUNS=5]   the vCard export and import of N generated contacts,
#                                        set against the load of the list in the same run
bench-vcard: setup
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DORVALIA_WERROR=$(WERROR) > /dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target orvalia_vcard_bench
	@QT_QPA_PLATFORM=offscreen $(BENCH_BUILD)/bench/orvalia_vcard_bench $(N) --runs $(RUNS)
