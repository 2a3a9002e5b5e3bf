#!/bin/sh
# Each folder of comm/ includes only what its host allows:
#   core/        the C++ library and its own headers: no toolkit, no system header
#   link/        no toolkit, no Asio; linux/ no Windows header, win32/ no POSIX one
#   hosts/asio/  no toolkit
#   hosts/qt/    Qt Core only (no Gui, no Widgets)
# and station/ (the calibration station's library, which kv508ctl links): no toolkit.
# Prints every include that breaks the rule of its folder; exits 1 if any does.
set -eu
comm="$1/comm"
status=0
bad() { echo "$1: $2"; status=1; }
includes() { grep -Hn '^[[:space:]]*#[[:space:]]*include' "$@" 2>/dev/null || true; }

# core: "own header" or <standard header> (no .h, no path).
for line in $(includes "$comm"/core/*.h "$comm"/core/*.cpp "$comm"/core/internal/*.h | tr ' ' '~'); do
  inc="${line#*:*:}"
  case "$inc" in
    *'"'*) ;;
    *'<Q'*|*'<asio'*|*'<'*'.h>'*|*'<'*'/'*'>'*) bad "${line%%:*}" "$(echo "$inc" | tr '~' ' ') (the core makes no system call and knows no toolkit)" ;;
  esac
done
for line in $(includes "$comm"/link/*.h "$comm"/link/*.cpp "$comm"/link/linux/* "$comm"/link/win32/* | tr ' ' '~'); do
  inc="${line#*:*:}"
  case "$inc" in
    *'<Q'*|*'<asio'*) bad "${line%%:*}" "$(echo "$inc" | tr '~' ' ') (the link has no toolkit and no event loop of its own)" ;;
  esac
done
for line in $(includes "$comm"/hosts/asio/* | tr ' ' '~'); do
  case "${line#*:*:}" in *'<Q'*) bad "${line%%:*}" "a Qt header in the plain loop's host" ;; esac
done
for line in $(includes "$comm"/link/*.h "$comm"/link/*.cpp "$comm"/link/linux/* | tr ' ' '~'); do
  case "${line#*:*:}" in *'<windows.h>'*) bad "${line%%:*}" "windows.h outside win32/" ;; esac
done
for line in $(includes "$comm"/link/win32/* | tr ' ' '~'); do
  case "${line#*:*:}" in *'<unistd.h>'*|*'<sys/'*|*'<termios'*|*'<asm/'*|*'<linux/'*|*'<poll.h>'*) bad "${line%%:*}" "a POSIX header in win32/" ;; esac
done
for line in $(includes "$comm"/hosts/qt/* | tr ' ' '~'); do
  case "${line#*:*:}" in *'<QtGui'*|*'<QtWidgets'*|*'<QWidget'*|*'<QApplication'*|*'<QGuiApplication'*|*'<QPainter'*|*'<QColor'*|*'<QImage'*) bad "${line%%:*}" "Qt Gui or Widgets in the Qt Core host" ;; esac
done
for line in $(includes "$1"/station/*.h "$1"/station/*.cpp | tr ' ' '~'); do
  case "${line#*:*:}" in *'<Q'*) bad "${line%%:*}" "a Qt header in the station's library" ;; esac
done
exit $status
