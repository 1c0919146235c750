#!/bin/busybox sh
# The kernel bench's guest: /init of the initramfs that scripts/kernel-bench
# boots on Debian's ARM kernel. It loads the modules, builds the stand-ins
# for the reader's own drivers, runs the shipped programs against the real
# kernel and prints one line per check on the console:
#   KBENCH RESULT NAME PASS|FAIL detail
#   KBENCH FACT NAME: what the kernel did (for comparison with the models)
# then powers off without a sync, so that the host sees on the card image
# only what the programs flushed themselves.

/bin/busybox --install -s /bin
export PATH=/kbench/bin:/usr/bin:/bin:/usr/sbin:/sbin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mount -t tmpfs tmpfs /tmp
mkdir -p /run/lock /dev/pts /dev/block
T=/kbench/kbench-tools
G=/sys/kernel/config/usb_gadget/g1
LUNS=$G/functions/mass_storage.0

result() { echo "KBENCH RESULT $1 $2 $3"; }
fact() { echo "KBENCH FACT $1: $2"; }
verdict() { if [ "$2" = ok ]; then result "$1" PASS "$3"; else result "$1" FAIL "$3"; fi; }

# wait_for TENTHS COMMAND...: runs COMMAND every 0.1 s until it succeeds.
wait_for() {
    tenths=$1
    shift
    while ! "$@" >/dev/null 2>&1; do
        tenths=$((tenths - 1))
        [ "$tenths" -gt 0 ] || return 1
        usleep 100000
    done
}

uptime_cs() { read -r up _ </proc/uptime; echo "${up%.*}${up#*.}"; }

# Nothing reaches the card but what a program flushes itself.
sysctl -qw vm.dirty_writeback_centisecs=0 vm.dirty_expire_centisecs=360000 \
    vm.dirty_background_ratio=90 vm.dirty_ratio=90

while read -r module parameters; do
    insmod "/lib/modules/$module" $parameters || echo "KBENCH: insmod $module failed"
done </kbench/modules.list
mount -t configfs none /sys/kernel/config

wait_for 100 test -b /dev/mmcblk0p8 || echo "KBENCH: no card partitions"

# --- The USB gadget: three mass-storage LUNs (two with the reader's
# inquiry strings, one with the kernel's own) and two serial ports, bound
# to dummy_hcd, whose host side is the PC.
mkdir $G
echo 0x1d6b >$G/idVendor
echo 0x0104 >$G/idProduct
mkdir $G/strings/0x409 $G/configs/c.1 $LUNS $LUNS/lun.1 $LUNS/lun.2 $G/functions/acm.gs0 $G/functions/acm.gs1
echo kbench >$G/strings/0x409/serialnumber
echo "ZEPA    QLX-K1          2081" >$LUNS/lun.0/inquiry_string
echo "ZEPA    J-QLX-610       1.00" >$LUNS/lun.1/inquiry_string
for f in mass_storage.0 acm.gs0 acm.gs1; do ln -s $G/functions/$f $G/configs/c.1/; done
ls /sys/class/udc | head -1 >$G/UDC

# The PC's end: the disks by LUN, the serial ports by interface.
# disk_on CONTROLLER LUN: the PC's disk for a LUN of the gadget on dummy_hcd.CONTROLLER.
disk_on() {
    for d in /sys/block/sd*; do
        case "$(readlink -f "$d")" in */dummy_hcd."$1"/*:"$2"/block/*) echo "${d##*/}"; return 0 ;; esac
    done
    return 1
}
disk_of_lun() { disk_on 0 "$1"; }
wait_for 100 disk_of_lun 2
wait_for 50 test -c /dev/ttyACM1
SDA=$(disk_of_lun 0) SDB=$(disk_of_lun 1) SDC=$(disk_of_lun 2)
echo "KBENCH: LUN disks $SDA $SDB $SDC; $(ls /dev/ttyACM* /dev/ttyGS* | tr '\n' ' ')"
PC_SERIAL=/dev/ttyACM0 PANEL_END=/dev/ttyACM1
[ "$(cat /sys/class/tty/ttyACM0/device/bInterfaceNumber)" -lt "$(cat /sys/class/tty/ttyACM1/device/bInterfaceNumber)" ] ||
    PC_SERIAL=/dev/ttyACM1 PANEL_END=/dev/ttyACM0

