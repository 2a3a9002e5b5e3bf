#!/bin/sh
# shellcheck disable=SC2016,SC3045 # wait_for evaluates its quoted test; busybox's read has -t
# The guest's /init: loads the USB serial drivers, then runs each case against
# the simulators wired to an FTDI adapter and to the second UART on the host.
# Results go to the console as "KVTEST <case> PASS|FAIL <detail>"; a plug or
# unplug is asked for with "KVSYNC <id> <action>" and done once the host
# answers "KVGO <id>" on the console.

export PATH=/bin:/sbin:/usr/bin
export HOME=/root XDG_RUNTIME_DIR=/run/user/0 XDG_CONFIG_HOME=/root/.config TZ=UTC LANG=C.UTF-8
export LD_LIBRARY_PATH=/usr/lib/kv508 QT_PLUGIN_PATH=/usr/lib/kv508/plugins
T=/tmp/kv

boot() {
    mount -t proc proc /proc
    mount -t sysfs sys /sys
    mount -t devtmpfs dev /dev
    mkdir -p /dev/pts /tmp /run/user/0 "$HOME/.config/kv508" "$T"
    mount -t devpts devpts /dev/pts
    mount -t tmpfs tmp /tmp
    mkdir -p "$T"
    chmod 700 /run/user/0
    # The console carries our markers; what the host sends back is not echoed.
    stty -echo
    for m in usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio; do
        insmod "/lib/modules/$m.ko" || say "insmod $m failed"
    done
    # Both adapters enumerate on their own time after the drivers load.
    wait_for '[ -n "$(usb_tty KVMAIN01)" ] && [ -n "$(usb_tty KVSLOW01)" ]' 200 || say "the USB adapters did not show up"
    read -r up _ </proc/uptime
    say "KVBOOT $up"
    ARGS=$(cat /proc/cmdline)
}

say() { echo "$*"; }
now() { read -r up _ </proc/uptime; echo "$up"; }
result() { say "KVTEST $1 $2 ${3:-}"; }
# A file's lines on the console, for the log kept on a failure.
show() { sed "s/^/  | $1: /" "$2"; }
arg() { # the value of kv.NAME=VALUE on the kernel command line
    for a in $ARGS; do case "$a" in "kv.$1="*) echo "${a#"kv.$1="}" ;; esac; done
}

# Asks the host to do something and waits for its answer.
SYNC=0
sync_host() {
    SYNC=$((SYNC + 1))
    say "KVSYNC $SYNC $*"
    while read -r -t 60 line; do
        case "$line" in *"KVGO $SYNC"*) return 0 ;; esac
    done
    say "no answer from the host to KVSYNC $SYNC"
    return 1
}

# Waits up to $2 tenths of a second for the command $1 to succeed.
wait_for() {
    n=0
    while ! eval "$1" >/dev/null 2>&1; do
        n=$((n + 1))
        [ "$n" -gt "$2" ] && return 1
        sleep 0.1
    done
}

# The tty name of the USB adapter with serial number $1 (empty if none).
usb_tty() {
    for d in /sys/class/tty/ttyUSB*; do
        [ -e "$d/device" ] || continue
        usb=$(readlink -f "$d/device/../..")
        [ "$(cat "$usb/serial" 2>/dev/null)" = "$1" ] && basename "$d"
    done
}

# Each line of standard input with the guest's uptime before it.
stamp() {
    while IFS= read -r l; do
        read -r up _ </proc/uptime
        echo "$up $l"
    done
}

# ---- 1: the port list ------------------------------------------------------------------------

case_ports() {
    kv508ctl ports --json >"$T/ports.json" 2>"$T/ports.err" </dev/null
    rc=$?
    kv508ctl ports >"$T/ports.txt" 2>>"$T/ports.err" </dev/null
    show ports "$T/ports.txt"
    show ports "$T/ports.err"
    main=$(usb_tty KVMAIN01)
    bad=""
    [ "$rc" = 0 ] || bad="$bad exit $rc;"
    grep -q "^$main .*(0403:6001) serial KVMAIN01" "$T/ports.txt" || bad="$bad $main without its USB identity;"
    grep -q '"usb-id": "0403:6001"' "$T/ports.json" || bad="$bad no usb-id in JSON;"
    grep -q '"identity": ".*KVMAIN01' "$T/ports.json" || bad="$bad no identity with the serial in JSON;"
    grep -q '^ttyS1 ' "$T/ports.txt" || grep -q '^ttyS1$' "$T/ports.txt" || bad="$bad the UART ttyS1 missing;"
    # ttyS0 is the kernel's console here: frames sent there would mix with its messages.
    grep -q '^ttyS0\b' "$T/ports.txt" && bad="$bad the console ttyS0 listed;"
    grep -q "left out:.*ttyS0 is the kernel's console" "$T/ports.err" || bad="$bad no word on the console ttyS0;"
    for t in /sys/class/tty/ttyS*; do
        n=$(basename "$t")
        [ "$n" = ttyS0 ] || [ "$n" = ttyS1 ] && continue
        grep -q "^$n\b" "$T/ports.txt" && bad="$bad $n listed without a UART;"
    done
    if [ -z "$bad" ]; then result ports PASS "$main (KVMAIN01) and ttyS1 listed; the console ttyS0 and ttyS2.. left out"; else result ports FAIL "$bad"; fi
}

