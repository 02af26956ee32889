# The two commands of the README: `make demo` and `make test`.
PYTHON ?= python3
JOBS ?= $(shell nproc)
CMAKE_FLAGS = -G Ninja -DQUENFA_BUILD_TESTS=ON -DQUENFA_BUILD_PYTHON=OFF

# The tests that compare against R, NumPy, SciPy, statsmodels or mpmath fail
# instead of skipping when the tool is missing: setup installs them all.
export QUENFA_REQUIRE_REFERENCE_TOOLS = 1

.PHONY: demo test setup cpp-test cpp-test-asan python-install python-test bench format-check

demo: setup python-install
	$(PYTHON) examples/demo.py

test: setup cpp-test cpp-test-asan python-install python-test

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

python-install:
	$(PYTHON) -m pip install --quiet --disable-pip-version-check --root-user-action=ignore --no-build-isolation .

python-test:
	$(PYTHON) -m pytest tests/python -q

bench: setup python-install
	$(PYTHON) bench/run_all.py

format-check:
	clang-format --dry-run -Werror $$(git ls-files '*.cpp' '*.hpp')