# --- Stand-ins for the reader's own drivers. The device nodes are made
# for everyone; the sysfs paths only in the reader's own mount namespace, so
# that what the PC's side does in sysfs reaches the real attributes (a
# write through an overlay would land in its upper layer).
# The panel's UART: the second gadget port.
IFS=: read -r major minor </sys/class/tty/ttyGS1/dev
mknod /dev/ttymxc1 c "$major" "$minor"
# The eMMC's names: the emulated card.
mknod /dev/mmcblk2 b 179 0
mknod /dev/block/mmcblk2 b 179 0
# The raw-data table at its module's parameter path.
mkdir -p /tmp/ov/module/upper/rawdatatable/parameters /tmp/ov/module/work
cp /kbench/rawdata_param /tmp/ov/module/upper/rawdatatable/parameters/rawdata_param
echo 2 >/tmp/ov/module/upper/rawdatatable/parameters/mmc_dev_no
# The gadget's attribute path, leading to the configfs LUNs.
mkdir -p /tmp/ov/platform/upper/usb_mass_storage /tmp/ov/platform/work
for n in 0 1 2; do ln -s $LUNS/lun.$n /tmp/ov/platform/upper/usb_mass_storage/lun$n; done
unshare -m sh -c '
    mount -t overlay overlay -o lowerdir=/sys/module,upperdir=/tmp/ov/module/upper,workdir=/tmp/ov/module/work /sys/module &&
    mount -t overlay overlay \
        -o lowerdir=/sys/devices/platform,upperdir=/tmp/ov/platform/upper,workdir=/tmp/ov/platform/work /sys/devices/platform &&
    touch /tmp/reader-view
    exec sleep 100000' &
READER_VIEW=$!
wait_for 50 test -e /tmp/reader-view || echo "KBENCH: the reader's view is not mounted"
# reader PROGRAM ARGS...: a program as the reader runs it, for at most a
# minute (the console says what runs, so that a hang shows where it is);
# reader_daemon for one that runs until it is stopped.
reader() {
    echo "KBENCH: $(cut -d' ' -f1 /proc/uptime) s: $*" >/dev/console
    nsenter -t $READER_VIEW -m timeout -s KILL 60 "$@"
}
reader_daemon() {
    echo "KBENCH: $(cut -d' ' -f1 /proc/uptime) s: $* &" >/dev/console
    exec nsenter -t $READER_VIEW -m "$@"
}
# The Wi-Fi interface.
ip link add wlan0 type dummy
ip link set wlan0 address 02:4b:42:00:00:01

fact modem-lines "ttyGS0 $($T modem-lines /dev/ttyGS0)"
# A gadget serial port as its driver starts it, and what tcsetattr keeps:
# the line discipline's flags, not the speed or the framing.
fresh=$(stty -F /dev/ttyGS0 -a)
stty -F /dev/ttyGS0 38400 cs7 parenb -icanon 2>/dev/null
kept=$(stty -F /dev/ttyGS0 -a)
ok=ok
for word in "speed 9600" cs8 hupcl -cstopb cread clocal icanon; do echo "$fresh" | grep -qw -- "$word" || ok=no; done
for word in "speed 9600" -parenb -icanon; do echo "$kept" | grep -qw -- "$word" || ok=no; done
stty -F /dev/ttyGS0 icanon 2>/dev/null
verdict tty.gadget-settings $ok "new: $(echo "$fresh" | head -2 | tr '\n' ' '); after 38400 cs7 parenb -icanon: $(echo "$kept" | head -2 | tr '\n' ' ')"