# ---- 2: read, settings, backup/restore/diff on both kinds of port ---------------------------

rw_on() { # $1 port, $2 label
    p=$1
    f="$T/rw-$2"
    bad=""
    kv508ctl -p "$p" read >"$f.read" 2>&1 </dev/null || bad="$bad read exit $?;"
    grep -q '^firmware: ' "$f.read" || bad="$bad read without firmware;"
    kv508ctl -p "$p" settings set 4ma=123 averaging=40 >"$f.set" 2>&1 </dev/null || bad="$bad set exit $?;"
    kv508ctl -p "$p" settings get >"$f.get" 2>&1 </dev/null
    grep -q '^4ma: 123$' "$f.get" && grep -q '^averaging: 40$' "$f.get" || bad="$bad set not read back;"
    kv508ctl -p "$p" backup "$f.json" >"$f.backup" 2>&1 </dev/null || bad="$bad backup exit $?;"
    kv508ctl -p "$p" settings set 4ma=77 >>"$f.set" 2>&1 </dev/null || bad="$bad second set exit $?;"
    kv508ctl -p "$p" diff "$f.json" >"$f.diff1" 2>&1 </dev/null
    rc=$?
    [ "$rc" = 5 ] && grep -q 4ma "$f.diff1" || bad="$bad diff after a change: exit $rc;"
    kv508ctl -p "$p" restore "$f.json" >"$f.restore" 2>&1 </dev/null || bad="$bad restore exit $?;"
    kv508ctl -p "$p" diff "$f.json" >"$f.diff2" 2>&1 </dev/null || bad="$bad diff after restore exit $?;"
    # Back to the factory values for the cases after this one.
    kv508ctl -p "$p" settings set 4ma=0 averaging=80 >>"$f.set" 2>&1 </dev/null || bad="$bad reset exit $?;"
    for x in read set diff1 restore diff2; do show "rw-$2 $x" "$f.$x"; done
    if [ -z "$bad" ]; then result "rw-$2" PASS "read, set, backup, diff, restore on $p"; else result "rw-$2" FAIL "$p:$bad"; fi
}

case_rw() {
    rw_on "$(usb_tty KVMAIN01)" usb
    rw_on ttyS1 uart
}

# ---- 3: a watch across unplug and replug -----------------------------------------------------

rows() { grep -c ' pressure\| [0-9][0-9]:[0-9][0-9]:[0-9][0-9]' "$1"; }

case_watch() {
    main=$(usb_tty KVMAIN01)
    f="$T/watch.log"
    extra=$(arg watch)
    # shellcheck disable=SC2086 # extra options are words
    (kv508ctl -p "$main" read --watch --interval 500 $extra 2>&1 </dev/null; echo "exit $?") | stamp >"$f" &
    bad=""
    wait_for "[ \$(grep -c 'pressure' $f) -ge 2 ]" 100 || bad="$bad no rows before the unplug;"
    sync_host unplug main
    wait_for "grep -q 'waiting for it to come back' $f" 50 || bad="$bad no pause said within 5 s of the unplug;"
    sync_host plug other
    wait_for '[ -n "$(usb_tty KVOTHR01)" ]' 100
    other=$(usb_tty KVOTHR01)
    [ "$other" = "$main" ] || bad="$bad the other adapter came as '$other', not $main;"
    before=$(grep -c pressure "$f")
    # A look every second: four of them must leave the other adapter alone.
    sleep 4
    after=$(grep -c pressure "$f")
    [ "$before" = "$after" ] || bad="$bad rows went on with the other adapter;"
    grep -q 'is back' "$f" && bad="$bad the other adapter was taken;"
    sync_host unplug other
    sync_host plug main
    plugged=$(now)
    wait_for "grep -q 'is back' $f" 100 || bad="$bad not back within 10 s of the replug;"
    wait_for "[ \$(grep -c pressure $f) -gt $after ]" 50 || bad="$bad no row after the replug;"
    backat=$(grep 'is back' "$f" | head -n 1 | cut -d' ' -f1)
    rowat=$(grep pressure "$f" | sed -n "$((after + 1))p" | cut -d' ' -f1)
    took=none row=none
    [ -n "$backat" ] && took=$(awk -v a="$plugged" -v b="$backat" 'BEGIN { printf "%.2f", b - a }')
    [ -n "$rowat" ] && row=$(awk -v a="$plugged" -v b="$rowat" 'BEGIN { printf "%.2f", b - a }')
    # About 2 s: a look each second, the guest's slow USB enumeration and the check that
    # the same instrument answers before the first row.
    [ "$row" = none ] || awk -v t="$row" 'BEGIN { exit !(t > 0 && t <= 3.0) }' || bad="$bad first row ${row} s after the replug;"
    pid=$(pidof kv508ctl)
    [ -n "$pid" ] && kill -INT "$pid"
    wait
    show watch "$f"
    if [ -z "$bad" ]; then
        result watch PASS "paused; other serial not taken; back ${took} s, first row ${row} s after the replug"
    else
        result watch FAIL "$bad"
    fi
}

