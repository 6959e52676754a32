#!/usr/bin/env bash
# Checks a built package as a user meets it.
#   scripts/test-package.sh corvane_VERSION_ARCH.deb            lintian, then the programs unpacked
#                                                                into a temporary root
#   scripts/test-package.sh corvane_VERSION_ARCH.deb --install  the same, then apt-get install,
#                                                                use from any folder, and purge
# The installed programs are run with a temporary HOME: their files must land in its per-user
# data folder, never beside the programs or in the folder they are started from.
set -euo pipefail

deb=$(realpath "$1")
mode=${2:-}
version=$(dpkg-deb -f "$deb" Version)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
check() { # check DESCRIPTION COMMAND...: runs the command, reports and counts a failure
  local what=$1
  shift
  if "$@" >"$scratch/check.log" 2>&1; then
    echo "  ok    $what"
  else
    echo "  FAIL  $what"
    sed 's/^/        /' "$scratch/check.log" | head -20
    failures=$((failures + 1))
  fi
}

# The programs as a user runs them: from an empty folder, with a fresh HOME and no XDG_DATA_HOME.
as_user() { # as_user BIN_FOLDER COMMAND [ARGS...]
  local bin=$1
  shift
  (cd "$scratch/work" && env -u XDG_DATA_HOME HOME="$scratch/home" PATH="$bin:$PATH" QT_QPA_PLATFORM=offscreen "$@")
}
lightcurve_lands_in_the_user_folder() { # BIN_FOLDER
  local bin=$1 expected="$scratch/home/.local/share/corvane/LightCurves/corvane1.csv" printed before
  rm -rf "$scratch/home" "$scratch/work" && mkdir -p "$scratch/home" "$scratch/work"
  before=$(ls -A "$bin")
  printed=$(as_user "$bin" corvane-cli --set cmbFilter=L --size 200x125 lightcurve --step 10)
  [ "$printed" = "$expected" ] || { echo "printed '$printed', expected '$expected'"; return 1; }
  head -1 "$expected" | grep -qx "Phase, Red, Green, Blue, Luminance" || { echo "no light curve in $expected"; return 1; }
  [ -z "$(ls -A "$scratch/work")" ] || { echo "wrote into the folder it was started from"; return 1; }
  [ "$(ls -A "$bin")" = "$before" ] || { echo "wrote beside the program in $bin"; return 1; }
}
manual_page_renders() { # MANUAL_PAGE_FILE PROGRAM
  local text
  text=$(MANWIDTH=80 man --warnings -l "$1" 2>"$scratch/man.err")
  [ ! -s "$scratch/man.err" ] || { cat "$scratch/man.err"; return 1; }
  grep -q "^NAME" <<<"$text" && grep -q "$2" <<<"$text"
}

echo "test-package: $(basename "$deb")"
check "lintian reports no errors" lintian --fail-on error "$deb"
check "the version is the project's" test "$version" = "$(sed -n 's/^project(Corvane VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../CMakeLists.txt")"
check "its dependencies come from the programs' libraries" bash -c "dpkg-deb -f '$deb' Depends | grep -q libqt6widgets6"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
for f in usr/bin/corvane usr/bin/corvane-cli usr/share/applications/corvane.desktop \
         usr/share/icons/hicolor/scalable/apps/corvane.svg usr/share/man/man1/corvane.1.gz \
         usr/share/man/man1/corvane-cli.1.gz usr/share/doc/corvane/copyright usr/share/doc/corvane/manual.html; do
  check "holds /$f" test -s "$root/$f"
done
check "the desktop entry is valid" desktop-file-validate "$root/usr/share/applications/corvane.desktop"
check "the desktop entry is under Education and Science" grep -qx "Categories=Education;Science;Astronomy;" \
  "$root/usr/share/applications/corvane.desktop"
mkdir -p "$scratch/home" "$scratch/work"
check "unpacked: corvane-cli --version" bash -c "[ \"\$(cd / && '$root/usr/bin/corvane-cli' --version)\" = 'corvane-cli $version' ]"
check "unpacked: corvane --version without a display" bash -c "[ \"\$(env -u DISPLAY '$root/usr/bin/corvane' --version)\" = 'corvane $version' ]"
check "unpacked: corvane-cli lists" bash -c "$(declare -f as_user); scratch='$scratch'; as_user '$root/usr/bin' corvane-cli lists | grep -q 'Roche Lobe'"
check "unpacked: a light curve lands in the per-user folder" lightcurve_lands_in_the_user_folder "$root/usr/bin"
check "corvane-cli(1) renders" manual_page_renders "$root/usr/share/man/man1/corvane-cli.1.gz" lightcurve
check "corvane(1) renders" manual_page_renders "$root/usr/share/man/man1/corvane.1.gz" "corvane-cli"

if [ "$mode" = "--install" ]; then
  if dpkg-query -W -f='${Status}' corvane 2>/dev/null | grep -q "install ok installed"; then
    echo "test-package: corvane is installed already; not installing over it" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  # Whatever happens below, the machine is left without the package this test installed.
  trap 'apt-get purge -y -qq corvane >/dev/null 2>&1 || true; rm -rf "$scratch"' EXIT
  check "apt-get install ./$(basename "$deb")" apt-get install -y -qq --no-install-recommends "$deb"
  dpkg -L corvane >"$scratch/files"
  check "installed: corvane-cli --help from any folder" bash -c "cd / && corvane-cli --help | grep -q 'Usage: corvane-cli'"
  check "installed: man corvane-cli" bash -c "cd / && MANWIDTH=80 man corvane-cli | grep -q 'corvane-cli - the Corvane'"
  check "installed: man corvane" bash -c "cd / && MANWIDTH=80 man corvane | grep -q 'corvane - the Corvane window'"
  check "installed: the menu entry names its icon" bash -c "grep -qx 'Icon=corvane' /usr/share/applications/corvane.desktop && test -s /usr/share/icons/hicolor/scalable/apps/corvane.svg"
  check "installed: corvane-cli lists" bash -c "$(declare -f as_user); scratch='$scratch'; as_user /usr/bin corvane-cli lists | grep -q 'Roche Lobe'"
  check "installed: a light curve lands in the per-user folder" lightcurve_lands_in_the_user_folder /usr/bin
  check "apt-get purge corvane" apt-get purge -y -qq corvane
  check "removal leaves none of its files" bash -c "while read -r f; do [ -d \"\$f\" ] || [ ! -e \"\$f\" ] || { echo \"left: \$f\"; exit 1; }; done <'$scratch/files'; [ ! -e /usr/share/doc/corvane ]"
fi

if [ "$failures" -gt 0 ]; then
  echo "test-package: $failures check(s) failed" >&2
  exit 1
fi
echo "test-package: every check passed"