# --- morvane: the waveform area against a file.
out=$(reader morvane verifywf /kbench/waveform.bin 2>&1)
status=$?
out2=$(reader morvane verifywf /kbench/waveform-last-byte.bin 2>&1)
status2=$?
[ $status = 0 ] && [ "$out" = "Data is match." ] && [ $status2 = 22 ] && [ "$out2" = "Data is not same." ] && ok=ok || ok=no
verdict morvane.verifywf $ok "equal file: $status '$out'; last byte changed: $status2 '$out2'"

# --- The framebuffer's node past the end of its memory: at the end a write
# finds no space, beyond it the file is too large.
fb_end=$(($(cat /sys/class/graphics/fb0/stride) * $(cut -d, -f2 /sys/class/graphics/fb0/virtual_size)))
at_end=$(printf x | dd of=/dev/fb0 bs=1 seek=$fb_end conv=notrunc 2>&1)
beyond=$(printf x | dd of=/dev/fb0 bs=1 seek=$((fb_end + 4096)) conv=notrunc 2>&1)
case $at_end in *"No space left on device"*) ok=ok ;; *) ok=no ;; esac
case $beyond in *"File too large"*) ;; *) ok=no ;; esac
verdict fb.past-end $ok "a write at the end ($fb_end): $(echo "$at_end" | head -1); 4096 bytes beyond: $(echo "$beyond" | head -1)"

# --- boskel: the saved environments copied over the active one.
AREA_ACTIVE=$((0x240000)) AREA_NORMAL=$((0x260000)) AREA_RECOVERY=$((0x280000)) ENV_COPY=$((0x10000))
area_sum() { dd if=/dev/mmcblk0 bs=4096 skip=$(($1 / 4096)) count=$(($2 / 4096)) 2>/dev/null | md5sum | cut -c1-32; }
for mode in normal recovery; do
    case $mode in normal) saved=$AREA_NORMAL ;; *) saved=$AREA_RECOVERY ;; esac
    out=$(reader boskel $mode 2>&1)
    status=$?
    [ $status = 0 ] && [ "$out" = "$mode mode changed." ] &&
        [ "$(area_sum $AREA_ACTIVE $ENV_COPY)" = "$(area_sum "$saved" $ENV_COPY)" ] &&
        [ "$(area_sum $((AREA_ACTIVE + ENV_COPY)) $ENV_COPY)" = "$(md5sum </kbench/active-tail.bin | cut -c1-32)" ] &&
        ok=ok || ok=no
    verdict boskel.$mode $ok "status $status '$out'; active area read back"
done

# --- devprov: the Wi-Fi address and the key blob, through the Id area.
out=$(reader devprov -wifi wlan0 2>&1)
status=$?
mac=$(reader devprov -dump wifi_mac_address | xxd -p)
[ $status = 0 ] && [ "$mac" = 024b42000001 ] && ok=ok || ok=no
verdict devprov.wifi $ok "status $status, stored $mac"
out=$(echo 0a1b2c3d4e5f | reader devprov -set-moa 2>&1)
status=$?
key=$(reader devprov -get-moa | xxd -p)
status2=$?
[ $status = 0 ] && [ "$out" = READY ] && [ "$key" = 0a1b2c3d4e5f ] && ok=ok || ok=no
verdict devprov.moa $ok "set-moa $status '$out'; get-moa $status2 $key"

# --- Raw areas that run past the card's end (64 MiB). The kernel maps a
# block device past its end and raises SIGBUS where that part is touched:
# the programs must refuse such an area before they map or read it.
past=$($T map-past-end /dev/mmcblk2 2>&1)
past_status=$?
TABLE=/tmp/ov/module/upper/rawdatatable/parameters/rawdata_param
cp $TABLE /tmp/rawdata_param.saved
sed -e 's/^Id Data:.*/Id Data:0x03fff000:0x00020000/' -e 's/^Waveform Image:.*/Waveform Image:0x03fff000:0x00040000/' \
    /tmp/rawdata_param.saved >$TABLE
