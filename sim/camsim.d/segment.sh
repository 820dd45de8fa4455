# segment.sh — many cameras on one bridge, as on a factory segment. Sourced by
# job.sh after common.sh; the verb segment.
#
# The cameras are made in bulk: one root is made from the template and copied
# for each camera, and a worker per CPU takes a share of them, with one
# process per step for its whole share where the tool takes many (one SQLite
# session for the addresses, one `ip -batch` for the links). Each camera ends
# as `up --net` leaves one: a normal root that `camsim --root DIR/camI`
# enters, with its pins under .camsim-ns.
. "$jobs/root.sh"
. "$jobs/net.sh"

# How long segment up waits for every camera to answer a search.
seg_wait=60
# One search's window: the replies of a whole segment come within milliseconds.
seg_window_ms=250

segment_main() {
    [ $# -gt 0 ] || die "segment needs up N, down, status or peer"
    local seg_verb=$1
    shift
    seg_count=""
    seg_base=""
    case $seg_verb in up|down|status|peer) ;; *) die "segment: unknown command $seg_verb (see camsim --help)" ;; esac
    while [ $# -gt 0 ]; do
        case $1 in
            --base) [ $# -ge 2 ] || die "--base needs a directory"; seg_base=$2; shift 2 ;;
            --) [ "$seg_verb" = peer ] || die "segment $seg_verb: unknown argument $1"; shift; break ;;
            *)
                if [ "$seg_verb" = up ] && [ -z "$seg_count" ]; then
                    seg_count=$1; shift; continue
                fi
                [ "$seg_verb" = peer ] || die "segment $seg_verb: unknown argument $1"
                break ;;
        esac
    done
    if [ "$seg_verb" = up ]; then
        [ -n "$seg_count" ] || die "segment up needs a number of cameras"
        [[ $seg_count =~ ^[1-9][0-9]{0,2}$ ]] && [ "$seg_count" -le 244 ] ||
            die "segment up: $seg_count is not a number of cameras from 1 to 244"
    fi
    seg_base=$(readlink -m "${seg_base:-$build/segment}")
    segdir=$seg_base/.camsim-segment
    segpeer=$segdir/peer
    # The cameras' roots are in the base: the base is their parent, whose lock
    # serialises making, taking up and down and entering them.
    parent=$seg_base
    case $seg_verb in
        status)
            if [ -d "$seg_base" ]; then
                lock s
                if seg_up; then seg_status; exit 0; fi
            fi
            printf '%s: down\n' "$seg_base"
            exit 1 ;;
        peer)
            seg_up || die "no segment is up at $seg_base"
            run_peer "$segpeer" "$@" ;;
    esac
    is_root || die "segment needs root: its namespaces are pinned by mounts on the PC"
    case $seg_verb in
        down)
            [ -d "$seg_base" ] || exit 0
            lock x
            seg_takedown
            exit 0 ;;
        up)
            mkdir -p "$seg_base"
            lock x
            seg_up && die "a segment is up at $seg_base; take it down first (camsim segment down)"
            seg_bring_up
            exit 0 ;;
    esac
}

seg_up() { mounted "$segpeer"; }

# seg_mounts: the mount points under the base, from the PC's mount table,
# read in one pass: `read` seeks back after each line, and a table that other
# programs change meanwhile then loses lines.
seg_mounts() {
    local line mp
    local -a table
    declare -gA seg_mounted=()
    mapfile -t table </proc/self/mountinfo
    for line in "${table[@]}"; do
        [[ $line =~ ^[^\ ]+\ [^\ ]+\ [^\ ]+\ [^\ ]+\ ([^\ ]+) ]] || continue
        printf -v mp '%b' "${BASH_REMATCH[1]}"
        case $mp in "$seg_base"/*) seg_mounted[$mp]=1 ;; esac
    done
}

# The directories DIR/camI at the base, made whole or in part by a segment up.
seg_roots() {
    local r
    seg_cams=()
    for r in "$seg_base"/cam*; do
        [[ ${r##*/} =~ ^cam[1-9][0-9]*$ ]] && [ -d "$r" ] && seg_cams+=("$r")
    done
    return 0
}

# seg_alive PID: the process runs (a zombie does not); its /proc/PID/stat
# fields from the state on are left in seg_stat.
seg_alive() {
    local line
    { read -r line <"/proc/$1/stat"; } 2>/dev/null || return 1
    # The name in parentheses may hold anything, so the fields start after its last ")".
    read -ra seg_stat <<<"${line##*) }"
    [ "${seg_stat[0]}" != Z ]
}
# A process is kept as its PID and start time, which tells a reused PID from it.
seg_alive_as() { seg_alive "$1" && [ "${seg_stat[19]}" = "$2" ]; }

