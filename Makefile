# Two commands do everything on a fresh Debian 12 machine:
#   make run    install what is missing, build, start the window
#   make test   install what is missing, build with sanitizers too, run every test
JOBS ?= $(shell nproc)

.PHONY: deps build run test test-release test-debug test-package package bench clean

deps:
	@./scripts/install-deps.sh

build: deps
	@cmake --preset release >/dev/null
	@cmake --build --preset release -j $(JOBS)

run: build
	./build/release/ui/corvane

test-release: build
	QT_QPA_PLATFORM=offscreen ctest --preset release -j $(JOBS)

test-debug: deps
	@cmake --preset debug >/dev/null
	@cmake --build --preset debug -j $(JOBS)
	QT_QPA_PLATFORM=offscreen ctest --preset debug -j $(JOBS)

test: test-release test-debug test-package

# The Debian package, corvane_VERSION_ARCH.deb in this folder: apt-get install ./corvane_*.deb
package: build
	@rm -rf build/release/package corvane_*.deb
	@cpack --config build/release/CPackConfig.cmake -B build/release/package >/dev/null
	@cp build/release/package/corvane_*.deb .
	@ls corvane_*.deb

# Checks the package: lintian, then the installed programs unpacked into a temporary root.
test-package: package
	@./scripts/test-package.sh corvane_*.deb

bench: deps
	@cmake --preset bench >/dev/null
	@cmake --build --preset bench -j $(JOBS)
	@for b in build/bench/bench/corvane-bench-*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build corvane_*.deb