out=$(echo 0a1b | reader devprov -set-moa 2>&1)
set_status=$?
reader devprov -get-moa >/dev/null 2>&1
get_status=$?
out2=$(reader morvane verifywf /kbench/waveform.bin 2>&1)
wf_status=$?
cat /tmp/rawdata_param.saved >$TABLE
[ $past_status = 135 ] && [ $set_status = 255 ] && [ -z "$out" ] && [ $get_status = 255 ] &&
    [ "$out2" = "Fail to map eMMC block file !" ] && [ $wf_status = 6 ] && ok=ok || ok=no
verdict rawdata.past-end $ok "the card's last page and the next mapped: '$past', status $past_status (135: SIGBUS); areas over the end: set-moa $set_status '$out', get-moa $get_status, verifywf $wf_status '$out2'"

# --- The eMMC's block-size requests, and reads, writes and terminal
# requests at and past its end.
card_bytes=$(($(cat /sys/class/block/mmcblk0/size) * 512))
[ "$(blockdev --getsize64 /dev/mmcblk2)" = $card_bytes ] && [ "$(blockdev --getss /dev/mmcblk2)" = 512 ] &&
    [ "$(blockdev --getbsz /dev/mmcblk2)" = 4096 ] && [ "$(blockdev --getro /dev/mmcblk2)" = 0 ] && ok=ok || ok=no
verdict emmc.block-requests $ok "size $(blockdev --getsize64 /dev/mmcblk2) of $card_bytes, sector $(blockdev --getss /dev/mmcblk2), block $(blockdev --getbsz /dev/mmcblk2), ro $(blockdev --getro /dev/mmcblk2)"
written=$(printf x | dd of=/dev/mmcblk2 bs=1 seek=$card_bytes conv=notrunc 2>&1)
read_bytes=$(dd if=/dev/mmcblk2 bs=512 skip=$((card_bytes / 512)) count=1 2>/dev/null | wc -c)
terminal=$(stty -F /dev/mmcblk2 2>&1)
ok=ok
case $written in *"No space left on device"*) ;; *) ok=no ;; esac
[ "$read_bytes" = 0 ] || ok=no
case $terminal in *"Invalid argument"*) ;; *) ok=no ;; esac
verdict emmc.past-end $ok "a write at the end: $(echo "$written" | head -1); a read there: $read_bytes bytes; a terminal request: $terminal"

# --- usbhotplugd with LUNs on p5, p6 and p7 (read-only), the switch on a
# uinput device, a modprobe that records.
mkfifo /tmp/switch
$T switch </tmp/switch >/tmp/switch.out 2>&1 &
exec 7>/tmp/switch
wait_for 50 test -c /dev/input/event0
(reader_daemon usbhotplugd -usb -lun0 5 -lun1 6 -lun2 -7 >/tmp/usbhotplugd.out 2>&1 7>&-) &
DAEMON=$!

lun_file() { cat $LUNS/lun.$1/file; }
attached() { [ "$(lun_file "$1")" = "/tmp/lun$1" ]; }
ejected() { [ -z "$(lun_file "$1")" ]; }
# What the PC reads at the start of a LUN's disk.
pc_reads() { dd if="/dev/$1" bs=512 count=1 2>/dev/null | head -c 18; }
pc_sees() { [ "$(pc_reads "$1")" = "KBENCH PARTITION $2" ]; }
pc_no_medium() { ! dd if="/dev/$1" of=/dev/null bs=512 count=1 2>/dev/null; }

