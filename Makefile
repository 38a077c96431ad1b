# make run   builds the program and starts it from dist/orvalia/, the program directory
# make test  builds everything and runs every test
BUILD ?= build
DIST := dist/orvalia
JOBS ?= $(shell nproc)

.PHONY: setup configure build run test clean

setup:
	@scripts/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The program directory holds the user's data files: it is outside the build tree, and neither a
# rebuild nor "make clean" touches anything in it but the program and its sounds.
run: build
	@mkdir -p $(DIST)
	@cp $(BUILD)/src/Orvalia $(DIST)/Orvalia
	@cp assets/sounds/*.WAV $(DIST)/ 2>/dev/null || true
	@cd $(DIST) && ./Orvalia

test: build
	@cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	@rm -rf $(BUILD)

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
FUZZ_TARGETS := fuzz_record fuzz_options fuzz_password fuzz_version

.PHONY: crash-test test-sanitize fuzz

crash-test: configure
	@cmake --build $(BUILD) -j $(JOBS) --target tst_crash_safety orvalia_crash_driver
	@cd $(BUILD)/tests/safety && ORVALIA_CRASH_KILLS=$(KILLS) QTEST_FUNCTION_TIMEOUT=86400000 \
	    QT_QPA_PLATFORM=offscreen ./tst_crash_safety

test-sanitize: setup
	@cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVALIA_SANITIZE=ON > /dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
	    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j $(JOBS)

fuzz: setup
	@cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
	    -DORVALIA_FUZZ=ON -DORVALIA_SANITIZE=ON > /dev/null
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
#                                  window's handlers on them
N ?= 100000
RUNS ?= 5
BENCH_BUILD ?= build-release

.PHONY: bench

bench: setup
	@cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF > /dev/null
	@cmake --build $(BENCH_BUILD) -j $(JOBS) --target orvalia_bench
	@QT_QPA_PLATFORM=offscreen $(BENCH_BUILD)/bench/orvalia_bench $(N) --runs $(RUNS)
