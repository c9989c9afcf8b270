# make run: build, then show the three programs' runs; make test: build, then every test.
BUILD := build
GENERATOR := $(if $(shell command -v ninja),-G Ninja,)

.PHONY: all build run test clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD)

run: build
	$(BUILD)/bin/prikaz all

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j 2

clean:
	rm -rf $(BUILD)
