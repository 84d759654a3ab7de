#!/usr/bin/env bash
# Installs the Python package the way its documentation tells a user to: a clean virtual
# environment made from Debian's interpreter, then pip without a package index.
#   InstallPackage.sh VENV_DIR SOURCE_ROOT
set -euo pipefail
venv="$1"
root="$2"
rm -rf "$venv"
/usr/bin/python3 -m venv --system-site-packages "$venv"
cd "$root"
# No index exists here; refusing one proves that nothing is fetched.
PIP_NO_INDEX=1 "$venv/bin/pip" install --no-build-isolation ./python
