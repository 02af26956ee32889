#!/usr/bin/env bash
# Installs what building and testing quenfa needs, only what is missing:
# Debian packages through apt-get, Python packages through pip. Idempotent.
set -euo pipefail

PYTHON=${PYTHON:-python3}

apt_packages=(
  libtbb-dev      # worker pool
  libboost-dev    # Beta quantile, trigamma
  libmpfr-dev     # high-precision floats
  libssl-dev      # SHA-256
  zlib1g-dev      # gzip
  libpng-dev      # PNG output
  libfreetype-dev # font outlines
  libgtest-dev    # C++ tests
  r-base-core     # reference random streams in tests
  clang           # fuzzers (libFuzzer)
  libclang-rt-dev # libFuzzer and sanitizer runtimes for clang
  chromium        # the HTML report tested in a real browser
)

missing=()
for pkg in "${apt_packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing Debian packages: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# module name -> pip requirement
py_packages=(
  "pytest:pytest"
  "numpy:numpy"
  "scipy:scipy"
  "statsmodels:statsmodels"
  "mpmath:mpmath"
  "scikit_build_core:scikit-build-core>=0.10"
  "cmake:cmake>=3.20"
  "ninja:ninja"
  "png:pypng"                # reads plots back in tests
  "pandas:pandas>=2.0"       # the quenfa package's tables
  "tqdm:tqdm>=4.60"          # the command line's progress bar
  "websocket:websocket-client"  # drives headless Chromium in the report tests
  "distributed:dask[distributed]"  # gsea_many on a cluster (optional extra `dask`)
  "pyarrow:pyarrow"          # Parquet signature tables (optional extra `parquet`)
  "sphinx:sphinx>=7"         # the documentation (optional extra `docs`)
  "myst_parser:myst-parser>=2"
  "furo:furo"
)
missing=()
for entry in "${py_packages[@]}"; do
  module=${entry%%:*}
  if ! "$PYTHON" -c "import importlib.util, sys; sys.exit(importlib.util.find_spec('$module') is None)"; then
    missing+=("${entry#*:}")
  fi
done
if ((${#missing[@]})); then
  echo "setup: installing Python packages: ${missing[*]}"
  "$PYTHON" -m pip install --quiet --disable-pip-version-check --root-user-action=ignore "${missing[@]}"
fi
