# make run: build, then run the three programs; make test: build, then every test.
BUILD := build
GENERATOR := $(if $(shell command -v ninja),-G Ninja,)

.PHONY: all build run test clean

all: build

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) $(GENERATOR)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD)

run: build
	@for p in zadatak niz-locks niz-mark; do printf '\n== %s ==\n' $$p; $(BUILD)/bin/$$p; echo; done

test: build
	ctest --test-dir $(BUILD) --output-on-failure -j 2

clean:
	rm -rf $(BUILD)