# ---- 4: unplugged in the middle of a write ---------------------------------------------------

# Runs "kv508ctl $*" on the slow adapter, unplugs it once the write is on its
# way, plugs it back; sets RC and MSG.
write_unplugged() {
    slow=$(usb_tty KVSLOW01)
    f="$T/midwrite.err"
    kv508ctl -p "$slow" -v --timeout 4000 "$@" >"$f" 2>&1 </dev/null &
    pid=$!
    wait_for "grep -q '> write settings' $f" 100 || say "no write seen"
    sync_host unplug slow
    wait $pid
    RC=$?
    MSG=$(grep -v '^kv508ctl: [<>]' "$f" | tr '\n' ' ')
    sync_host plug slow
    wait_for "[ -n \"\$(usb_tty KVSLOW01)\" ]" 100 || say "the slow adapter did not come back"
}

# Whether the message and a diff against $1 (the settings before) agree.
judge_write() { # $1 label, $2 backup before, $3 what diff must name when stored
    slow=$(usb_tty KVSLOW01)
    kv508ctl -p "$slow" --timeout 4000 diff "$2" >"$T/$1.diff" 2>&1 </dev/null
    drc=$?
    show "$1" "$T/midwrite.err"
    show "$1 diff" "$T/$1.diff"
    case "$MSG" in
    *"may have stored"* | *"confirmed the write"*) said=maybe ;;
    *"nothing was written"* | *"not written"*) said=no ;;
    *) said=silent ;;
    esac
    verdict="exit $RC, said '$said', diff exit $drc"
    if [ "$RC" = 0 ]; then
        if [ "$drc" = 5 ] && grep -q "$3" "$T/$1.diff"; then
            result "$1" PASS "$verdict"
        else
            result "$1" FAIL "$verdict: success without the change"
        fi
    elif [ "$said" = silent ]; then
        result "$1" FAIL "$verdict: the message does not say whether the write reached the instrument: $MSG"
    elif [ "$said" = no ] && [ "$drc" != 0 ]; then
        result "$1" FAIL "$verdict: said not written, yet the instrument changed"
    else
        result "$1" PASS "$verdict"
    fi
}

case_midwrite() {
    slow=$(usb_tty KVSLOW01)
    kv508ctl -p "$slow" --timeout 4000 backup "$T/slow-before.json" >/dev/null 2>&1 </dev/null
    write_unplugged settings set 4ma=321
    judge_write set-unplugged "$T/slow-before.json" 4ma
    # A backup with other values, restored with the adapter pulled midway.
    kv508ctl -p "$slow" --timeout 4000 settings set 4ma=0 averaging=80 >/dev/null 2>&1 </dev/null
    kv508ctl -p "$slow" --timeout 4000 backup "$T/slow-base.json" >/dev/null 2>&1 </dev/null
    kv508ctl -p "$slow" --timeout 4000 settings set averaging=500 >/dev/null 2>&1 </dev/null
    kv508ctl -p "$slow" --timeout 4000 backup "$T/slow-changed.json" >/dev/null 2>&1 </dev/null
    write_unplugged restore "$T/slow-base.json"
    judge_write restore-unplugged "$T/slow-changed.json" averaging
}

# ---- 5 and 6: the window holding the adapter --------------------------------------------------

