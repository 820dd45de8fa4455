# root.sh — making a camera root from the template (sim/root), and its SD
# cards. Sourced by camsim jobs after common.sh; run alone by the launcher as
#   root.sh SIM BUILD ROOT FRESH make   (with the parent's lock held)
#   root.sh SIM BUILD ROOT 0 cards SIZE...

# Everything at the top of a root comes from the template or from camsim, so
# a root holding nothing else is a camera root, maybe a half-made one.
camera_entries_only() {
    local e
    for e in "$root"/* "$root"/.[!.]* "$root"/..?*; do
        [ -e "$e" ] || [ -L "$e" ] || continue
        e=${e##*/}
        case $e in vdsim|.camsim-*) continue ;; esac
        [ -e "$template/$e" ] || return 1
    done
}

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
        image=$dir/dev/mmcblk$i
        truncate -s "$size" "$image"
        if [ -n "$mkfs" ]; then
            "$mkfs" -I "$image" >/dev/null || die "cannot make a file system on $image"
        fi
        i=$((i + 1))
    done
}

# Makes the camera root from the template, once, in a sibling directory that
# is renamed into place when complete: an interrupted or parallel first use
# never leaves a root that is half made. Called with the lock held exclusively.
make_root() {
    if [ "$fresh" = 0 ] && [ -e "$marker" ]; then
        return 0
    fi
    if [ -e "$root" ] || [ -L "$root" ]; then
        [ -d "$root" ] || die "$root is not a directory"
        if [ "$fresh" = 1 ]; then
            [ -z "$(pinned_kinds)" ] || die "the camera at $root is up; take it down first (camsim down)"
            [ -e "$marker" ] || camera_entries_only ||
                die "$root is not a camera root; refusing to empty it"
        elif [ -n "$(ls -A "$root")" ]; then
            die "$root is not empty and not a camera root (if a half-made one, --fresh makes it again)"
        fi
    fi
    # Leftovers of a creation or refresh that was killed.
    rm -rf --one-file-system "$parent/.$base.camsim-new."* "$parent/.$base.camsim-old."*
    local new=$parent/.$base.camsim-new.$$ sql
    trap 'rm -rf --one-file-system "$new"' EXIT
    mkdir "$new"
    [ -d "$root" ] && chmod --reference="$root" "$new"
    cp -a "$template/." "$new/"
    find "$new" -name .keep -delete
    while IFS= read -r -d '' sql; do
        "$bin/mkdb" "$sql" "${sql%.sql}.db" || die "cannot make ${sql%.sql}.db"
        rm -f "$sql"
    done < <(find "$new" -name '*.sql' -print0)
    chmod 1777 "$new/tmp"
    mkdir -p "$new/vdsim"
    make_cards "$new" 256M
    touch "$new/.camsim-root"
    if [ -n "$(ls -A "$root" 2>/dev/null)" ]; then
        local old=$parent/.$base.camsim-old.$$
        mv -T "$root" "$old"
        mv -T "$new" "$root"
        rm -rf --one-file-system "$old"
    else
        mv -T "$new" "$root"
    fi
    trap - EXIT
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -euo pipefail
    die() { printf 'camsim: %s\n' "$*" >&2; exit 125; }
    sim=$1 build=$2 root=$3 fresh=$4
    shift 4
    . "$sim/camsim.d/common.sh"
    case $1 in
        make) make_root ;;
        cards) shift; make_cards "$root" "$@" ;;
    esac
fi
