#!/usr/bin/env bash
# Writes docs/window.png: the window reading the built-in virtual transmitter,
# rendered offscreen (no display needed), and docs/trend.png, the trend window. Build first (./dev.sh test or cmake).
set -euo pipefail
cd "$(dirname "$0")/.."
QT_QPA_PLATFORM=offscreen ./build/quorva_screenshot docs/window.png docs/trend.png
