#!/usr/bin/env bash
# Starts the simulated device and the wizard against it. Usage: tools/run-with-sim.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
if [ -x "$build/sim/zorvel-sim" ]; then
  work=$(mktemp -d /tmp/lumo27kq.XXXXXX)
  "$build/sim/zorvel-sim" --dir "$work" --port COM3 --sample-files --ftp-port 0 >"$work/.sim.out" &
  sim=$!
  trap 'kill $sim 2>/dev/null || true' EXIT
  for _ in $(seq 50); do grep -q '^ftp ' "$work/.sim.out" 2>/dev/null && break; sleep 0.1; done
  ftp=$(sed -n 's/^ftp //p' "$work/.sim.out")
  cd "$work"
  echo "Simulated ZORVEL: serial line $work/COM3; FTP server $ftp (user admin, password admin)."
  echo "RS-232C road: choose it on page 1. 10BASE-T road: type $ftp and the password on page 4."
  echo "Sample files in $work: sample-firmware.bin (firmware), sample-config.bin (configuration)."
fi
"$build/app/lumo27kq"
