#!/bin/sh
# Installs the build into a scratch prefix and uses it as a user would: from another working
# folder, with an empty home, the installed tmw-cli lists the bank and renders a demo song; the
# files for the desktop pass their validators (where those are installed).
# usage: install_test.sh BUILD_FOLDER
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() {
  echo "install test: $*" >&2
  exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/tmw-cli share/tunemill/tmill.bnk share/tunemill/help/en/index.html \
    share/tunemill/help/de/index.html share/tunemill/demos/first-steps.sn2 \
    share/man/man1/tmw-cli.1.gz share/man/man1/tmw.1.gz \
    share/bash-completion/completions/tmw-cli share/zsh/site-functions/_tmw-cli \
    share/fish/vendor_completions.d/tmw-cli.fish share/mime/packages/tunemill.xml \
    share/applications/example.larkfield.Tunemill.desktop \
    share/metainfo/example.larkfield.Tunemill.metainfo.xml \
    share/icons/hicolor/scalable/apps/tunemill.svg share/icons/hicolor/48x48/apps/tunemill.png \
    share/icons/hicolor/256x256/mimetypes/application-x-tunemill-song.png \
    share/doc/tunemill/copyright; do
  [ -f "$prefix/$file" ] || fail "$file is not installed"
done
if [ -f "$build/bin/tmw" ]; then
  [ -x "$prefix/bin/tmw" ] || fail "bin/tmw is not installed"
fi
# Nothing of the build tree's layout: the data lies in share/tunemill only.
[ ! -e "$prefix/bin/tmill.bnk" ] || fail "the bank is installed beside the programs"

# An empty home and a working folder far from both trees: the programs must find their data
# from their own place (an installed program never looks into the build tree).
home=$scratch/home
work=$scratch/work
mkdir -p "$home" "$work"
run() {
  (cd "$work" && env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$prefix/bin/tmw-cli" "$@")
}
run bank list > "$scratch/bank.txt" 2>&1 || fail "bank list failed: $(cat "$scratch/bank.txt")"
run render "$prefix/share/tunemill/demos/first-steps.sn2" song.wav > "$scratch/render.txt" 2>&1 ||
  fail "render failed: $(cat "$scratch/render.txt")"
grep -q "Piano\|piano" "$scratch/bank.txt" || fail "bank list shows no instruments: $(head -5 "$scratch/bank.txt")"
[ -s "$work/song.wav" ] || fail "render wrote nothing"
[ "$(head -c 4 "$work/song.wav")" = RIFF ] || fail "render wrote no WAV file"
# The user's data stays in the XDG folders: the empty home got nothing else.
leftovers=$(find "$home" -mindepth 1 -not -path "$home/.config*" -not -path "$home/.local*" | head -1)
[ -z "$leftovers" ] || fail "files outside the XDG folders: $leftovers"

# The manual pages name every command of the program.
for command in $(run --help | sed -n '/^Subcommands:/,$p' | awk 'NR > 1 && NF { print $1 }'); do
  zcat "$prefix/share/man/man1/tmw-cli.1.gz" | grep -q "^\.SS \"$command" ||
    fail "tmw-cli(1) does not describe $command"
done
# The completion scripts parse, and offer the commands and the export types.
bash_completion=$prefix/share/bash-completion/completions/tmw-cli
offered=$(bash -c '. "$1"; COMP_WORDS=(tmw-cli render --format ""); COMP_CWORD=3; _tmw_cli
  echo "${COMPREPLY[*]}"' - "$bash_completion") || fail "bash completion does not run"
[ "$offered" = "wav flac ogg mp3 opus" ] || fail "bash completion offers '$offered' for --format"
if command -v zsh >/dev/null; then
  zsh -n "$prefix/share/zsh/site-functions/_tmw-cli" || fail "zsh completion does not parse"
fi
if command -v fish >/dev/null; then
  offered=$(fish -c "source '$prefix/share/fish/vendor_completions.d/tmw-cli.fish'
    complete -C 'tmw-cli instrument exp'" | cut -f1) || fail "fish completion does not run"
  [ "$offered" = export ] || fail "fish completion offers '$offered' for instrument exp"
fi
if command -v man >/dev/null; then
  MANWIDTH=80 man -l "$prefix/share/man/man1/tmw-cli.1.gz" 2>&1 >/dev/null | grep . &&
    fail "man warns about tmw-cli(1)"
fi

# The validators, where installed (CI installs them through scripts/install-deps.sh).
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/example.larkfield.Tunemill.desktop" ||
    fail "desktop-file-validate refuses the desktop entry"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/example.larkfield.Tunemill.metainfo.xml" \
    >"$scratch/appstream.txt" 2>&1 || fail "appstreamcli refuses the metainfo: $(cat "$scratch/appstream.txt")"
fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$prefix/share/mime/packages/tunemill.xml" || fail "the MIME package is no XML"
fi
echo "install test: the installed prefix works"