wait_for 50 attached 2
ok=ok
detail=""
for pair in 0:$SDA:5 1:$SDB:6 2:$SDC:7; do
    lun=${pair%%:*} part=${pair##*:} disk=${pair#*:}
    disk=${disk%:*}
    wait_for 50 pc_sees "$disk" "$part" || ok=no
    detail="$detail lun$lun=$(lun_file $lun) $disk:'$(pc_reads "$disk")'"
done
verdict usbhotplugd.attach-all $ok "$detail"

ro_pc=$(cat /sys/block/$SDC/ro)
printf 'KBENCH WRITE' | dd of=/dev/$SDC bs=512 seek=1 conv=notrunc,fsync 2>/dev/null && write=taken || write=refused
[ "$(cat $LUNS/lun.2/ro)" = 1 ] && [ "$ro_pc" = 1 ] && [ $write = refused ] && [ "$(cat /sys/block/$SDA/ro)" = 0 ] && ok=ok || ok=no
verdict usbhotplugd.read-only $ok "lun2 ro=$(cat $LUNS/lun.2/ro); PC: $SDC ro=$ro_pc, a write $write; $SDA ro=$(cat /sys/block/$SDA/ro)"
echo 0 >$LUNS/lun.2/ro 2>/tmp/err && refused="changed" || refused="refused: $(cat /tmp/err)"
case $refused in *busy*) ok=ok ;; *) ok=no ;; esac
verdict gadget.ro-while-attached $ok "lun2's ro written 0 while attached: $refused; ro=$(cat $LUNS/lun.2/ro)"
fact blkpg-held "BLKPG_DEL_PARTITION of p5 while LUN 0 holds it: $($T blkpg /dev/mmcblk0 del 5)"
fact vendor-command "$SDA $($T scsi /dev/$SDA vendor)"

# --- fendrac on the PC's side of the stock gadget: the reader's disks by
# INQUIRY, and a command the gadget refuses ends in a failure, in time.
out=$(/pc/fendrac list 2>&1)
status=$?
echo "$out" | grep -q "^/dev/$SDA " && echo "$out" | grep -q "^/dev/$SDB " && ! echo "$out" | grep -q "/dev/$SDC" &&
    [ $status = 0 ] && ok=ok || ok=no
verdict fendrac.stock-list $ok "status $status: $(echo "$out" | tr '\n' ';')"
start=$(uptime_cs)
out=$(timeout -s KILL 30 /pc/fendrac -d /dev/$SDA info 2>&1)
status=$?
took=$(($(uptime_cs) - start))
[ $status != 0 ] && [ $status -lt 124 ] && [ $took -le 1000 ] && [ -n "$out" ] && ok=ok || ok=no
verdict fendrac.stock-info $ok "status $status after $((took / 100)).$((took % 100 / 10)) s: $(echo "$out" | tr '\n' ';')"

# --- A LUN's partition goes away and comes back.
p5_start=$(($(cat /sys/class/block/mmcblk0p5/start) * 512))
p5_size=$(($(cat /sys/class/block/mmcblk0p5/size) * 512))
# The kernel refuses to remove a partition that a LUN holds; its own remove
# uevent for that partition is what a removal sends the daemon.
echo remove >/sys/class/block/mmcblk0p5/uevent
wait_for 50 ejected 0 && wait_for 50 pc_no_medium "$SDA" && ok=ok || ok=no
removed=$($T blkpg /dev/mmcblk0 del 5)
[ "$removed" = OK ] || ok=no
usleep 300000
ejected 0 || ok=no
verdict usbhotplugd.remove-ejects $ok "after the remove uevent: lun0='$(lun_file 0)', PC: $SDA $(pc_no_medium $SDA && echo no medium || echo still readable); BLKPG remove: $removed"
added=$($T blkpg /dev/mmcblk0 add 5 $p5_start $p5_size)
wait_for 50 attached 0 && wait_for 50 pc_sees "$SDA" 5 && ok=ok || ok=no
verdict usbhotplugd.add-reattaches $ok "BLKPG add: $added; lun0='$(lun_file 0)', PC reads '$(pc_reads $SDA)'"

