#!/usr/bin/env bash
# Installs what the playground's build and tests need, when it is missing:
# Debian's emscripten and chromium (tools/ensure-packages web), npm, and the
# page's npm packages from the lockfile.
set -euo pipefail
cd "$(dirname "$0")/../.."

tools/ensure-packages web
# Some Node packages bring npm with them, and conflict with Debian's npm
# package; Debian's nodejs does not, so npm is installed only when missing.
if ! command -v npm >/dev/null 2>&1; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "The playground needs npm: sudo apt-get install --no-install-recommends npm" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends npm
fi

# npm ci again whenever the lockfile changed since the last install.
cd web
if [ ! -f node_modules/.package-lock.json ] || [ package-lock.json -nt node_modules/.package-lock.json ]; then
  npm ci --no-audit --no-fund
fi
