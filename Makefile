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