# Another partition's events, with two more listeners on the socket.
$T uevents 2 1500 >/tmp/uevents.out &
LISTENERS=$!
wait_for 20 grep -q ready /tmp/uevents.out
p8_start=$(($(cat /sys/class/block/mmcblk0p8/start) * 512))
p8_size=$(($(cat /sys/class/block/mmcblk0p8/size) * 512))
other="$($T blkpg /dev/mmcblk0 del 8) $($T blkpg /dev/mmcblk0 add 8 $p8_start $p8_size)"
echo remove >/sys/class/block/mmcblk0p1/uevent
wait $LISTENERS
ok=ok
for lun in 0 1 2; do attached $lun || ok=no; done
pc_sees "$SDA" 5 && pc_sees "$SDB" 6 && pc_sees "$SDC" 7 || ok=no
verdict usbhotplugd.other-partitions $ok "p8 removed and added ($other), p1 remove uevent: luns '$(lun_file 0)' '$(lun_file 1)' '$(lun_file 2)'"
fact uevent-p8-remove "$(grep -m1 'listener 0: remove@.*mmcblk0p8' /tmp/uevents.out)"
fact uevent-p8-add "$(grep -m1 'listener 0: add@.*mmcblk0p8' /tmp/uevents.out)"
copies0=$(grep -c 'listener 0: .*mmcblk0p8' /tmp/uevents.out)
copies1=$(grep -c 'listener 1: .*mmcblk0p8' /tmp/uevents.out)
fact uevent-listeners "of the p8 remove and add, listener 0 received $copies0 and listener 1 $copies1 (usbhotplugd's socket was bound too)"

# --- The USB switch.
echo 1 >&7
wait_for 50 grep -q g_android /tmp/modprobe.log
echo 0 >&7
wait_for 50 grep -q -- '-r g_android' /tmp/modprobe.log
log=$(grep -v '^fd' /tmp/modprobe.log | tr '\n' ';')
[ "$log" = "ehci-hcd;g_android;-r ehci-hcd;-r g_android;" ] && ok=ok || ok=no
verdict usbhotplugd.switch-modules $ok "modprobe ran with: $log"
inherited=$(grep '^fd' /tmp/modprobe.log | sort -u | tr '\n' ' ')
[ -z "$inherited" ] && ok=ok || ok=no
verdict usbhotplugd.cloexec $ok "descriptors beyond 0-2 in the module commands: ${inherited:-none}"

fact door-lock "START STOP UNIT (eject) on /dev/$SDB, which the request opens: $($T scsi /dev/$SDB eject)"

# --- -off, after the daemon is stopped by a signal (which skips its eject).
kill $DAEMON
wait $DAEMON 2>/dev/null
fact daemon-stopped "by SIGTERM, LUNs: '$(lun_file 0)' '$(lun_file 1)' '$(lun_file 2)'"
out=$(reader usbhotplugd -off 2>&1)
status=$?
wait_for 50 pc_no_medium "$SDA" && wait_for 50 pc_no_medium "$SDC" && ok=ok || ok=no
[ $status = 0 ] && ejected 0 && ejected 1 && ejected 2 || ok=no
verdict usbhotplugd.off-ejects $ok "status $status; luns '$(lun_file 0)' '$(lun_file 1)' '$(lun_file 2)'; PC: $SDA and $SDC without medium"
fact usbhotplugd-output "$(tr '\n' ';' </tmp/usbhotplugd.out)"

