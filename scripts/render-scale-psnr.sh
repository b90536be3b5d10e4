#!/usr/bin/env bash
# The render scale's long check: a 2,000-tick autopilot game, headless, at scale 1 and at 2 and 3;
# every fifth frame of play box-filtered to 640 x 480 against scale 1 (PSNR >= 30 dB over the
# 3-D scene, the status line's white text in the same place). Usage: scripts/render-scale-psnr.sh [build dir]
set -euo pipefail
build=${1:-build}
TAVVY_RENDER_SCALE_TICKS=${TAVVY_RENDER_SCALE_TICKS:-2000} TAVVY_RENDER_SCALE_EVERY=${TAVVY_RENDER_SCALE_EVERY:-5} \
  TAVVY_RENDER_SCALE_MAX=${TAVVY_RENDER_SCALE_MAX:-3} \
  "$build/tests/test_SXView1" --gtest_filter='RenderScaleRun.*'
