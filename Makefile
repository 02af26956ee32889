# The two commands of the README: `make demo` and `make test`; `make docs` builds the documentation.
PYTHON ?= python3
JOBS ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DQUENFA_BUILD_TESTS=ON -DQUENFA_BUILD_PYTHON=OFF

# Seconds per reader fuzzer: `make fuzz` runs each for FUZZ_SECONDS, the test
# command for FUZZ_SMOKE_SECONDS.
FUZZ_SECONDS ?= 60
FUZZ_SMOKE_SECONDS ?= 5

.PHONY: demo test setup cpp-test cpp-test-asan fuzz-build fuzz fuzz-smoke python-install python-test bench format-check docs docs-figures

# The tests that compare against R, NumPy, SciPy, statsmodels or mpmath fail
# instead of skipping when the tool is missing: setup installs them all.
export QUENFA_REQUIRE_REFERENCE_TOOLS = 1

demo: setup python-install
	$(PYTHON) examples/demo.py
	$(PYTHON) -m quenfa demo -o examples/out/report --force

test: setup cpp-test cpp-test-asan fuzz-smoke python-install python-test

setup:
	@PYTHON=$(PYTHON) bash scripts/setup.sh

cpp-test:
	cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release $(CMAKE_FLAGS) >/dev/null
	cmake --build build/release -j $(JOBS)
	ctest --test-dir build/release --output-on-failure -j $(JOBS)

cpp-test-asan:
	cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DQUENFA_SANITIZE=ON $(CMAKE_FLAGS) >/dev/null
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --test-dir build/asan --output-on-failure -j $(JOBS)

fuzz-build:
	cmake -S . -B build/fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -G Ninja -DQUENFA_BUILD_FUZZERS=ON -DQUENFA_BUILD_PYTHON=OFF >/dev/null
	cmake --build build/fuzz -j $(JOBS)

fuzz: setup fuzz-build
	bash fuzz/run.sh build/fuzz $(FUZZ_SECONDS)

fuzz-smoke: setup fuzz-build
	bash fuzz/run.sh build/fuzz $(FUZZ_SMOKE_SECONDS)

python-install:
	$(PYTHON) -m pip install --quiet --disable-pip-version-check --root-user-action=ignore --no-build-isolation .

python-test:
	$(PYTHON) -m pytest tests/python -q

bench: setup python-install
	$(PYTHON) bench/run_all.py

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp')

# The documentation site, warnings as errors, into docs/_build/html.
docs: setup python-install
	$(PYTHON) -m sphinx -W --keep-going -b html -q docs docs/_build/html

# The figures of the guide, drawn from the bundled data by the package's plot functions.
docs-figures: setup python-install
	$(PYTHON) docs/make_figures.py
