# segment.sh — many cameras on one bridge, as on a factory segment. Sourced by
# sim/camsim after common.sh; the verb segment.
. "$jobs/net.sh"

segment_main() {
    [ $# -gt 0 ] || die "segment needs up N, down, status or peer"
    local seg_verb=$1 seg_count="" seg_base=""
    shift
    case $seg_verb in up|down|status|peer) ;; *) die "segment: unknown command $seg_verb (see camsim --help)" ;; esac
    if [ "$seg_verb" = up ]; then
        [ $# -gt 0 ] || die "segment up needs a number of cameras"
        seg_count=$1; shift
        [[ $seg_count =~ ^[1-9][0-9]{0,2}$ ]] && [ "$seg_count" -le 244 ] ||
            die "segment up: $seg_count is not a number of cameras from 1 to 244"
    fi
    while [ $# -gt 0 ]; do
        case $1 in
            --base) [ $# -ge 2 ] || die "--base needs a directory"; seg_base=$2; shift 2 ;;
            --) [ "$seg_verb" = peer ] || die "segment $seg_verb: unknown argument $1"; shift; break ;;
            *) [ "$seg_verb" = peer ] || die "segment $seg_verb: unknown argument $1"; break ;;
        esac
    done
    seg_base=$(readlink -m "${seg_base:-$build/segment}")
    local segdir=$seg_base/.camsim-segment
    local segpeer=$segdir/peer i r
    seg_up() { findmnt -rn --mountpoint "$segpeer" >/dev/null 2>&1; }
    cameras() {
        for r in "$seg_base"/cam*; do
            [[ ${r##*/} =~ ^cam[1-9][0-9]*$ ]] && [ -e "$r/.camsim-root" ] && printf '%s\n' "$r"
        done
    }
    seg_down() {
        while IFS= read -r r; do
            "$me" --build "$build" --root "$r" down
        done < <(cameras)
        if seg_up; then umount "$segpeer" || die "cannot release the segment's peer namespace"; fi
        rm -rf "$segdir"
    }
    case $seg_verb in
        status)
            if seg_up; then
                printf '%s: up (%s cameras)\n' "$seg_base" "$(cat "$segdir/count")"
                exit 0
            fi
            printf '%s: down\n' "$seg_base"
            exit 1 ;;
        peer)
            seg_up || die "no segment is up at $seg_base"
            run_peer "$segpeer" "$@" ;;
    esac
    [ "$(id -u)" = 0 ] || die "segment needs root: its namespaces are pinned by mounts on the PC"
    case $seg_verb in
        down)
            seg_down
            exit 0 ;;
        up)
            seg_up && die "a segment is up at $seg_base; take it down first (camsim segment down)"
            seg_down
            mkdir -p "$segdir"
            : > "$segpeer"
            unshare "--net=$segpeer" true || die "cannot pin the segment's peer namespace"
            nsenter "--net=$segpeer" sh -c "
                sysctl -q -w net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
                    net.ipv6.conf.lo.disable_ipv6=1 >/dev/null 2>&1
                ip link set lo up &&
                ip link add eth0 address $peer_mac type bridge forward_delay 0 &&
                ip addr add $peer_addr dev eth0 && ip link set eth0 up" ||
                die "cannot make the segment's bridge"
            printf '%s\n' "$seg_count" > "$segdir/count"
            local sql=$segdir/vddb.sql
            for i in $(seq "$seg_count"); do
                r=$seg_base/cam$i
                "$me" --build "$build" --root "$r" --fresh up --net --mac "$(printf '02:00:00:00:01:%02x' "$i")" \
                    --segment-peer "$segpeer" "cam$i" || die "cannot bring camera $i up"
                # Each camera its own stored address, in place before its first start.
                { cat "$template/opt/app/vddb.sql"
                  printf "UPDATE network SET ipaddr = '192.0.2.%d' WHERE iface = 0;\n" $((10 + i))
                } > "$sql"
                "$bin/mkdb" "$sql" "$r/mnt/nand/vddb.db" || die "cannot make the database of camera $i"
                setsid "$me" --build "$build" --root "$r" -- debug -M search \
                    </dev/null >"$r/search.log" 2>&1 &
            done
            rm -f "$sql"
            exit 0 ;;
    esac
}
