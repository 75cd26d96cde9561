#!/usr/bin/env bash
# Runs docs/BATCH.md's Slurm job-array example on a one-node Slurm started here, over maps made
# from the demo's data, and compares every file the array wrote with one unsharded run (cmp).
# Not part of `make test`: it needs Debian's slurm-wlm and munge (installed when missing, with
# scripts/install-deps.sh --slurm) and root, and starts munged, slurmctld and slurmd by hand (no
# systemd) on private sockets, ports and folders under a temporary folder, and stops them again.
#
#   scripts/slurm-array-check.sh [ALTIMO_CLI]   (default: build/release/cli/altimo-cli)
#
# Exit status 0 when the array succeeded and its files are byte-identical to the single run's.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
cli=$(realpath "${1:-$root/build/release/cli/altimo-cli}")
[ -x "$cli" ] || { echo "slurm-array-check: $cli: no altimo-cli there; build it first (make release)" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "slurm-array-check: run as root (the daemons run as root here)" >&2; exit 2; }
bash "$root/scripts/install-deps.sh" --slurm

work=$(mktemp -d /tmp/altimo-slurm-XXXXXX)
pids=()
stop() {
    # Only the daemons started here, each by its own process id.
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    [ -n "${KEEP:-}" ] && echo "slurm-array-check: kept $work" || rm -rf "$work"
}
trap stop EXIT
trap "exit 1" INT TERM

# The maps: six copies of the demo's RAW with its lever and water mask, each processed, shaded
# and given a cliff mask; one cliff names its map's output through a link to the folder, one
# preview draws water over another map's terrain, and two jobs trace shorelines.
"$cli" -q demo --dir "$work/demo" >/dev/null
shared="$work/shared"
mkdir -p "$shared/maps" "$shared/out"
ln -s maps "$shared/link"
cp "$work/demo/terrain.wtr" "$work/demo/terrain_lever.bmp" "$shared/maps/"
{
    printf '[defaults]\nscale = 4\nlever = maps/terrain_lever.bmp\nwater = maps/terrain.wtr\n'
    for i in 1 2 3 4 5 6; do
        cp "$work/demo/terrain.raw" "$shared/maps/t$i.raw"
        printf '[map t%s]\nraw = maps/t%s.raw\n' "$i" "$i"
        printf '[cliff t%s]\ndat = %s\noutput = out/t%s_cliff.bmp\n' "$i" \
            "$([ "$i" = 3 ] && echo link/t3.dat || echo "maps/t$i.dat")" "$i"
        printf '[preview t%s]\ndat = maps/t%s.dat\noutput = out/t%s.png\n' "$i" "$i" "$i"
    done
    printf '[preview t2 water over t5]\ndat = maps/t2_w.dat\nterrain = maps/t5.dat\noutput = out/t2_water.png\n'
    printf '[banks a]\nwtr = maps/terrain.wtr\noutput = out/a.sl\nscale = 4\n'
    printf '[banks b]\nwtr = maps/terrain.wtr\noutput = out/b.sl\nscale = 2\npreview = out/b.png\n'
} >"$shared/terrain.ini"
cp -a "$shared" "$work/whole"
(cd "$shared" && find . -type f | sort) >"$work/inputs"

# munge with a key of its own, on its own socket.
mkdir -p "$work/munge" "$work/state" "$work/spool" "$work/logs"
dd if=/dev/urandom of="$work/munge/munge.key" bs=1024 count=1 status=none
chmod 700 "$work/munge"
chmod 400 "$work/munge/munge.key"
munged --foreground --force --key-file="$work/munge/munge.key" --socket="$work/munge/munge.socket" \
    --pid-file="$work/munge/munged.pid" --log-file="$work/munge/munged.log" \
    --seed-file="$work/munge/munge.seed" &
pids+=($!)

host=$(hostname -s)
cpus=$(nproc)
export SLURM_CONF="$work/slurm.conf"
cat >"$SLURM_CONF" <<EOF
ClusterName=altimo-check
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$work/munge/munge.socket
SlurmctldPort=16817
SlurmdPort=16818
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/logs/slurmctld.log
SlurmdLogFile=$work/logs/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SwitchType=switch/none
MpiDefault=none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=4096 State=UNKNOWN
PartitionName=check Nodes=$host Default=YES MaxTime=60 State=UP
EOF
for _ in $(seq 50); do [ -S "$work/munge/munge.socket" ] && break; sleep 0.1; done
slurmctld -D -i -f "$SLURM_CONF" &
pids+=($!)
slurmd -D -f "$SLURM_CONF" &
pids+=($!)
for _ in $(seq 100); do
    sinfo -h -o %t 2>/dev/null | grep -qx idle && break
    sleep 0.3
done
sinfo -h -o %t | grep -qx idle || { echo "slurm-array-check: the node did not come up" >&2; tail -5 "$work"/logs/*.log >&2; exit 1; }

# The docs' example as written, the manifest's path and the program's being the only changes.
example=$(awk '/^A Slurm job array/ {found = 1} found && /^```sh$/ {inside = 1; next} inside && /^```$/ {exit} inside' \
    "$root/docs/BATCH.md")
grep -q 'SLURM_ARRAY_TASK_COUNT' <<<"$example" || { echo "slurm-array-check: no Slurm example in docs/BATCH.md" >&2; exit 1; }
printf '%s\n' "$example" | sed "s#/shared/terrain.ini#$shared/terrain.ini#; s#^altimo-cli #$cli #" >"$work/array.sh"
echo "slurm-array-check: sbatch of docs/BATCH.md's example:"
sed 's/^/    /' "$work/array.sh"
status=0
sbatch --wait --output="$work/logs/task-%a.out" "$work/array.sh" || status=$?
tasks=$(ls "$work"/logs/task-*.out 2>/dev/null | wc -l)
echo "slurm-array-check: array exit status $status, $tasks task logs"
cat "$work"/logs/task-*.out

"$cli" -q batch "$work/whole/terrain.ini" >"$work/logs/whole.out" 2>&1 || status=1
cat "$work/logs/whole.out"
# Every file of both folders, the inputs among them: the same names, the same bytes.
(cd "$work/whole" && find . -type f | sort) >"$work/files-whole"
(cd "$shared" && find . -type f | sort) >"$work/files-array"
differ=0
diff "$work/files-whole" "$work/files-array" >&2 || differ=1
while IFS= read -r file; do
    cmp "$work/whole/$file" "$shared/$file" >&2 || differ=1
done <"$work/files-whole"
outputs=$(comm -23 "$work/files-whole" "$work/inputs" | wc -l)
echo "slurm-array-check: $(wc -l <"$work/files-whole") files compared with cmp ($outputs written by the jobs):" \
    "$([ $differ = 0 ] && echo identical || echo DIFFERENT)"
[ "$tasks" -eq 16 ] && [ "$status" -eq 0 ] && [ "$differ" -eq 0 ] && [ "$outputs" -gt 0 ]
