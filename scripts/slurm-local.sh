#!/usr/bin/env bash
# A one-node Slurm cluster on this machine, for tests: munged, slurmctld and slurmd as root,
# every file (keys, configuration, state, logs, sockets) in one folder.
#   scripts/slurm-local.sh start DIR   writes DIR/slurm.conf, starts the daemons, waits for the
#                                      node; prints the SLURM_CONF to export
#   scripts/slurm-local.sh stop DIR    stops the daemons it started (by the pids it recorded)
set -euo pipefail
action=${1:?start or stop}
dir=$(realpath -m "${2:?folder}")

stop() {
    for name in slurmd slurmctld munged; do
        if [ -f "$dir/$name.pid" ]; then
            pid=$(cat "$dir/$name.pid")
            kill "$pid" 2>/dev/null || true
            for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
            kill -9 "$pid" 2>/dev/null || true
            rm -f "$dir/$name.pid"
        fi
    done
}

if [ "$action" = stop ]; then
    stop
    exit 0
fi
[ "$(id -u)" -eq 0 ] || { echo "slurm-local.sh: the daemons need root" >&2; exit 1; }
mkdir -p "$dir/state" "$dir/spool" "$dir/munge"
chmod 700 "$dir/munge"
host=$(hostname -s)
cpus=$(nproc)
mem=$(awk '/MemTotal/ { print int($2 / 1024) - 512 }' /proc/meminfo)
# Ports of our own, so that a cluster already on this machine is not disturbed.
port=${SLURM_LOCAL_PORT:-16817}

dd if=/dev/urandom of="$dir/munge/munge.key" bs=1024 count=1 status=none
chmod 400 "$dir/munge/munge.key"
munged --force --key-file="$dir/munge/munge.key" --socket="$dir/munge/munge.socket" \
    --pid-file="$dir/munged.pid" --log-file="$dir/munged.log" --seed-file="$dir/munge/seed"

cat >"$dir/slurm.conf" <<CONF
ClusterName=pondwatch-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge/munge.socket
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
SchedulerType=sched/builtin
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus RealMemory=$mem State=UNKNOWN
PartitionName=debug Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$dir/slurm.conf
slurmctld -f "$dir/slurm.conf"
slurmd -f "$dir/slurm.conf" -N "$host"
for _ in $(seq 100); do
    if sinfo -h -o %t 2>/dev/null | grep -q idle; then
        echo "SLURM_CONF=$dir/slurm.conf"
        exit 0
    fi
    sleep 0.3
done
echo "slurm-local.sh: the node never became idle; see $dir/slurmctld.log and $dir/slurmd.log" >&2
sinfo >&2 || true
tail -n 20 "$dir/slurmctld.log" "$dir/slurmd.log" >&2 || true
stop
exit 1
