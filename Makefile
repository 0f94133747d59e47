# Tavlo: `make run` and `make test` install what the build needs, configure, build, then start the
# workbench on the sample files or run the whole test suite.

BUILD_DIR ?= build
PACKAGE_BUILD_DIR ?= build-package
JOBS ?= $(shell nproc)
PACKAGES := cmake make g++ qtbase5-dev qtbase5-dev-tools libqt5svg5-dev libeigen3-dev libgeographiclib-dev fonts-dejavu-core qttranslations5-l10n
# The validators the test suite runs over the desktop entry and the metainfo, and what the Debian
# package needs beyond the build (dpkg-shlibdeps, which names the libraries' packages); PROJ's
# tools and grids, the oracle of the projection and geoid tests; the independent solvers the
# robust estimation is held against (statsmodels, GLPK).
TEST_PACKAGES := desktop-file-utils appstream dpkg-dev proj-bin proj-data python3-statsmodels glpk-utils
PACKAGE_PACKAGES := dpkg-dev
CCACHE := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
SUDO := $(if $(filter 0,$(shell id -u)),,sudo)

.PHONY: all deps configure build run test package clean

all: build

deps:
	@missing=""; \
	for p in $(PACKAGES); do dpkg -s $$p >/dev/null 2>&1 || missing="$$missing $$p"; done; \
	if [ -n "$$missing" ]; then \
	    echo "Installing the missing packages:$$missing"; \
	    $(SUDO) apt-get update && \
	    DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y --no-install-recommends $$missing; \
	fi

configure: deps
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CCACHE)

build: configure
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	@if [ -z "$$DISPLAY" ] && [ -z "$$WAYLAND_DISPLAY" ]; then \
	    echo "No graphical display is available (DISPLAY is not set), so the Tavlo workbench cannot open its window."; \
	    echo "Processing the samples with the engine instead (reports and result files beside them):"; \
	    status=0; \
	    for f in samples/*.iob; do \
	        grep -qs "^#include $$(basename $$f)" samples/*.iob && continue; \
	        ./$(BUILD_DIR)/tavlo-engine process "$$f" "$${f%.iob}.cfg" || status=1; \
	    done; \
	    exit $$status; \
	else \
	    ./$(BUILD_DIR)/tavlo samples/*.iob samples/*.cfg; \
	fi

test: build
	@$(MAKE) --no-print-directory deps PACKAGES="$(TEST_PACKAGES)"
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

# The Debian package tavlo_<version>_<arch>.deb, in $(PACKAGE_BUILD_DIR): built apart, for any
# x86-64 processor rather than for this one.
package: deps
	@$(MAKE) --no-print-directory deps PACKAGES="$(PACKAGE_PACKAGES)"
	cmake -S . -B $(PACKAGE_BUILD_DIR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVLO_NATIVE=OFF $(CCACHE)
	cmake --build $(PACKAGE_BUILD_DIR) -j $(JOBS)
	cd $(PACKAGE_BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) $(PACKAGE_BUILD_DIR)