# A daemon killed while LUN 2 was writable: the next one, for which LUN 2
# is read-only, must make it read-only though it still holds its medium.
(reader_daemon usbhotplugd -lun0 5 -lun1 6 -lun2 7 >/tmp/usbhotplugd.writable 2>&1 7>&-) &
DAEMON=$!
wait_for 50 attached 2 && wait_for 50 pc_sees "$SDC" 7 && before="attached, ro=$(cat $LUNS/lun.2/ro)" || before="not attached"
kill -9 $DAEMON
wait $DAEMON 2>/dev/null
(reader_daemon usbhotplugd -lun0 5 -lun1 6 -lun2 -7 >/tmp/usbhotplugd.restarted 2>&1 7>&-) &
DAEMON=$!
wait_for 50 sh -c "[ \"\$(cat $LUNS/lun.2/ro)\" = 1 ]"
wait_for 50 attached 2 && wait_for 50 pc_sees "$SDC" 7
ro_pc=$(cat /sys/block/$SDC/ro)
printf 'KBENCH WRITE' | dd of=/dev/$SDC bs=512 seek=1 conv=notrunc,fsync 2>/dev/null && write=taken || write=refused
[ "$(cat $LUNS/lun.2/ro)" = 1 ] && attached 2 && [ "$ro_pc" = 1 ] && [ $write = refused ] && ok=ok || ok=no
verdict usbhotplugd.killed-read-only $ok "killed with lun2 $before; restarted: lun2='$(lun_file 2)' ro=$(cat $LUNS/lun.2/ro); PC: $SDC ro=$ro_pc, a write $write"
kill $DAEMON
wait $DAEMON 2>/dev/null
reader usbhotplugd -off >/dev/null 2>&1

# What ro takes while LUN 2 holds no medium: the kernel's booleans.
ok=ok
got=""
for pair in y:1 N:0 Yes:1 off:0 ON:1 t:1 f:0 1x:1 true:1 2:- o:-; do
    printf '%s' "${pair%:*}" >$LUNS/lun.2/ro 2>/dev/null && value=$(cat $LUNS/lun.2/ro) || value=-
    [ "$value" = "${pair#*:}" ] || ok=no
    got="$got ${pair%:*}=$value"
done
printf '' >$LUNS/lun.2/ro 2>/dev/null || ok=no
verdict gadget.ro-booleans $ok "ro after each store:$got"
# Backing files of other kinds for the writable LUN 2.
echo 0 >$LUNS/lun.2/ro
mkfifo /tmp/fifo
mknod /tmp/cnode c 231 77
mknod /tmp/cnull c 1 3
ok=ok
got=""
for pair in "/tmp/fifo:Invalid argument" "/tmp/cnode:No such device or address" "/tmp/cnull:Invalid argument" \
    "/tmp:Is a directory"; do
    echo "${pair%%:*}" >$LUNS/lun.2/file 2>/tmp/err && error=taken || error=$(cat /tmp/err)
    case $error in *"${pair#*:}"*) ;; *) ok=no ;; esac
    got="$got ${pair%%:*}: ${error#sh: write error: };"
done
echo -ne '\0' >$LUNS/lun.2/file
echo 1 >$LUNS/lun.2/ro
verdict gadget.lun-other-nodes $ok "$got lun2='$(lun_file 2)'"

