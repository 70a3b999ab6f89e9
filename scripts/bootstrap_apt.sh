# The apt steps of scripts/bootstrap.sh, sourced by it and by its test: an
# update that survives a mirror caught in the middle of a sync, an install
# that copes with the indexes of two architectures disagreeing on a
# multi-arch library, and the fetch of Debian source packages through a
# private apt configuration that the system never sees.
#
# The caller sets `sudo` (empty, or "sudo") and calls apt_cleanup when it
# ends (trap apt_cleanup EXIT). Nothing here writes to /etc/apt.

apt_tries=${apt_tries:-3}
apt_pause=${apt_pause:-10}
# The system's main preferences file; a run-only pin file carries its content.
apt_preferences=${apt_preferences:-/etc/apt/preferences}
# 1 once the system's indexes were updated in this run.
apt_fresh=0
apt_temp=()

# Removes the temporary files and folders of this run.
apt_cleanup() {
    [ ${#apt_temp[@]} -eq 0 ] || rm -rf "${apt_temp[@]}"
    apt_temp=()
}

# Sets the variable named first to a new temporary file (or, with -d
# second, folder) that apt_cleanup removes.
apt_mktemp() {
    local path
    path=$(mktemp "${@:2}")
    apt_temp+=("$path")
    printf -v "$1" '%s' "$path"
}

# apt-get update, with the apt options given, tried apt_tries times with a
# pause between. An update that still fails is reported with apt's own lines
# and is not fatal: apt keeps every index it could fetch (and the old one of
# each it could not), and whether the packages needed are installable is for
# the install to find out.
apt_update() {
    local log try
    apt_mktemp log
    for ((try = 1; try <= apt_tries; try++)); do
        if $sudo apt-get -q "$@" update >"$log" 2>&1; then
            [ $# -gt 0 ] || apt_fresh=1
            return 0
        fi
        if [ "$try" -lt "$apt_tries" ]; then
            echo "bootstrap: apt-get update failed (try $try of $apt_tries); trying again in ${apt_pause}s" >&2
            sleep "$apt_pause"
        fi
    done
    echo "bootstrap: apt-get update failed $apt_tries times; going on with the indexes it could fetch:" >&2
    grep -E '^(E|W): ' "$log" | sed 's/^/    /' >&2 || true
    [ $# -gt 0 ] || apt_fresh=1
}

# Names of the packages whose record in `apt-cache show` text (standard
# input) says "Multi-Arch: same": those whose versions must be equal on
# every architecture they are installed for.
multiarch_same() {
    awk '/^Package: / { name = $2 } /^Multi-Arch: same$/ { print name }' | sort -u
}

# Reads `apt-cache policy P:NATIVE P:FOREIGN ...` text (standard input) and
# prints "P VERSION NATIVE_CANDIDATE FOREIGN_CANDIDATE" for each package
# whose two candidates differ, in the order of the input. VERSION is the
# newest version that both architectures' version tables list and that is
# not older than a version installed for either architecture (apt does not
# downgrade); "-" when there is none. Packages that one architecture does
# not offer at all are left out: there is nothing to agree with.
multiarch_choose() {
    awk -v native="$1" -v foreign="$2" '
        # A package header: "name:" for the native architecture, "name:arch:" otherwise.
        /^[^ ].*:$/ {
            name = substr($0, 1, length($0) - 1)
            arch = native
            colon = index(name, ":")
            if (colon) { arch = substr(name, colon + 1); name = substr(name, 1, colon - 1) }
            side = arch == native ? "n" : arch == foreign ? "f" : ""
            if (side != "" && !(name in seen)) { seen[name] = 1; order[++count] = name }
            next
        }
        side == "" { next }
        /^  Installed: / { installed[name, side] = $2; next }
        /^  Candidate: / { candidate[name, side] = $2; next }
        # Version lines, newest first: " *** VERSION PRIORITY" for the
        # installed one, "     VERSION PRIORITY" for the others.
        /^ \*\*\* / || /^     [^ ]/ {
            version = $1 == "***" ? $2 : $1
            table[name, side, ++rows[name, side]] = version
            rank[name, side, version] = rows[name, side]
        }
        END {
            for (i = 1; i <= count; i++) {
                p = order[i]
                cn = candidate[p, "n"]; cf = candidate[p, "f"]
                if (cn == "" || cf == "" || cn == "(none)" || cf == "(none)" || cn == cf) continue
                chosen = "-"
                for (r = 1; r <= rows[p, "n"]; r++) {
                    v = table[p, "n", r]
                    if (!((p, "f", v) in rank)) continue
                    # The newest shared version; an older one cannot pass where it fails.
                    if (newer_or_same(p, "n", v) && newer_or_same(p, "f", v)) chosen = v
                    break
                }
                print p, chosen, cn, cf
            }
        }
        function newer_or_same(p, side, v,    w) {
            w = installed[p, side]
            if (w == "" || w == "(none)" || !((p, side, w) in rank)) return 1
            return rank[p, side, v] <= rank[p, side, w]
        }'
}

# apt preferences (standard output) holding each "P VERSION ..." line of
# standard input at VERSION for both architectures, above the archive's
# priorities and below the 1000 that would let apt downgrade.
multiarch_pins() {
    awk -v native="$1" -v foreign="$2" '
        { printf "Package: %s:%s %s:%s\nPin: version %s\nPin-Priority: 990\n\n", $1, native, $1, foreign, $2 }'
}

# Prints the choices of multiarch_choose for the Multi-Arch: same libraries
# that the foreign-architecture packages among the arguments ("name:arch")
# need, directly or not. Prints nothing when there are no such packages.
multiarch_disagreements() {
    local native arg arch foreign=() archs=()
    native=${apt_native:-$(dpkg --print-architecture)}
    for arg in "$@"; do
        case "$arg" in
        -*) ;;
        *:*)
            arch=${arg##*:}
            [ "$arch" = "$native" ] && continue
            foreign+=("$arg")
            case " ${archs[*]} " in *" $arch "*) ;; *) archs+=("$arch") ;; esac
            ;;
        esac
    done
    [ ${#foreign[@]} -gt 0 ] || return 0
    local closure names pairs=() name
    closure=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
        --no-replaces --no-enhances "${foreign[@]}" 2>/dev/null | grep -v '^[ <]' | sort -u) || true
    for arch in "${archs[@]}"; do
        mapfile -t names < <(grep ":$arch\$" <<<"$closure" || true)
        [ ${#names[@]} -gt 0 ] || continue
        pairs=()
        while read -r name; do
            pairs+=("$name:$native" "$name:$arch")
        done < <(apt-cache show --no-all-versions "${names[@]}" 2>/dev/null | multiarch_same)
        [ ${#pairs[@]} -gt 0 ] || continue
        apt-cache policy "${pairs[@]}" 2>/dev/null | multiarch_choose "$native" "$arch" | sed "s/\$/ $arch/" || true
    done
}

# apt-get install (arguments as apt-get takes them, "-t RELEASE" included)
# without recommends. When apt refuses because the architectures disagree on
# a multi-arch library (an index of one of them stale or missing), each such
# library is held at the newest version both offer, through a pin given to
# apt for this run only, and the bootstrap says which. Returns non-zero,
# with apt's own message, when the packages cannot be installed.
apt_install() {
    local log options=()
    apt_mktemp log
    if ! apt-get install -s "$@" >"$log" 2>&1; then
        local choices package version native_candidate foreign_candidate arch native stuck=0 prefs
        native=${apt_native:-$(dpkg --print-architecture)}
        choices=$(multiarch_disagreements "$@") || true
        if [ -z "$choices" ]; then
            echo "bootstrap: apt cannot install $*:" >&2
            grep -v '^\(Reading\|Building\|NOTE\|Inst\|Conf\) ' "$log" | tail -n 30 | sed 's/^/    /' >&2 || true
            return 1
        fi
        apt_mktemp prefs
        [ ! -f "$apt_preferences" ] || { cat "$apt_preferences"; echo; } >"$prefs"
        while read -r package version native_candidate foreign_candidate arch; do
            if [ "$version" = - ]; then
                echo "bootstrap: $package is $native_candidate for $native and $foreign_candidate for $arch," \
                    "and no version both offer can be installed; the archive's indexes must agree first" \
                    "(apt-get update later)" >&2
                stuck=1
                continue
            fi
            echo "bootstrap: the $native and $arch indexes disagree on $package ($native_candidate and" \
                "$foreign_candidate); installing $version, which both offer, for both (pinned for this run" \
                "only, nothing written to /etc/apt)"
            multiarch_pins "$native" "$arch" <<<"$package $version" >>"$prefs"
        done <<<"$choices"
        [ "$stuck" = 0 ] || return 1
        options=(-o "Dir::Etc::Preferences=$prefs")
        if ! apt-get "${options[@]}" install -s "$@" >"$log" 2>&1; then
            echo "bootstrap: apt cannot install $*, even with the versions both architectures offer:" >&2
            grep -v '^\(Reading\|Building\|NOTE\|Inst\|Conf\) ' "$log" | tail -n 30 | sed 's/^/    /' >&2 || true
            return 1
        fi
    fi
    if ! $sudo apt-get "${options[@]}" install -y -q --no-install-recommends "$@" >"$log" 2>&1; then
        echo "bootstrap: apt-get install $* failed:" >&2
        tail -n 30 "$log" | sed 's/^/    /' >&2
        return 1
    fi
}

# True when the folder (first argument) holds a description of the source
# package (second) together with every file the description lists.
apt_source_complete() {
    local dsc name complete
    for dsc in "$1/$2"_*.dsc; do
        [ -f "$dsc" ] || continue
        complete=1
        while read -r name; do
            [ -f "$1/$name" ] || complete=0
        done < <(sed -n '/^Files:/,/^[^ ]/s/^ [0-9a-f]* [0-9]* \([^ ]*\)$/\1/p' "$dsc")
        [ "$complete" = 0 ] || return 0
    done
    return 1
}

# Options that point apt at a private configuration naming only the source
# indexes (deb-src) of the suites the system takes its packages from, in a
# temporary folder: apt_source_options, set once per run with the indexes
# fetched. The system's sources and lists stay as they are.
apt_source_options=()
apt_source_setup() {
    [ ${#apt_source_options[@]} -eq 0 ] || return 0
    local dir codename keyring="" uri release lines=""
    apt_mktemp dir -d
    # apt downloads as its own user, which must reach the lists.
    chmod 755 "$dir"
    mkdir -p "$dir/parts" "$dir/lists/partial"
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    [ ! -f /usr/share/keyrings/debian-archive-keyring.gpg ] ||
        keyring="[signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] "
    while read -r uri release; do
        case "$release" in
        "$codename" | "$codename-updates" | "$codename-security") lines+="deb-src $keyring$uri $release main"$'\n' ;;
        esac
    done < <(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' 'Component: main' |
        sort -u)
    if [ -z "$lines" ]; then
        lines="deb-src ${keyring}http://deb.debian.org/debian $codename $codename-updates main"$'\n'
        lines+="deb-src ${keyring}http://deb.debian.org/debian-security $codename-security main"$'\n'
    fi
    printf '%s' "$lines" >"$dir/sources.list"
    apt_source_options=(-o "Dir::Etc::SourceList=$dir/sources.list" -o "Dir::Etc::SourceParts=$dir/parts"
        -o "Dir::State::Lists=$dir/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=)
    apt_update "${apt_source_options[@]}"
}

# Downloads the source package (second argument) into the folder (first),
# the newest version the archive lists first: a mirror that lacks it (the
# security archive does not always carry every source) falls back to the
# next one. Returns non-zero when no version could be fetched whole.
apt_fetch_source() {
    local cache=$1 package=$2 version log
    apt_source_setup
    apt_mktemp log
    for version in $(apt-cache "${apt_source_options[@]}" showsrc "$package" 2>/dev/null |
        sed -n 's/^Version: //p' | sort -u | sort -r -V); do
        if (cd "$cache" && apt-get "${apt_source_options[@]}" source --download-only -q "$package=$version" \
            >"$log" 2>&1) && apt_source_complete "$cache" "$package"; then
            return 0
        fi
        # A half-fetched version (its description without its files) would
        # pass for a fetched one.
        rm -f "$cache/${package}_${version#*:}.dsc"
    done
    [ ! -s "$log" ] || grep -E '^(E|W): ' "$log" | tail -n 3 | sed 's/^/    /' >&2 || true
    return 1
}
