#!/usr/bin/env bash
# Starts the simulated device and the wizard against it. Usage: tools/run-with-sim.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
if [ -x "$build/sim/zorvel-sim" ]; then
  work=$(mktemp -d /tmp/lumo27kq.XXXXXX)
  "$build/sim/zorvel-sim" --dir "$work" --port COM3 --sample-files &
  sim=$!
  trap 'kill $sim 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "$work/COM3" ] && break; sleep 0.1; done
  cd "$work"
  echo "simulated ZORVEL on $work/COM3; sample files in $work"
fi
"$build/app/lumo27kq"
