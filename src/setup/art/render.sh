#!/usr/bin/env bash
# Renders the installer's SVG artwork to the PNG files its resources hold, at
# twice the size the wizard shows them (it scales them to the screen), with
# librsvg through gdk-pixbuf (Qt's SVG module is not a dependency). Run it
# after changing an SVG and commit both.
set -euo pipefail
cd "$(dirname "$0")"
render() {  # svg, largest side in pixels
  gdk-pixbuf-thumbnailer -s "$2" "$1" "${1%.svg}.png"
}
render welcome.svg 516
render side.svg 502
for icon in zembrit-quarnel quarnel-gui help zembrit-setup; do
  render "$icon.svg" 128
done
