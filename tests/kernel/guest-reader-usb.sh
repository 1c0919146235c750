# The kernel bench's PC library checks, sourced by guest-init.sh: the
# reader's USB side as a gadget on the second UDC (kbench-gadget on
# FunctionFS, with a virtual reader's USB model behind it), and the shipped
# fendrac and libfendrac on the PC's side of it, through the real
# usb-storage, sd and sg drivers. Each check compares with the model's own
# files in the reader's directory.

READER=/tmp/reader
/kbench/vreader init $READER >/dev/null || echo "KBENCH: vreader init failed"
G2=/sys/kernel/config/usb_gadget/g2
mkdir $G2 $G2/strings/0x409 $G2/configs/c.1 $G2/functions/ffs.reader
echo 0x1d6b >$G2/idVendor
echo 0x0105 >$G2/idProduct
echo kbench-reader >$G2/strings/0x409/serialnumber
ln -s $G2/functions/ffs.reader $G2/configs/c.1/
mkdir -p /dev/ffs-reader /tmp/gadget-luns
mount -t functionfs reader /dev/ffs-reader
# The reader's three volumes of 8 MiB, and a plain disk of 16 MiB.
/kbench/kbench-gadget /dev/ffs-reader $READER /tmp/gadget-luns 16384 32768 >/tmp/gadget.out 2>&1 &
GADGET=$!
wait_for 50 grep -q ready /tmp/gadget.out || echo "KBENCH: the stand-in gadget is not ready: $(cat /tmp/gadget.out)"
ls /sys/class/udc | sed -n 2p >$G2/UDC || echo "KBENCH: the stand-in gadget does not bind"

reader_disk() { disk_on 1 "$1"; }
wait_for 100 reader_disk 3
RE=$(reader_disk 0) RF=$(reader_disk 1) RG=$(reader_disk 2) RP=$(reader_disk 3)
echo "KBENCH: the stand-in gadget's disks: $RE $RF $RG, plain $RP; $(tr '\n' ' ' </tmp/gadget.out)"
PC="timeout -s KILL 600 /pc/fendrac -d /dev/$RE"
journal_has() { grep -q "$1" $READER/journal.jsonl; }
sum() { md5sum <"$1" | cut -c1-32; }
# The milliseconds the gadget has spent in the reader's model so far.
model_ms() {
    rm -f /tmp/gadget-luns/model-time
    kill -USR2 $GADGET
    wait_for 20 test -e /tmp/gadget-luns/model-time && cut -d' ' -f1 /tmp/gadget-luns/model-time || echo 0
}

out=$(/pc/fendrac list 2>&1)
status=$?
echo "$out" | grep -q "^/dev/$RE .*built-in storage" && echo "$out" | grep -q "^/dev/$RF .*SD card" &&
    echo "$out" | grep -q "^/dev/$RG .*memory stick" && [ $status = 0 ] && ok=ok || ok=no
verdict fendrac.list $ok "status $status: $(echo "$out" | tr '\n' ';')"

out=$($PC info 2>&1)
status=$?
echo "$out" | grep -q "^protocol *01000010" && echo "$out" | grep -q "^device type *QLX-K1" &&
    [ $status = 0 ] && ok=ok || ok=no
verdict fendrac.info $ok "status $status: $(echo "$out" | tr '\n' ';')"

# Round trips, the model's copy compared too; the last size is not a
# multiple of the 4096-byte pieces. 16 MiB only with kernel-bench --large.
sizes="1024 1048576 300001"
if grep -qw kbench.large /proc/cmdline; then
    sizes="1024 1048576 16777216 300001"
else
    result fendrac.file-16777216 SKIP "4096 SCSI commands each way: run scripts/kernel-bench --large"
fi
for size in $sizes; do
    head -c $size /dev/urandom >/tmp/pc.bin
    [ $size = 300001 ] || cp /tmp/pc.bin /tmp/throughput.bin
    model_start=$(model_ms)
    start=$(uptime_cs)
    put=$($PC file put /tmp/pc.bin /documents/kb-$size.bin 2>&1)
    put_status=$?
    middle=$(uptime_cs)
    model_middle=$(model_ms)
    get=$($PC file get /documents/kb-$size.bin /tmp/back.bin 2>&1)
    get_status=$?
    end=$(uptime_cs)
    model_end=$(model_ms)
    stored=$(sum $READER/storage/documents/kb-$size.bin 2>/dev/null)
    [ $put_status = 0 ] && [ $get_status = 0 ] && [ "$stored" = "$(sum /tmp/pc.bin)" ] &&
        [ "$(sum /tmp/back.bin)" = "$stored" ] && ok=ok || ok=no
    verdict fendrac.file-$size $ok "put $put_status in $(((middle - start) / 100)) s, get $get_status in $(((end - middle) / 100)) s; the reader's copy $([ "$stored" = "$(sum /tmp/pc.bin)" ] && echo equal || echo differs): $(echo "$put;$get" | tr '\n' ';')"
    [ $size = 300001 ] || { put_cs=$((middle - start)) get_cs=$((end - middle))
        put_model_cs=$(((model_middle - model_start) / 10)) get_model_cs=$(((model_end - model_middle) / 10)); }
    rm -f /tmp/pc.bin /tmp/back.bin
