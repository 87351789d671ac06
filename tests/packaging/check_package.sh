#!/usr/bin/env bash
# Builds the Debian package of a build folder into a fresh temporary folder and checks it as a
# system would see it: its control fields, its file list against what `cmake --install`
# places, and, unpacked into a temporary root, the menu entry, the software-centre data and the
# file type, which must name a real KIVRA file.
#
# check_package.sh BUILD_DIR SOURCE_DIR CMAKE CPACK VERSION APPSTREAM_ID|-
# APPSTREAM_ID is "-" for a build without the desktop program.
# Exit status: 0 passed, 1 failed, 77 skipped (a tool missing; every check that could run ran).

set -u
build=$1 source=$2 cmake=$3 cpack=$4 version=$5 appstream_id=$6
with_app=1
[ "$appstream_id" = - ] && with_app=0

failures=0
missing=()
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
have() { command -v "$1" >/dev/null 2>&1; }

for tool in dpkg-deb dpkg-shlibdeps dpkg file; do
  have "$tool" || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIP: the package cannot be built without ${missing[*]}"
  exit 77
fi

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# --- The package -----------------------------------------------------------------------------
start=$SECONDS
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log"
  echo "FAIL: cpack -G DEB"
  exit 1
fi
echo "cpack took $((SECONDS - start)) s"
arch=$(dpkg --print-architecture)
deb=$tmp/out/pelorin_${version}_${arch}.deb
if [ ! -f "$deb" ]; then
  ls "$tmp/out"
  echo "FAIL: no pelorin_${version}_${arch}.deb"
  exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
# A CMake list set as the description shows as lines starting with ';'.
field Description | grep -q '^ *;' && fail "the description holds list separators"

# Dependencies as dpkg-shlibdeps computes them from the binaries.
depends=$(field Depends)
needed=(libc6 libstdc++6 libsndfile1 libebur128-1)
[ $with_app = 1 ] && needed+=(libqt6widgets6 libqt6gui6 libqt6core6)
for package in "${needed[@]}"; do
  [[ ",$depends" =~ ,\ ?"$package"(\ |,|$) ]] || fail "Depends lacks $package: $depends"
done

