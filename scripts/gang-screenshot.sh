#!/usr/bin/env bash
# The gang window's screenshots in docs/: an order against SLOTS virtual controllers (slot 3 rejects
# every frame), SCANS serials typed one after the other, then a refused scan, and the screen taken.
# usage: xvfb-run -a -s "-screen 0 1920x1080x24" scripts/gang-screenshot.sh SLOTS SCANS OUT.png \
#            [LANG [REFUSED-SCAN]]
# e.g. 4 3 docs/gang-4.png; 16 10 docs/gang-16-zh_CN.png zh_CN.UTF-8 '@SUM(1+1)'. Needs xdotool and
# ImageMagick's import.
set -u
cd "$(dirname "$0")/.."
slots=$1 scans=$2 out=$3 lang=${4:-C.UTF-8} bad=${5:-QT2C-1}
work=$(mktemp -d)
cp tests/data/frame/worked-example.asv "$work/qt2c.asv"
sha=$(build/bin/qt2xx-frame --sha256 "$work/qt2c.asv")
cat > "$work/order.json" <<JSON
{"order": "WO-7", "product": "QT2C 48 V 350 W", "set": "$work/qt2c.asv", "set_sha256": "$sha",
 "quantity": 40, "serial_pattern": "^QT2C-[0-9]{8}\$"}
JSON
pids=()
ports=()
for i in $(seq 1 "$slots"); do
  args=()
  [ "$i" = 3 ] && args=(--reject-frame)
  build/bin/qt2xx-controller-sim "${args[@]}" > "$work/sim$i.out" 2>/dev/null &
  pids+=($!)
done
sleep 1
for i in $(seq 1 "$slots"); do ports+=("$(head -1 "$work/sim$i.out")"); done
LANG=$lang LANGUAGE=${lang%%.*} build/bin/qt2xx-gang --order "$work/order.json" --operator OP1 \
  --record="$work/records.sqlite" "${ports[@]}" > "$work/gang.out" 2>&1 &
gang=$!
sleep 3
win=$(xdotool search --class qt2xx-gang | tail -1)
xdotool windowfocus --sync "$win" 2>/dev/null
for n in $(seq 1 "$scans"); do
  xdotool type --delay 5 "QT2C-$(printf %08d "$n")"; xdotool key Return
  sleep 0.4
done
sleep 0.8
xdotool type --delay 5 -- "$bad"; xdotool key Return
sleep 0.6
import -window root "$out"
kill "$gang"; sleep 0.5
for p in "${pids[@]}"; do kill "$p"; done
cat "$work/gang.out" | head -5
rm -rf "$work"