done

# Throughput on the same stack: the largest round trip above against dd of
# the same bytes to and from the plain LUN with 4096-byte direct I/O, which
# is as many SCSI commands. The ratio is fendrac's speed over dd's, as
# measured and with the time the reader's model took in the gadget taken
# out (the PC side and the transport alone).
bytes=$(wc -c </tmp/throughput.bin)
start=$(uptime_cs)
dd if=/tmp/throughput.bin of=/dev/$RP bs=4096 oflag=direct 2>/dev/null
middle=$(uptime_cs)
dd if=/dev/$RP of=/tmp/dd.bin bs=4096 count=$((bytes / 4096)) iflag=direct 2>/dev/null
end=$(uptime_cs)
dd_put=$((middle - start)) dd_get=$((end - middle))
ratio() { [ "$2" -gt 0 ] && echo "$(($1 * 100 / $2 / 100)).$(($1 * 100 / $2 % 100 / 10))$(($1 * 100 / $2 % 10))x" || echo "-"; }
cmp -s /tmp/dd.bin /tmp/throughput.bin && dd_same=equal || dd_same=differs
fact throughput "$bytes bytes: fendrac file put $((put_cs * 10)) ms (the model's part $((put_model_cs * 10)) ms), dd to the plain LUN $((dd_put * 10)) ms: $(ratio $dd_put $put_cs), without the model $(ratio $dd_put $((put_cs - put_model_cs))); file get $((get_cs * 10)) ms (the model's part $((get_model_cs * 10)) ms), dd from it $((dd_get * 10)) ms: $(ratio $dd_get $get_cs), without the model $(ratio $dd_get $((get_cs - get_model_cs))) (dd's bytes read back $dd_same)"
rm -f /tmp/throughput.bin /tmp/dd.bin
model_ms >/dev/null
interleaved=$(cat /tmp/gadget-luns/model-time.interleaved 2>/dev/null)
fact interleaved "the disk driver's commands between a vendor command's exchanges so far (operation:count): ${interleaved:-none}"

out=$($PC file rm /documents/kb-1024.bin 2>&1)
status=$?
[ $status = 0 ] && [ ! -e $READER/storage/documents/kb-1024.bin ] && [ -e $READER/storage/documents/kb-300001.bin ] &&
    ok=ok || ok=no
verdict fendrac.file-rm $ok "status $status: $out; the reader's documents: $(ls $READER/storage/documents | tr '\n' ' ')"

head -c 200000 /dev/urandom >/tmp/image.bin
mode=$($PC update mode 1 2>&1)
out=$($PC partition create-image kernel 200000 0 0 /tmp/image.bin --tag kernel-1 2>&1)
status=$?
size=$($PC partition size kernel 2>&1)
[ $status = 0 ] && [ "$size" = "200000 0 200000" ] && [ "$(sum $READER/partitions/kernel.img)" = "$(sum /tmp/image.bin)" ] &&
    grep -q '^tag=kernel-1$' $READER/partitions/kernel.conf && ok=ok || ok=no
verdict fendrac.partition $ok "$mode; create-image $status: $out; size: $size; the reader's image $(cmp -s $READER/partitions/kernel.img /tmp/image.bin && echo equal || echo differs)"

# The reader takes the request off its queue as it hands it over.
cp $READER/tunnel/000001.request /tmp/expected.http
request=$($PC tunnel get /tmp/request.http 2>&1)
get_status=$?
printf 'HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok' >/tmp/response.http
response=$($PC tunnel put /tmp/response.http 2>&1)
put_status=$?
[ $get_status = 0 ] && [ $put_status = 0 ] && cmp -s /tmp/request.http /tmp/expected.http &&
    [ ! -e $READER/tunnel/000001.request ] &&
    cmp -s /tmp/response.http $READER/tunnel/responses/000001.response && ok=ok || ok=no
