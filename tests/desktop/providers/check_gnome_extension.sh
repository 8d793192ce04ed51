#!/bin/sh
# Parses both styles of the GNOME Shell extension the build wrote: the
# module (GNOME Shell 45 and newer) as an ES module, the older style as a
# script. GNOME Shell 45 and newer are not in Debian 12, so this is as far
# as the module style is checked here. Exits 77 (skipped) without Node.
set -eu
dir=$1
node=$(command -v node || command -v nodejs || true)
if [ -z "$node" ]; then
  echo "skipped: Node.js is not installed"
  exit 77
fi
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cp "$dir/module/orvella@orvella.org/extension.js" "$tmp/extension.mjs"
cp "$dir/legacy/orvella@orvella.org/extension.js" "$tmp/extension.cjs"
"$node" --check "$tmp/extension.mjs"
"$node" --check "$tmp/extension.cjs"
for style in legacy module; do
  "$node" -e 'const m = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    if (m.uuid !== "orvella@orvella.org" || !m["shell-version"].length) process.exit(1);' \
    "$dir/$style/orvella@orvella.org/metadata.json"
done
echo "both styles parse"