# Every file is root's, under /usr, with the permission bits its kind needs.
dpkg-deb -c "$deb" >"$tmp/contents"
while read -r mode owner _ _ _ path _; do
  [ "$owner" = root/root ] || fail "$path belongs to $owner"
  case "$path" in
    ./ | ./usr/*) ;;
    *) fail "$path lies outside /usr" ;;
  esac
  case "$mode:$path" in
    l*) ;;
    d*) [ "$mode" = drwxr-xr-x ] || fail "$path has mode $mode" ;;
    *:./usr/bin/*) [ "$mode" = -rwxr-xr-x ] || fail "$path has mode $mode" ;;
    *) [ "$mode" = -rw-r--r-- ] || fail "$path has mode $mode" ;;
  esac
done <"$tmp/contents"
awk '{print $6}' "$tmp/contents" | grep -v '/$' | sed 's|^\./||' | sort >"$tmp/packaged"

# The package holds exactly what installing the build places, manual pages and completion
# included once the build installs them.
DESTDIR=$tmp/reference "$cmake" --install "$build" --prefix /usr >/dev/null ||
  fail "cmake --install $build"
(cd "$tmp/reference" && find . -type f -o -type l) | sed 's|^\./||' | sort >"$tmp/installed"
if ! diff -u "$tmp/installed" "$tmp/packaged" >"$tmp/diff"; then
  cat "$tmp/diff"
  fail "the package's files differ from what cmake --install places (- installed, + packaged)"
fi

# What the checks below do not open: the programs, and the manual pages and completion once the
# build makes them.
expected=(usr/bin/pelorin-cli usr/share/bash-completion/completions/pelorin-cli)
[ $with_app = 1 ] && expected+=(usr/bin/pelorin)
if grep -q '^usr/share/man/' "$tmp/installed"; then
  expected+=(usr/share/man/man1/pelorin-cli.1.gz)
  [ $with_app = 1 ] && expected+=(usr/share/man/man1/pelorin.1.gz)
fi
for path in "${expected[@]}"; do
  grep -qx "$path" "$tmp/packaged" || fail "the package lacks /$path"
done

# --- Unpacked: what desktops and software centres read ---------------------------------------
root=$tmp/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share

if [ $with_app = 1 ]; then
  if have desktop-file-validate; then
    desktop-file-validate "$share/applications/pelorin.desktop" || fail "desktop-file-validate"
  else
    missing+=(desktop-file-validate)
  fi

  metainfo=$share/metainfo/$appstream_id.metainfo.xml
  if have appstreamcli; then
    appstreamcli validate --no-net "$metainfo" >"$tmp/appstream.log" 2>&1 ||
      { cat "$tmp/appstream.log"; fail "appstreamcli validate --no-net"; }
  else
    missing+=(appstreamcli)
  fi
  grep -qE "<release version=\"$version\" date=\"[0-9]{4}-[0-9]{2}-[0-9]{2}\"" "$metainfo" ||
    fail "the metainfo has no release $version with a date"
  launchable=$(sed -nE 's|.*<launchable type="desktop-id">(.*)</launchable>.*|\1|p' "$metainfo")
  [ -f "$share/applications/$launchable" ] || fail "the metainfo launches '$launchable', not packaged"
  # Each picture the metainfo names is installed and is a PNG.
  for picture in $(grep -oE '[a-z0-9-]+\.png</image>' "$metainfo" | sed 's|</image>||'); do
    file=$share/pelorin/screenshots/$picture
    [ "$(head -c 8 "$file" 2>/dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] ||
      fail "screenshot $picture is not an installed PNG"
  done
fi

# Nothing of the user's or the desktop's settings in the way of the checks below.
export XDG_DATA_HOME=$tmp/home/share XDG_CONFIG_HOME=$tmp/home/config XDG_CONFIG_DIRS=$tmp/home/etc
unset XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID KDE_FULL_SESSION
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CONFIG_DIRS" "$tmp/files"

# The file type, in the database the system will have once the package is installed: the
# system's definitions and the package's, merged by update-mime-database. A WAV must stay a WAV.
if have update-mime-database && [ -d /usr/share/mime/packages ]; then
  mime=$tmp/merged/mime
  mkdir -p "$mime/packages"
  cp /usr/share/mime/packages/*.xml "$mime/packages/"
  cp "$share/mime/packages/pelorin.xml" "$mime/packages/"
  update-mime-database "$mime" || fail "update-mime-database rejects the definition"
  "$build/pelorin-cli" convert "$source/samples/bell.wav" -o "$tmp/files/ring.mmf" >/dev/null ||
    fail "pelorin-cli convert"
  cp "$tmp/files/ring.mmf" "$tmp/files/RING.MMF"
  cp "$tmp/files/ring.mmf" "$tmp/files/ring-without-extension"
  cp "$source/samples/bell.wav" "$tmp/files/bell.wav"
  # gio, and xdg-mime when it has mimetype to ask (without it, it asks file(1), which does not
  # read this database).
  checkers=()
  have gio && checkers+=(gio)
  have xdg-mime && have mimetype && checkers+=(xdg-mime)
  [ ${#checkers[@]} -eq 0 ] && missing+=("gio or xdg-mime with mimetype")
  for checker in "${checkers[@]}"; do
    while read -r name expected; do
      case $checker in
        gio) actual=$(XDG_DATA_DIRS=$tmp/merged gio info -a standard::content-type \
                        "$tmp/files/$name" | sed -n 's/^ *standard::content-type: //p') ;;
        xdg-mime) actual=$(XDG_DATA_DIRS=$tmp/merged xdg-mime query filetype "$tmp/files/$name") ;;
      esac
      [ "$actual" = "$expected" ] || fail "$checker: $name is '$actual', not $expected"
    done <<'EOF'
ring.mmf application/x-pelorin-kivra
RING.MMF application/x-pelorin-kivra
ring-without-extension application/x-pelorin-kivra
bell.wav audio/x-wav
EOF
  done
  if have mimetype; then
    while read -r language expected; do
      actual=$(XDG_DATA_DIRS=$tmp/merged mimetype --brief --describe --language="$language" \
                 "$tmp/files/ring.mmf")
      [ "$actual" = "$expected" ] || fail "the $language description is '$actual', not $expected"
    done <<'EOF'
en KIVRA ring tone
ja KIVRA着信音
EOF
  fi
else
  missing+=(update-mime-database)
fi

# The menu entry offers the window for WAV and AIFF files, by each name they go by. GLib lists
# only entries whose program is on the PATH.
if [ $with_app = 1 ]; then
  if have update-desktop-database && have gio; then
    update-desktop-database "$share/applications" || fail "update-desktop-database"
    for type in audio/x-wav audio/wav audio/vnd.wave audio/x-aiff; do
      PATH=$root/usr/bin:$PATH XDG_DATA_DIRS=$share:/usr/share gio mime "$type" 2>/dev/null |
        grep -qF pelorin.desktop || fail "pelorin.desktop is not registered for $type"
    done
  else
    missing+=("update-desktop-database and gio")
  fi
fi

if [ $failures -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "SKIP: checks left out for want of: ${missing[*]}"
  exit 77
fi
echo "all package checks passed"
