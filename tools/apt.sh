# Sourced by the set-up scripts: apt-get that rides out a mirror in mid-sync, which
# fails an update with "File has unexpected size" for a few minutes.
apt_try() {
  local i
  for i in 1 2 3 4 5; do
    apt-get -o Acquire::Retries=3 "$@" && return 0
    [ "$i" = 5 ] && break
    echo "apt-get $1 failed (try $i of 5); again in 30 s" >&2
    sleep 30
  done
  return 1
}
