# A thin front over CMake: `make run` starts the demo, `make test` runs every test,
# `make install` / `make uninstall` install it under PREFIX, `make package` builds
# the Debian package, `make web` / `make web-run` build and serve it for a browser.
BUILD := build
PREFIX ?= /usr/local
JOBS := $(shell nproc 2>/dev/null || echo 2)
MAKEFLAGS += --no-print-directory

.PHONY: all deps test-deps package-deps configure configure-tests build run test install uninstall package clean web web-run

all: build

deps:
	@scripts/install-deps.sh

test-deps:
	@scripts/install-deps.sh --test

package-deps:
	@scripts/install-deps.sh --package

# Configuring again is cheap, and finds packages installed since the last run.
# A first configure for the demo alone leaves the tests out: their packages
# (GoogleTest, the X test libraries) are only installed by `make test`.
configure:
	cmake -S . -B $(BUILD) $(if $(wildcard $(BUILD)/CMakeCache.txt),,-DBUILD_TESTING=OFF)

configure-tests:
	cmake -S . -B $(BUILD) -DBUILD_TESTING=ON

build: deps
	@$(MAKE) configure
	cmake --build $(BUILD) -j $(JOBS)

# The demo reads its art from the working directory: build/data.
run: build
	cd $(BUILD)/data && ../velmora

test: test-deps
	@$(MAKE) configure-tests
	cmake --build $(BUILD) -j $(JOBS)
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# build-web/: the demo as a static site, built with Emscripten (see README).
# `make web-run` serves it on 127.0.0.1, at WEB_PORT.
WEB_PORT ?= 8000
web:
	@scripts/install-deps.sh --web
	@$(MAKE) configure
	cmake --build $(BUILD) --target web

web-run: web
	@echo "Velmora in your browser: http://127.0.0.1:$(WEB_PORT)/ (Ctrl-C stops the server)"
	python3 -m http.server $(WEB_PORT) --bind 127.0.0.1 --directory build-web

# As root or with sudo for the default PREFIX. The build's install_manifest.txt
# records every file written, for `make uninstall`.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD) --prefix "$(PREFIX)" --strip

uninstall:
	cmake --build $(BUILD) --target uninstall

# build/velmora_<version>_<arch>.deb, for `sudo apt install ./build/velmora_*.deb`.
package: build package-deps
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD)