# A node whose device is not there: the store opens it, as the kernel does.
mknod /tmp/nodev b 179 200
echo /tmp/nodev >$LUNS/lun.2/file 2>/tmp/err && nodev="taken" || nodev="refused: $(cat /tmp/err)"
case $nodev in *"No such device or address"*) ok=ok ;; *) ok=no ;; esac
verdict gadget.lun-no-device $ok "a node for 179:200 (no such device) stored in lun2's file: $nodev; lun2='$(lun_file 2)'"
echo -ne '\0' >$LUNS/lun.2/file
# The door lock: a PC that holds a disk open keeps its medium.
echo /tmp/lun2 >$LUNS/lun.2/file
exec 8</dev/$SDC
echo -ne '\0' 2>/tmp/err >$LUNS/lun.2/file && held=taken || held="refused: $(cat /tmp/err)"
exec 8<&-
fact door-lock-store "an eject store to lun2/file while the PC holds $SDC open: $held; lun2='$(lun_file 2)'"
generic=$(ls /sys/block/$SDC/device/scsi_generic)
fact sg-eject "START STOP UNIT (eject) through /dev/$generic, which locks no door: $($T scsi /dev/$generic eject); lun2='$(lun_file 2)'"
echo /kbench/waveform.bin >$LUNS/lun.2/file 2>/tmp/err && backed=taken || backed="refused: $(cat /tmp/err)"
fact lun-regular-file "a regular file of 200000 bytes as lun2's backing file: $backed; lun2='$(lun_file 2)'"
head -c 511 /kbench/waveform.bin >/tmp/small.bin
echo /tmp/small.bin >$LUNS/lun.2/file 2>/tmp/err && small=taken || small="refused: $(cat /tmp/err)"
fact lun-small-file "a regular file of 511 bytes as lun2's backing file: $small; lun2='$(lun_file 2)'"
echo -ne '\0' >$LUNS/lun.2/file
echo -ne '/kbench/waveform.bin\n\n' >$LUNS/lun.2/file 2>/tmp/err && newlines=taken || newlines="refused: $(cat /tmp/err)"
fact lun-newlines "'/kbench/waveform.bin' and two newlines stored in lun2's file: $newlines; lun2='$(lun_file 2)'"

# --- quenlay between the PC's end of ttyGS0 and the panel on ttymxc1.
fact modem-lines-panel "ttymxc1 (ttyGS1) $($T modem-lines /dev/ttymxc1)"
$T panel $PANEL_END /tmp/panel.log >/tmp/panel.out 2>&1 &
PANEL=$!
wait_for 20 grep -q ready /tmp/panel.out
(reader_daemon quenlay >/tmp/quenlay.out 2>&1) &
QUENLAY=$!
wait_for 50 sh -c "ls -l /proc/$QUENLAY/fd | grep -q ttymxc1"
usleep 200000
active=$($T exchange $PC_SERIAL 01 4 3000)
status=$($T exchange $PC_SERIAL 1e 13 3000)
received=$(tr '\n' ' ' </tmp/panel.log)
[ "$active" = ee020100 ] && [ "$status" = ee0b1e000102030405060708ee ] && [ "$received" = "01 1e " ] && ok=ok || ok=no
verdict quenlay.frames $ok "01 -> $active, 1e -> $status; the panel received: $received"
touch=$($T exchange $PC_SERIAL 04 0 500)
after=$($T exchange $PC_SERIAL 1e 13 15000)
kill -0 $QUENLAY 2>/dev/null && alive=running || alive=ended
received=$(tr '\n' ' ' </tmp/panel.log)
[ "$after" = ee0b1e000102030405060708ee ] && [ $alive = running ] && [ "${received#01 1e }" = "04 1e " ] && ok=ok || ok=no
waits=$(grep -c 'ioctl error' /tmp/quenlay.out)
verdict quenlay.touch-start $ok "after 04, 1e -> '$after'; the panel received: $received; quenlay $alive, $waits line-wait errors: $(sort /tmp/quenlay.out | uniq -c | head -3 | tr '\n' ';')"
kill $QUENLAY $PANEL 2>/dev/null

# --- The PC library on a reader stand-in gadget.
. /kbench/guest-reader-usb.sh

# --- A program started with standard output closed: what it prints must
# not reach a device that took descriptor 1.
before=$(area_sum 0 4096)
reader devprov -get-moa >&-
status=$?
after=$(area_sum 0 4096)
[ "$before" = "$after" ] && ok=ok || ok=no
verdict devprov.closed-stdout $ok "devprov -get-moa with descriptor 1 closed: status $status; the card's first 4 KiB $([ $ok = ok ] && echo unchanged || echo changed)"

echo "KBENCH DONE"
exec 7>&-
poweroff -f -n
exit 0