verdict fendrac.tunnel $ok "get $get_status ($(wc -c </tmp/request.http) bytes, $(cmp -s /tmp/request.http /tmp/expected.http && echo "the reader's request" || echo "not the reader's request")): $request; put $put_status: $response; responses: $(ls $READER/tunnel/responses | tr '\n' ' ')"

# Faults of the transport, each fired once by the gadget into one exchange
# of a file transfer of three pieces: the opening one (the request, phase
# 1), the first data piece (the second continuing exchange, phase 3) or the
# closing one (the last piece, phase 2) of a write (code 130) or a read
# (129). Whatever the kernel makes of it, the library's answer holds: 0
# only with the data whole and exact; otherwise a failure, no half file on
# either side, and a clean info afterwards. The debugger output's SG_IO
# lines are what the kernel handed the library.
FAULT=/tmp/gadget-luns/fault
head -c 12288 /dev/urandom >/tmp/fault.bin
$PC file put /tmp/fault.bin /documents/fault-get.bin >/dev/null 2>&1 || echo "KBENCH: the faults' file is not on the reader"
mkdir -p /tmp/fault-get
# transport_fault NAME "KIND CODE PHASE NTH [UDC]" put|get [VAR=VALUE]
transport_fault() {
    rm -f $FAULT.fired $FAULT.armed $FAULT.refused /tmp/fault-get/*
    echo "$2" >$FAULT
    start=$(uptime_cs)
    kernel_lines=$(dmesg | wc -l)
    if [ "$3" = put ]; then
        there=$READER/storage/documents/fault-put.bin
        out=$(env FENDRAC_DEBUG=1 $4 $PC file put /tmp/fault.bin /documents/fault-put.bin 2>&1)
        status=$?
        if [ $status = 0 ]; then [ "$(sum $there)" = "$(sum /tmp/fault.bin)" ] && whole=exact || whole=differs
        else [ ! -e $there ] && whole="no half file" || whole="a half file of $(wc -c <$there) bytes"; fi
    else
        out=$(env FENDRAC_DEBUG=1 $4 $PC file get /documents/fault-get.bin /tmp/fault-get/copy.bin 2>&1)
        status=$?
        if [ $status = 0 ]; then cmp -s /tmp/fault-get/copy.bin /tmp/fault.bin && whole=exact || whole=differs
        else [ -z "$(ls /tmp/fault-get)" ] && whole="no half file" || whole="left: $(ls /tmp/fault-get | tr '\n' ' ')"; fi
    fi
    seconds=$((($(uptime_cs) - start) / 100))
    fired=$(cat $FAULT.fired 2>/dev/null)
    [ -e $FAULT.refused ] && fired="refused: $(cat $FAULT.refused | tr '\n' ' ')"
    echo off >$FAULT
    kernel=$(echo "$out" | sed -n 's/^fendrac: SG_IO/SG_IO/p' | sort | uniq -c | tr -s ' ' | tr '\n' ';')
    said=$(echo "$out" | grep -v '^fendrac: ' | tr '\n' ';')
    kernel="$kernel $(dmesg | tail -n +$((kernel_lines + 1)) | sed 's/^\[[^]]*\] //' | grep -iE 'reset|abort|timed? ?out|offline' | sort | uniq -c | tr -s ' ' | tr '\n' ';')"
    case "$whole" in exact | "no half file") ;; *) whole="$whole!" ;; esac
}
fault_verdict() {
    info=$($PC info 2>&1)
    info_status=$?
    case "$whole" in *!) ok=no ;; *) ok=ok ;; esac
    [ -n "$fired" ] && [ "${fired#refused}" = "$fired" ] && [ $status -lt 124 ] && [ $info_status = 0 ] || ok=no
    verdict fendrac.fault-$1 $ok "$fired; $3 status $status in $seconds s ($said) $whole; the kernel: $kernel info after: $info_status"
}
for check in "stall-put-open|stall 130 1 1|put" "stall-put-piece|stall 130 3 2|put" "stall-put-last|stall 130 2 1|put" \
    "stall-get-piece|stall 129 3 2|get" "stall-get-last|stall 129 2 1|get" \
    "fail-put-open|fail 130 1 1|put" "fail-put-piece|fail 130 3 2|put" "fail-put-last|fail 130 2 1|put" \
    "fail-get-piece|fail 129 3 2|get" "fail-get-last|fail 129 2 1|get" "hardware-put-piece|hardware 130 3 2|put" \
    "short-put-open|short 130 1 1|put" "short-put-piece|short 130 3 2|put" "short-put-last|short 130 2 1|put" \
    "short-get-piece|short 129 3 2|get" "short-get-last|short 129 2 1|get" \
    "phase-error-open|phase-error 130 1 1|put" "phase-error-piece|phase-error 129 3 2|get" \
    "phase-error-last|phase-error 129 2 1|get" \
    "wrong-tag-open|wrong-tag 130 1 1|put" "wrong-tag-piece|wrong-tag 130 3 2|put" "wrong-tag-last|wrong-tag 129 2 1|get" \
    "silent-piece|silent 130 3 2|put|FENDRAC_SCSI_TIMEOUT=10"; do
    IFS='|' read -r name line way environment <<EOF
$check
EOF
    transport_fault "$name" "$line" "$way" "$environment"
    fault_verdict "$name" "$line" "$way"
done

# The gadget unbinds itself in the middle of a read: the read fails, no
# file is left on the PC, and the drive is gone and says so. Then a new
# gadget process is bound, as a reader plugged in again.
transport_fault unbind "unbind 129 3 2 $G2/UDC" get
wait_for 50 test ! -e /sys/block/$RE
gone=$($PC info 2>&1)
gone_status=$?
[ -n "$fired" ] && [ $status != 0 ] && [ $status -lt 124 ] && [ "$whole" = "no half file" ] && [ $gone_status != 0 ] &&
    [ $gone_status -lt 124 ] && [ -n "$gone" ] && ok=ok || ok=no
verdict fendrac.fault-unbind $ok "$fired; get status $status in $seconds s ($said) $whole; the kernel: $kernel info after: $gone_status ($(echo "$gone" | tr '\n' ';'))"
kill $GADGET 2>/dev/null
wait $GADGET 2>/dev/null
/kbench/kbench-gadget /dev/ffs-reader $READER /tmp/gadget-luns 16384 32768 >/tmp/gadget.out 2>&1 &
GADGET=$!
wait_for 50 grep -q ready /tmp/gadget.out || echo "KBENCH: the stand-in gadget is not ready again: $(cat /tmp/gadget.out)"
ls /sys/class/udc | sed -n 2p >$G2/UDC || echo "KBENCH: the stand-in gadget does not bind again"
wait_for 100 reader_disk 3
RE=$(reader_disk 0) RF=$(reader_disk 1) RG=$(reader_disk 2) RP=$(reader_disk 3)
PC="timeout -s KILL 600 /pc/fendrac -d /dev/$RE"
echo "KBENCH: the stand-in gadget's disks again: $RE $RF $RG, plain $RP"

# Vendor commands as an ordinary user with read and write access to both
# nodes (what a udev rule gives), then as root.
generic=$(ls /sys/block/$RE/device/scsi_generic)
chmod 666 /dev/$RE /dev/$generic
user=$($T as-user 1000 /pc/fendrac -d /dev/$RE info 2>&1)
user_status=$?
user_sg=$($T as-user 1000 /pc/fendrac -d /dev/$generic info 2>&1)
user_sg_status=$?
root=$($PC info 2>&1)
root_status=$?
fact sg-io-user "fendrac info as uid 1000 on /dev/$RE (mode $(stat -c %a /dev/$RE)): status $user_status: $(echo "$user" | tr '\n' ';') on /dev/$generic: status $user_sg_status: $(echo "$user_sg" | tr '\n' ';')"
fact vendor-command-user "$($T as-user 1000 /kbench/kbench-tools scsi /dev/$RE vendor)"
[ $root_status = 0 ] && [ $user_status != 0 ] && [ $user_status -lt 124 ] && echo "$user" | grep -q CAP_SYS_RAWIO &&
    echo "$user" | grep -q "/dev/$generic" && [ $user_sg_status = 0 ] && ok=ok || ok=no
verdict fendrac.access $ok "as uid 1000: on /dev/$RE status $user_status: $(echo "$user" | tr '\n' ';'); on /dev/$generic status $user_sg_status; as root: status $root_status"
chmod 660 /dev/$RE /dev/$generic

out=$($PC eject 2>&1)
status=$?
wait_for 50 test ! -e /sys/block/$RE && gone=gone || gone=present
[ $status = 0 ] && [ $gone = gone ] && journal_has '"command":"start_stop_unit"' && ok=ok || ok=no
verdict fendrac.eject $ok "status $status: $(echo "$out" | tr '\n' ';') /sys/block/$RE $gone; the reader's journal $(journal_has '"command":"start_stop_unit"' && echo has || echo lacks) START STOP UNIT"

echo "" >$G2/UDC
kill $GADGET 2>/dev/null
