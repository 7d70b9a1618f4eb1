#!/usr/bin/env bash
# Installs what drives the browsers in the page's tests and benchmark (tests/web/drive_page.cjs):
# Node.js and npm from Debian when missing, then npm's puppeteer-core and selenium-webdriver at
# the versions tests/web/package-lock.json holds, into build/web-driver/. No browser is
# downloaded: the tests run Debian's.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
  tools/install-deps.sh node
fi
out=build/web-driver
if [ -d "$out/node_modules" ] && cmp -s tests/web/package-lock.json "$out/package-lock.json"; then
  exit 0
fi
rm -rf "$out"
mkdir -p "$out"
cp tests/web/package.json tests/web/package-lock.json "$out/"
PUPPETEER_SKIP_DOWNLOAD=1 npm ci --prefix "$out" --no-audit --no-fund --loglevel=error
