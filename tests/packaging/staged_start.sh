#!/bin/sh
# Installs the build into a staging folder and starts what was installed:
# the window comes up offscreen and the program ends; zelto-drive answers.
#   staged_start.sh CMAKE BUILD_DIR STAGE_DIR
set -eu
cmake="$1" build="$2" stage="$3"
rm -rf "$stage"
"$cmake" --install "$build" --prefix "$stage/usr" >/dev/null
for file in usr/bin/zelto-panel usr/bin/zelto-drive usr/share/applications/org.zelto.Panel.desktop \
            usr/share/man/man1/zelto-panel.1.gz usr/share/man/man1/zelto-drive.1.gz \
            usr/share/metainfo/org.zelto.Panel.metainfo.xml \
            usr/share/icons/hicolor/scalable/apps/org.zelto.Panel.svg usr/share/doc/zelto-panel/README.md; do
  test -f "$stage/$file" || { echo "not installed: $file"; exit 1; }
done
# No bus to ask for an adapter: the simulated radio, at once.
QT_QPA_PLATFORM=offscreen ZELTO_PANEL_QUIT_WHEN_SHOWN=1 DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent \
  timeout 60 "$stage/usr/bin/zelto-panel"
"$stage/usr/bin/zelto-drive" --version | grep -q '^zelto-drive '
echo "the staged program started"
