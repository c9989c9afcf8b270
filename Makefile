# make run, make test: the same as ./run and ./test (which install what is missing,
# then build); make build: install and build without running anything.
.PHONY: all build run test clean

all: build

build:
	./setup.sh build

run:
	./run

test:
	./test

clean:
	rm -rf build
