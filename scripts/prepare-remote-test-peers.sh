#!/usr/bin/env bash
# Prepares this machine for the remote tests that talk to Debian's real rexec and rsh servers
# (in.rexecd and in.rshd of the package rsh-server): a local account with a known password for
# rexec and an ~/.rhosts entry that lets a fixed local user name in from localhost for rsh.
# The tests start the servers themselves on loopback ports of their own choosing, for their own
# run only. Idempotent; safe to run from several test processes at once. Needs root, and the
# network the first time (to fetch the package).
#
# prepare-remote-test-peers.sh [user] [password] [trusted-local-users (separated by blanks)]
set -euo pipefail
user=${1:-corvrx}
password=${2:-Corv4ne-pw}
trusted=${3:-corvlocal}

# The daemons come from the package unpacked into this directory (unless the package is installed
# on the machine anyway). Installing it the normal way would pull in an inetd that serves rexec and
# rsh on every interface of the machine, with the test account's known password.
peers_dir=/opt/corvane-test-peers/rsh-server

fail() { echo "prepare-remote-test-peers: $*" >&2; exit 1; }
[[ $(id -u) -eq 0 ]] || fail "must run as root (it creates the test account)"
# The servers keep user names and passwords in 16-byte buffers.
(( ${#user} <= 15 && ${#password} <= 15 )) || fail "names and password must be at most 15 bytes"
for name in $trusted; do
  (( ${#name} <= 15 )) || fail "names and password must be at most 15 bytes"
done

# (The braces keep the 2>/dev/null to this one try: on exec itself it would silence the script.)
{ exec 9>/run/lock/corvane-remote-test-peers.lock; } 2>/dev/null || exec 9>/tmp/corvane-remote-test-peers.lock
flock 9

daemons_present() { [[ -x $1/usr/sbin/in.rexecd && -x $1/usr/sbin/in.rshd ]]; }
if ! daemons_present "" && ! daemons_present "$peers_dir"; then
  download=$(mktemp -d)
  trap 'rm -rf "$download"' EXIT
  chmod 0755 "$download"  # apt fetches as its own unprivileged user
  if ! (cd "$download" && apt-get download -qq rsh-server >/dev/null 2>&1); then
    apt-get update -qq >/dev/null
    (cd "$download" && apt-get download -qq rsh-server) || fail "cannot download the package rsh-server"
  fi
  rm -rf "$peers_dir.new"
  mkdir -p "$peers_dir.new"
  dpkg -x "$download"/rsh-server_*.deb "$peers_dir.new"
  rm -rf "$peers_dir"
  mv "$peers_dir.new" "$peers_dir"
fi
if daemons_present ""; then source_dir=""; else source_dir=$peers_dir; fi
daemons_present "$source_dir" || fail "in.rexecd and in.rshd are missing"
for service in rexec rsh; do
  if [[ ! -f /etc/pam.d/$service ]]; then
    [[ -f $source_dir/etc/pam.d/$service ]] || fail "/etc/pam.d/$service is missing"
    install -m 0644 "$source_dir/etc/pam.d/$service" "/etc/pam.d/$service"
  fi
done

if ! id -u "$user" >/dev/null 2>&1; then
  useradd --create-home --shell /bin/sh "$user"
fi
echo "$user:$password" | chpasswd
home=$(getent passwd "$user" | cut -d: -f6)
[[ -d $home ]] || { mkdir -p "$home"; chown "$user:" "$home"; }
chmod 0755 "$home"
# rshd (pam_rhosts) trusts ~/.rhosts only when it belongs to the user and nobody else may write it.
# Entries are only ever added: test runs and benchmarks that trust different local users (the
# benchmark's Debian client sends root) may prepare the account at the same time.
rhosts=$home/.rhosts
: > "$rhosts.new"
[[ -f $rhosts ]] && cat "$rhosts" >> "$rhosts.new"
for name in $trusted; do
  for host in localhost 127.0.0.1; do
    grep -qxF "$host $name" "$rhosts.new" || printf '%s %s\n' "$host" "$name" >> "$rhosts.new"
  done
done
chown "$user:" "$rhosts.new"
chmod 0600 "$rhosts.new"
mv -f "$rhosts.new" "$rhosts"
# The account must not be locked or expired for the PAM account check.
usermod --expiredate '' "$user" >/dev/null 2>&1 || true
chage --mindays 0 --maxdays 99999 --inactive -1 "$user"
