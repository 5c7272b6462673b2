# Lays out the demo site (the suite's INI files, a one-station database built from the JSON lines
# in tests/data/export) under $demo, starts the platform simulator, and writes the tool's settings
# with a reception endpoint on a free loopback port. Sourced by scripts/demo and
# scripts/screenshots, which set top, bin and demo first; it sets drives, home, platform, udp and
# the pids to stop, with a cleanup function for the exit trap.
rm -rf "$demo"
drives=$demo/drives
home=$demo/home
mkdir -p "$drives/c/VL_Data" "$drives/c/VL_XML" "$home/Settings/VL3_Tools_NVX" "$drives/c/Site/Config1"

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# INI files of the suite are Windows text: CR LF line ends.
ini() { sed 's/$/\r/' >"$1"; }
free_port() { python3 -c 'import socket; s=socket.socket(socket.AF_INET, socket.SOCK_DGRAM); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

ini "$home/Settings/VL3_Config.ini" <<'INI'
[Site]
NbBase=1
Dossier_Config_Global=C:\Site\Config1\
[Base_01]
Dossier_Config_Global=C:\Site\Config1\
INI
ini "$drives/c/Site/Config1/VL3_Systeme.ini" <<'INI'
[Base_01]
Lib=Radio Demo
Id_Radio={6F1C2A00-DE30-4D5A-9C1E-000000000001}
NbStation=1
Dossier_Log=C:\AudioLog\
Dossier_Data=C:\VL_Data\
[Base_01_Station_01]
Lib=Demo FM
Actif=1
INI

# The database: the site's first file, then the schedule day and what it refers to.
"$bin/vl3-btrieve" create --data "$drives/c/VL_Data" --file 0 >/dev/null
for f in 20 21 22 26 31 53; do
  "$bin/vl3-btrieve" create --data "$drives/c/VL_Data" --file "$f" --station 1 >/dev/null
  "$bin/vl3-btrieve" import --data "$drives/c/VL_Data" --file "$f" --station 1 "tests/data/export/file$f.jsonl" >/dev/null
done
# The station's other record files, empty: a healthy site opens every file without an error.
for f in 24 32 41 42; do
  "$bin/vl3-btrieve" create --data "$drives/c/VL_Data" --file "$f" --station 1 >/dev/null
done

# The platform simulator, on a port it chooses.
"$bin/vl3-platform-sim" --port 0 --credentials demo-key:demo-secret --log "$demo/platform.log" >"$demo/platform.out" &
pids+=($!)
for _ in $(seq 100); do grep -q 'listening on' "$demo/platform.out" 2>/dev/null && break; sleep 0.05; done
platform=$(sed -n 's/.*listening on \([0-9.]*:[0-9]*\).*/\1/p' "$demo/platform.out")
[ -n "$platform" ] || { echo "demo: the platform simulator did not start" >&2; exit 1; }

udp=$(free_port)
ini "$home/Settings/VL3_Tools_NVX/VL3_Tools_NVX.Ini" <<INI
[XML]
Dossier=C:\\VL_XML\\
[Plateforme]
URL=http://$platform
Cle=demo-key
Secret=demo-secret
[Peripheriques_Reseau_Reception_UDP_0]
IP=127.0.0.1
Port=$udp
Actif=1
INI

# The tool, headless, on that site.