# seg_responders: the responders that segment up started, from the segment's
# list of "I PID START" lines, as seg_rpid[I] and seg_rstart[I].
seg_responders() {
    local i pid start
    declare -ga seg_rpid=() seg_rstart=()
    [ -e "$segdir/responders" ] || return 0
    while read -r i pid start; do
        seg_rpid[i]=$pid
        seg_rstart[i]=$start
    done <"$segdir/responders"
}

# seg_remove PATH...: removes trees several at a time, as the PC's disk may
# take milliseconds for each file it frees.
seg_remove() {
    [ $# -gt 0 ] || return 0
    printf '%s\0' "$@" | xargs -0 -n 4 -P 16 rm -rf --one-file-system --
}

# Takes down every camera at the base and the segment's peer: a camera's
# reaper killed ends its processes, then its pins are released. The roots
# stay, with their logs. With "ours", the reapers and responders recorded by
# this very run are killed at any stage of their start.
seg_takedown() {
    local ours=${1:-} i r n pid mp
    local -a reapers=() pins=() nsdirs=()
    seg_roots
    for r in "${seg_cams[@]}"; do
        n=$r/.camsim-ns
        [ -d "$n" ] || continue
        nsdirs+=("$n")
        { read -r pid <"$n/init"; } 2>/dev/null || continue
        [[ $pid =~ ^[0-9]+$ ]] || continue
        if [ "/proc/$pid/ns/pid_for_children" -ef "$n/pid" ] ||
            { [ -n "$ours" ] && [ "${r##*/cam}" -le "$seg_count" ]; }; then
            kill -KILL "$pid" 2>/dev/null && reapers+=("$pid")
        fi
    done
    if [ -n "$ours" ]; then
        seg_responders
        for i in "${!seg_rpid[@]}"; do
            ! seg_alive_as "${seg_rpid[i]}" "${seg_rstart[i]}" || kill -KILL "${seg_rpid[i]}" 2>/dev/null || true
        done
    fi
    for pid in "${reapers[@]}"; do
        while seg_alive "$pid"; do sleep 0.02; done
    done
    seg_mounts
    for mp in "${!seg_mounted[@]}"; do
        case $mp in "$seg_base"/cam*/.camsim-ns/*|"$segpeer") pins+=("$mp") ;; esac
    done
    if [ ${#pins[@]} -gt 0 ]; then
        umount "${pins[@]}" || die "cannot release the segment's namespaces"
    fi
    seg_remove "${nsdirs[@]}" "$segdir"/old/* "$segdir"/new/*
    rm -rf --one-file-system "$segdir"
}

# What a camera's PID-namespace holder runs first, inside its network: the
# camera's links up, IPv4 only, then the reaper. Arguments: the links' ip
# batch, the pin of the PID namespace, the reaper's script.
seg_boot='for c in all default lo; do echo 1 >/proc/sys/net/ipv6/conf/$c/disable_ipv6; done
ip -b "$1" && exec unshare --pid="$2" --fork --kill-child -- sh -c "$3"'

# seg_worker K STEP: makes cameras K, K+STEP, ...: copies the made root, gives
# each its stored address, moves them into place, pins their namespaces, links
# them to the bridge and starts their reapers. It stops between steps once the
# segment's stop file appears. Paths are relative to the base, so that its name
# never has to be quoted in the SQL or the ip batch.
seg_worker() {
    local k=$1 step=$2 i n mac sql="" links=""
    local -a mine=() staged=()
    # Only the parent stops a worker; a reaper started here must not hold the lock.
    trap : TERM HUP
    exec {lock_fd}<&-
    cd "$seg_base" || exit
    for ((i = k; i <= seg_count; i += step)); do mine+=("$i"); done
    for i in "${mine[@]}"; do
        [ ! -e "$segdir/stop" ] || exit 0
        # The template has no extended attributes; looking for them costs most of a copy.
        cp -a --no-preserve=xattr "$segdir/made" "$segdir/new/cam$i"
        staged+=("$segdir/new/cam$i")
        sql+="ATTACH '.camsim-segment/new/cam$i/mnt/nand/vddb.db' AS cam;
PRAGMA cam.synchronous = OFF;
UPDATE cam.network SET ipaddr = '192.0.2.$((10 + i))' WHERE iface = 0;
DETACH cam;
"
    done
    printf '%s' "$sql" >"$segdir/w$k.sql"
    "$bin/mkdb" "$segdir/w$k.sql" "$segdir/w$k.db" || die "cannot store the cameras' addresses"
    rm -f "$segdir/w$k.sql" "$segdir/w$k.db"
    # Each root lands whole, marker and all, as make_root's rename does.
    mv -t "$seg_base" "${staged[@]}"
    for i in "${mine[@]}"; do
        [ ! -e "$segdir/stop" ] || exit 0
        n=cam$i/.camsim-ns
        unshare "--ipc=$n/ipc" "--net=$n/net" "--uts=$n/uts" true ||
            die "cannot pin the namespaces of camera $i"
        mount --bind "$segpeer" "$n/peer" || die "cannot pin the segment's peer namespace for camera $i"
        printf -v mac '02:00:00:00:01:%02x' "$i"
        links+="link add cam$i type veth peer name eth0 address $mac netns $n/net
link set cam$i master eth0 up
"
    done
    printf '%s' "$links" >"$segdir/w$k.links"
    nsenter "--net=$segpeer" ip -b "$segdir/w$k.links" || die "cannot link the cameras to the bridge"
    rm -f "$segdir/w$k.links"
    for i in "${mine[@]}"; do
        [ ! -e "$segdir/stop" ] || exit 0
        n=$seg_base/cam$i/.camsim-ns
        setsid nsenter "--ipc=$n/ipc" "--net=$n/net" "--uts=$n/uts" -- \
            sh -c "$seg_boot" camsim-boot "$segdir/links" "$n/pid" "$reaper" </dev/null >/dev/null 2>&1 &
        printf '%s\n' "$!" >"$n/init"
    done
}

# A signal to segment up is acted on between steps, so that no process it
# starts goes unrecorded: the takedown then finds them all.
seg_interrupted() { [ -z "$seg_signal" ] || exit "$seg_signal"; }

seg_abort() {
    local status=$?
    trap '' INT TERM HUP
    [ -z "$seg_probe" ] || kill "$seg_probe" 2>/dev/null || true
    [ ! -d "$segdir" ] || : >"$segdir/stop"
    [ ${#seg_pids[@]} = 0 ] || wait "${seg_pids[@]}" 2>/dev/null || true
    [ ${#seg_rms[@]} = 0 ] || wait "${seg_rms[@]}" || true
    lock x
    seg_takedown ours
    exit "$status"
}

seg_bring_up() {
    local i k r n pid workers deadline
    [ -x "$bin/camfind" ] || die "no $bin/camfind to search the segment with (build first)"
    seg_signal=""
    seg_pids=()
    seg_probe=""
    seg_rms=()
    trap seg_abort EXIT
    trap 'seg_signal=130' INT
    trap 'seg_signal=143' TERM
    trap 'seg_signal=129' HUP
    # What an earlier segment left up, and the roots to make again.
    seg_takedown
    seg_interrupted
    local -a old=()
    for ((i = 1; i <= seg_count; i++)); do
        r=$seg_base/cam$i
        [ -e "$r" ] || [ -L "$r" ] || continue
        [ -d "$r" ] && [ ! -L "$r" ] || die "$r is not a directory"
        [ -e "$r/.camsim-root" ] || (root=$r; camera_entries_only) ||
            die "$r is not a camera root; refusing to empty it"
        old+=("$r")
    done
    mkdir -p "$segdir/new" "$segdir/old"
    # Old roots are moved aside at once, and removed while the cameras start.
    [ ${#old[@]} = 0 ] || mv -t "$segdir/old" "${old[@]}"
    seg_interrupted
    : >"$segpeer"
    unshare "--net=$segpeer" true || die "cannot pin the segment's peer namespace"
    nsenter "--net=$segpeer" sh -c "
        for c in all default lo; do echo 1 >/proc/sys/net/ipv6/conf/\$c/disable_ipv6; done 2>/dev/null
        ip link set lo up &&
        ip link add eth0 address $peer_mac type bridge forward_delay 0 &&
        ip addr add $peer_addr dev eth0 && ip link set eth0 up" ||
        die "cannot make the segment's bridge"
    printf '%s\n' "$seg_count" >"$segdir/count"
    seg_interrupted
    # One root from the template, with the database that each camera's own
    # address goes into, and the pin files of a camera that is up.
    (root=$segdir/made parent=$segdir base=made marker=$segdir/made/.camsim-root fresh=0; make_root) ||
        die "cannot make the cameras' root"
    cp "$segdir/made/opt/app/vddb.db" "$segdir/made/mnt/nand/vddb.db"
    mkdir "$segdir/made/.camsim-ns"
    for k in ipc net uts pid peer; do : >"$segdir/made/.camsim-ns/$k"; done
    printf 'link set lo up\nlink set eth0 up\n' >"$segdir/links"
    seg_interrupted

    workers=$(nproc)
    [ "$workers" -le "$seg_count" ] || workers=$seg_count
    for ((k = 1; k <= workers; k++)); do
        seg_worker "$k" "$workers" &
        seg_pids+=("$!")
    done
    for pid in "${seg_pids[@]}"; do
        wait "$pid" || { seg_interrupted; die "cannot bring the cameras up"; }
    done
    seg_pids=()
    seg_interrupted
    mv -t "$segdir/old" "$segdir/made"
    seg_remove "$segdir/old"/* {lock_fd}<&- &
    seg_rms+=("$!")
    # Every reaper holds its camera's PID namespace before anything enters it.
    deadline=$((SECONDS + seg_wait))
    for ((i = 1; i <= seg_count; i++)); do
        n=$seg_base/cam$i/.camsim-ns
        read -r pid <"$n/init"
        until [ "/proc/$pid/ns/pid_for_children" -ef "$n/pid" ]; do
            seg_alive "$pid" && [ $SECONDS -lt $deadline ] || die "cannot start the PID namespace of camera $i"
            sleep 0.02
            seg_interrupted
        done
    done

    # Made, none answering yet: the answers take one search window at least.
    printf '0/%d cameras up\n' "$seg_count" >&2
    # The responders take the lock shared, as every run does, while they enter.
    flock -u "$lock_fd"
    for ((i = 1; i <= seg_count; i++)); do
        r=$seg_base/cam$i
        setsid "$me" --build "$build" --root "$r" -- debug -M search \
            </dev/null >"$r/search.log" 2>&1 {lock_fd}<&- &
        seg_alive "$!" && printf '%s %s %s\n' "$i" "$!" "${seg_stat[19]}" >>"$segdir/responders"
        # Not this shell's job: a takedown kills it without a word from bash.
        disown "$!"
        seg_interrupted
    done
    seg_wait_answers
    wait "${seg_rms[@]}" || true
    rmdir "$segdir/old" "$segdir/new"
    seg_interrupted
    trap - EXIT
}

# Waits until every camera has answered a search from the segment's peer,
# with a line on standard error at each change; names those that never did.
seg_wait_answers() {
    local i mac shown=0 deadline=$((SECONDS + seg_wait)) missing=""
    local -A want=() answered=()
    for ((i = 1; i <= seg_count; i++)); do
        printf -v mac '02:00:00:00:01:%02x' "$i"
        want[$mac]=$i
    done
    while :; do
        if [ ${#answered[@]} != "$shown" ]; then
            shown=${#answered[@]}
            printf '%d/%d cameras up\n' "$shown" "$seg_count" >&2
        fi
        [ "$shown" -lt "$seg_count" ] || return 0
        if [ $SECONDS -ge $deadline ]; then
            for ((i = 1; i <= seg_count; i++)); do
                printf -v mac '02:00:00:00:01:%02x' "$i"
                [ -n "${answered[$mac]+x}" ] || missing+=" $seg_base/cam$i"
            done
            die "segment up: no answer to a search within ${seg_wait} s from${missing} (see search.log in each)"
        fi
        [ -e "$segpeer" ] || die "segment up: the segment was taken down meanwhile"
        nsenter "--net=$segpeer" "$bin/camfind" -t "$seg_window_ms" \
            </dev/null >"$segdir/answers" 2>/dev/null {lock_fd}<&- &
        seg_probe=$!
        wait "$seg_probe" || true
        seg_interrupted
        seg_probe=""
        while IFS=$'\t' read -r mac _; do
            [ -z "${want[$mac]+x}" ] || answered[$mac]=1
        done <"$segdir/answers"
    done
}

# One line for the segment, then one per camera: its root, the MAC and IPv4
# addresses of its eth0 as its network namespace has them, and whether the
# responder that segment up started still runs.
seg_status() {
    local count i r n word rest mac addrs state
    is_root || die "segment status needs root to read the cameras' links"
    { read -r count <"$segdir/count"; } 2>/dev/null || count=0
    printf '%s: up (%s cameras)\n' "$seg_base" "$count"
    seg_mounts
    seg_responders
    for ((i = 1; i <= count; i++)); do
        r=$seg_base/cam$i
        n=$r/.camsim-ns
        if [ -z "${seg_mounted[$n/net]+x}" ]; then
            printf '%s down\n' "$r"
            continue
        fi
        mac="" addrs=""
        while read -r word rest; do
            case $word in
                link/ether) mac=${rest%% *} ;;
                inet) rest=${rest%% *}; addrs+=,${rest%/*} ;;
            esac
        done < <(nsenter "--net=$n/net" ip addr show dev eth0 2>/dev/null)
        state=gone
        [ -z "${seg_rpid[i]:-}" ] || ! seg_alive_as "${seg_rpid[i]}" "${seg_rstart[i]}" || state=alive
        addrs=${addrs#,}
        [ -n "$mac" ] || mac="no eth0" addrs=""
        printf '%s %s %s responder %s\n' "$r" "$mac" "${addrs:-no address}" "$state"
    done
}
