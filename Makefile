# Thin wrapper around CMake: `make example` and `make test` are all a user needs.
BUILD_DIR ?= build
JOBS ?= 2
# Where `make install` puts the trainer, its README and its manual page;
# PREFIX=$HOME/.local installs without root, DESTDIR stages a package.
PREFIX ?= /usr/local

.PHONY: all build build-tests example test install clean

all: build

# The trainer alone: CMake, a C++ compiler and make are all it needs.
build:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVELMAR_TESTS=OFF
	cmake --build $(BUILD_DIR) -j $(JOBS) --target velmar

# The trainer and every test (GoogleTest installed, or downloaded once).
build-tests:
	cmake -S . -B $(BUILD_DIR) -DCMAKE_BUILD_TYPE=Release -DVELMAR_TESTS=ON -DVELMAR_BENCH=ON
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Trains the iris example and writes its pages into examples/output/.
example: build
	mkdir -p examples/output
	cd examples && ../$(BUILD_DIR)/velmar iris.prop
	@# The pages link every vector to files/ID; give each iris vector its data file.
	mkdir -p examples/output/files
	cd examples && awk 'NR > 4 { f = "output/files/" $$5; print > f; close(f) }' iris.vec
	@# The saved model maps the input back: the very lines of the run's assignments file (which, with the
	@# example's class file, ends each line with the vector's class).
	cd examples && ../$(BUILD_DIR)/velmar --map output/map_model.txt iris.vec output/iris_mapped.csv
	sed 's/,[^,]*\r$$/\r/' examples/output/map_assignments.csv | cmp - examples/output/iris_mapped.csv
	@echo
	@echo "Pages written to examples/output/ - open examples/output/map_overview.html for the whole hierarchy,"
	@echo "examples/output/map_1_1_0_0.html for the first-layer map; every vector's cluster is in map_assignments.csv,"
	@echo "the quality figures of every map and of the hierarchy in map_summary.json."
	@echo "The model is examples/output/map_model.txt; velmar --map mapped iris.vec through it to iris_mapped.csv"

# bin/velmar, share/doc/velmar/README.md and share/man/man1/velmar.1 below PREFIX.
install: build
	DESTDIR="$(DESTDIR)" cmake --install $(BUILD_DIR) --prefix "$(PREFIX)"

# Debian's Python, whatever python3 comes first on PATH.
PYTHON ?= $(shell test -x /usr/bin/python3 && echo /usr/bin/python3 || echo python3)
PYTHON_PACKAGES = python3-dev python3-numpy python3-scipy python3-pandas python3-pytest pybind11-dev \
  python3-pybind11 python3-sklearn python3-dask python3-distributed

# The C++ tests, then the Python package's when its module is built and
# pytest and numpy are there (VELMAR_REQUIRE_PYTHON=1 makes their absence a failure).
test: build-tests
	cd $(BUILD_DIR) && ctest --output-on-failure -j $(JOBS)
	@if ls $(BUILD_DIR)/python/velmar/_velmar*.so >/dev/null 2>&1 && $(PYTHON) -c "import numpy, pytest" 2>/dev/null; then \
	  echo "== Python tests ($(PYTHON))"; \
	  VELMAR_BINARY=$(CURDIR)/$(BUILD_DIR)/velmar PYTHONPATH=$(CURDIR)/$(BUILD_DIR)/python \
	    $(PYTHON) -m pytest -q -p no:cacheprovider python/tests; \
	elif [ "$(VELMAR_REQUIRE_PYTHON)" = 1 ]; then \
	  echo "Python tests cannot run: install $(PYTHON_PACKAGES)"; exit 1; \
	else \
	  echo "Python tests skipped: install $(PYTHON_PACKAGES) (Debian) to run them"; \
	fi

clean:
	rm -rf $(BUILD_DIR) examples/output
