#!/bin/sh
# A picture of the page dialog on Linux: starts Xvfb on a free display, runs
# the native TarnHtmlDlg.exe on a local page and saves the screen as a PNG.
#   tests/programs/page_dialog/screenshot.sh [build folder] [output.png]
# Default output: <build folder>/page_dialog/screenshot.png (outside git).
set -eu
root=$(cd "$(dirname "$0")/../../.." && pwd)
build=${1:-$root/build/native}
bin=$build/bin
out=${2:-$build/page_dialog/screenshot.png}
work=$(mktemp -d)
mkdir -p "$(dirname "$out")"

display=90
while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do
  display=$((display + 1))
done
Xvfb ":$display" -nolisten tcp -screen 0 1280x800x24 >/dev/null 2>&1 &
xvfb=$!
dialog=
cleanup() {
  [ -n "$dialog" ] && kill "$dialog" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
i=0
while [ ! -e "/tmp/.X11-unix/X$display" ]; do
  i=$((i + 1)); [ $i -gt 100 ] && { echo "Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done

cat > "$work/page.html" <<'HTML'
<html><head><meta charset="utf-8"><title>Quarn page dialog</title></head>
<body style="font-family: sans-serif; background: #eef3fa">
<h1 style="color: #1f4e8c">Network access assistant</h1>
<p>This page is shown by the page dialog in its WebKitGTK view.</p>
<ul><li>identity authentication</li><li>security check</li><li>repair</li></ul>
</body></html>
HTML
DISPLAY=":$display" "$bin/TarnHtmlDlg.exe" "Url=$work/page.html" \
  "Icon=$work/none.ico" "Title=Quarn page dialog" "Width=900" "Height=600" \
  "ShowSysIcon=0" "SysIconMsg=" &
dialog=$!
sleep "${QUARN_SCREENSHOT_WAIT:-6}"
DISPLAY=":$display" import -window root "$out"
echo "$out"
