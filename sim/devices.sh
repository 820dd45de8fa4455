# devices.sh — camsim's device options: the camera's flash partitions, SD
# cards and EEPROM, written into the camera root where the root template's
# files and the preloaded shim (sim/shim) read them. Sourced by camsim.

# A number as the options take it: decimal or 0x hexadecimal.
number_ok() { [[ $1 =~ ^(0[xX][0-9a-fA-F]+|[0-9]+)$ ]]; }

# make_cards ROOT SIZE...: card images dev/mmcblk0, 1, ... of those sizes in
# the camera root ROOT, each with a FAT file system when the PC has mkfs.fat
# (as a card comes from the shop).
make_cards() {
    local dir=$1 mkfs i=0 size image
    shift
    mkfs=$(PATH=$PATH:/usr/sbin:/sbin command -v mkfs.fat || true)
    mkdir -p "$dir/dev"
    rm -f "$dir"/dev/mmcblk*
    for size in "$@"; do
        [[ $size =~ ^[1-9][0-9]*[KMG]?$ ]] || die "bad card size $size (a number with K, M or G)"
        image=$dir/dev/mmcblk$i
        truncate -s "$size" "$image"
        if [ -n "$mkfs" ]; then
            "$mkfs" -I "$image" >/dev/null || die "cannot make a file system on $image"
        fi
        i=$((i + 1))
    done
}

# set_mtd SPEC...: the partition list at proc/mtd and each partition's bad
# blocks and failing request under vdsim/mtd/mtdN/.
set_mtd() {
    local spec i=0 name size erase bad fail rest dir b
    local table="dev:    size   erasesize  name"$'\n'
    rm -rf "$root/vdsim/mtd"
    for spec in "$@"; do
        [ "$spec" = none ] && continue
        IFS=: read -r name size erase bad fail rest <<<"$spec"
        [ -n "$name" ] && [[ ! $name =~ [\"[:cntrl:]] ]] || die "bad partition name in --mtd $spec"
        number_ok "$size" && number_ok "$erase" && [ -z "$rest" ] ||
            die "--mtd wants NAME:SIZE:ERASESIZE[:BAD,...[:FAIL]], not $spec"
        table+=$(printf 'mtd%d: %08x %08x "%s"' "$i" "$size" "$erase" "$name")$'\n'
        dir=$root/vdsim/mtd/mtd$i
        mkdir -p "$dir"
        : >"$dir/bad"
        for b in ${bad//,/ }; do
            number_ok "$b" || die "bad block offset $b in --mtd $spec"
            printf '%s\n' "$b" >>"$dir/bad"
        done
        if [ -n "$fail" ]; then
            number_ok "$fail" || die "bad failing offset $fail in --mtd $spec"
            printf '%s\n' "$fail" >"$dir/fail"
        fi
        i=$((i + 1))
    done
    mkdir -p "$root/proc"
    printf '%s' "$table" >"$root/proc/mtd"
}

set_devices() {
    [ ${#mtd[@]} -eq 0 ] || set_mtd "${mtd[@]}"
    case $sd in
        "") ;;
        none) make_cards "$root" ;;
        *) make_cards "$root" ${sd//,/ } ;;
    esac
    local state=$root/vdsim/eeprom
    mkdir -p "$state"
    case $eeprom_driver in
        "") ;;
        platform|standard) printf '%s\n' "$eeprom_driver" >"$state/driver" ;;
        *) die "--eeprom-driver is platform or standard, not $eeprom_driver" ;;
    esac
    # Each --eeprom-fail replaces the fault before it.
    [ -z "$eeprom_fail" ] || rm -f "$state/fail-open" "$state/fail-at"
    case $eeprom_fail in
        ""|none) ;;
        open) : >"$state/fail-open" ;;
        *) number_ok "$eeprom_fail" || die "--eeprom-fail is open, an address or none, not $eeprom_fail"
           printf '%d\n' "$eeprom_fail" >"$state/fail-at" ;;
    esac
}
