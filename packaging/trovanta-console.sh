#!/bin/sh
# The console reads config.conf, sound/ and images/ relative to where it
# starts, and writes its logs there: each user gets a working directory of
# their own, given the sound and pictures on first start.
set -e
# Found beside this script, so an unpacked tree runs as an installed one.
prefix=$(cd "$(dirname "$(readlink -f "$0")")/.." && pwd)
# The operator's manual, for its menu entry: the console itself is not needed.
if [ "${1:-}" = --manual ]; then
    exec xdg-open "$prefix/share/doc/trovanta-console/manual/index.html"
fi
work=${XDG_DATA_HOME:-$HOME/.local/share}/trovanta-console
mkdir -p "$work"
for dir in sound images; do
    [ -e "$work/$dir" ] || cp -R "$prefix/share/trovanta-console/$dir" "$work/"
done
cd "$work"
exec "$prefix/lib/trovanta-console/trovanta-console" "$@"