case_window() {
    main=$(usb_tty KVMAIN01)
    identity=$(kv508ctl ports --json </dev/null | grep -A9 "\"name\": \"$main\"" | sed -n 's/.*"identity": "\(.*\)".*/\1/p')
    printf '[port]\nname=%s\nidentity=%s\n' "$main" "$identity" >"$HOME/.config/kv508/kv508.ini"
    show ini "$HOME/.config/kv508/kv508.ini"
    f="$T/window.log"
    (QT_QPA_PLATFORM=offscreen LD_PRELOAD=/usr/lib/kv508/kvdriver.so kv508 2>&1 </dev/null; echo "exit $?") | stamp >"$f" &
    bad=""
    # The button's text changes (in the window's language) once the port is open.
    wait_for "[ \$(grep -c 'kvdriver: button' $f) -ge 2 ]" 300 || bad="$bad the window did not open $main;"
    show window "$f"

    # 6: the port is the window's now.
    kv508ctl ports >"$T/held.txt" 2>&1 </dev/null
    kv508ctl -p "$main" read >"$T/held-read.txt" 2>&1 </dev/null
    rc=$?
    show held "$T/held.txt"
    show held-read "$T/held-read.txt"
    bad6=""
    grep -q "^$main " "$T/held.txt" && bad6="$bad6 ports lists the held $main;"
    grep -q "left out:.*$main.*kv508" "$T/held.txt" || bad6="$bad6 ports does not name the holder;"
    [ "$rc" = 2 ] || bad6="$bad6 a second open exit $rc, not 2;"
    grep -q "kv508" "$T/held-read.txt" && grep -q "$(pidof kv508)" "$T/held-read.txt" || bad6="$bad6 the open error does not name kv508 and its pid;"
    if [ -z "$bad6" ]; then result exclusive PASS "a second open refused, naming the window"; else result exclusive FAIL "$bad6"; fi

    # 5: unplugged and plugged back under the window.
    sync_host mark window-polling
    sync_host unplug main
    wait_for "grep -q 'kvdriver: reconnecting 1' $f" 100 || bad="$bad no Reconnecting… shown;"
    sleep 2 # the simulator's log must show a gap
    sync_host plug main
    wait_for "grep -q 'kvdriver: reconnecting 0' $f" 150 || bad="$bad still reconnecting 15 s after the replug;"
    sleep 2 # polling again, for the simulator's log
    sync_host check window-polling
    kill "$(pidof kv508)"
    wait
    show window "$f"
    # Anything the window says beyond the driver's reports and Qt's own notes is an error shown.
    noise=$(grep -v 'kvdriver: \(button\|reconnecting\|label\|ports\)\|Terminated\|exit 143\|exit 0\|QStandardPaths\|propagateSizeHints\|This plugin does not support' "$f" | grep -v '^[0-9.]* *$')
    [ -z "$noise" ] || bad="$bad the window said more: $(echo "$noise" | head -n 3 | tr '\n' ' ');"
    grep -q 'kvdriver: dialog' "$f" && bad="$bad a dialog came up;"
    if [ -z "$bad" ]; then result window PASS "polled, Reconnecting…, polled again"; else result window FAIL "$bad"; fi
}

# ---- 7: wake-ups per poll through the real drivers --------------------------------------------

switches() { # voluntary context switches of all the threads of process $1 so far
    cat /proc/"$1"/task/*/status 2>/dev/null | awk '/^voluntary_ctxt_switches/ { s += $2 } END { print s + 0 }'
}

# kv508ctl polling as a rig does; its wake-ups per poll over the 30 polls after the 5th.
wakeups_on() { # $1 port, $2 label; sets PER to the figure or "none"
    f="$T/wake-$2"
    kv508ctl -p "$1" read --watch --count 40 --interval 0 >"$f" 2>&1 </dev/null &
    pid=$!
    PER=none
    if wait_for "[ \$(grep -c pressure $f) -ge 5 ]" 150; then
        a=$(switches "$pid")
        ra=$(grep -c pressure "$f")
        wait_for "[ \$(grep -c pressure $f) -ge 35 ]" 300
        b=$(switches "$pid")
        rb=$(grep -c pressure "$f")
        [ "$rb" -gt "$ra" ] && PER=$(awk -v a="$a" -v b="$b" -v n=$((rb - ra)) 'BEGIN { printf "%.1f", (b - a) / n }')
    fi
    wait "$pid"
}

case_wakeups() {
    bad=""
    wakeups_on "$(usb_tty KVMAIN01)" usb
    usb=$PER
    wakeups_on ttyS1 uart
    uart=$PER
    for v in "usb:$usb" "uart:$uart"; do
        # A wake-up per answer character would be over 50.
        awk -v v="${v#*:}" 'BEGIN { exit !(v != "none" && v <= 12) }' || bad="$bad ${v%%:*} ${v#*:} wake-ups per poll;"
    done
    if [ -z "$bad" ]; then
        result wakeups PASS "kv508ctl polling: $usb wake-ups per poll over ftdi_sio, $uart over the 16550"
    else
        show wakeups-usb "$T/wake-usb"
        result wakeups FAIL "$bad (ftdi_sio $usb, 16550 $uart)"
    fi
}

boot
for c in $(arg cases | tr ',' ' '); do
    say "KVCASE $c $(now)"
    "case_$c"
done
say "KVEND $(now)"
sync
poweroff -f
