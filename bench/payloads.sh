# The three payloads of the side-by-side benchmarks, made once into a folder
# and kept while their sizes stay the same:
#   text/      generated text files of 0.2-8 KB, in folders of 100
#   binaries/  the host's own programs and libraries of 0.1-8 MB, in name
#              order, until the wanted size is reached
#   one/       one 3-byte file (start-up and end)
# Sourced by the bench scripts:  make_payloads DIR TEXT_COUNT BINARY_BYTES
make_payloads() {
    local payloads=$1 text_count=$2 binary_bytes=$3
    local stamp="2 $text_count $binary_bytes"
    [ "$(cat "$payloads/.stamp" 2>/dev/null)" = "$stamp" ] && return
    rm -rf "$payloads"
    mkdir -p "$payloads/text" "$payloads/binaries" "$payloads/one"
    # Text: lines of words, sizes spread evenly over 0.2-8 KB.
    python3 - "$payloads/text" "$text_count" <<'PYTHON'
import os, random, sys
root, count = sys.argv[1], int(sys.argv[2])
rng = random.Random(15)
words = [w.strip() for w in open("/usr/share/dict/words")] if os.path.exists("/usr/share/dict/words") else None
if not words:
    words = ["%s%d" % (rng.choice(["alpha", "beta", "gamma", "delta", "omega", "sigma"]), n) for n in range(4000)]
for n in range(count):
    folder = os.path.join(root, "d%03d" % (n // 100))
    os.makedirs(folder, exist_ok=True)
    size = rng.randint(200, 8192)
    text, line = [], []
    length = 0
    while length < size:
        w = rng.choice(words)
        line.append(w)
        length += len(w) + 1
        if len(line) == 12:
            text.append(" ".join(line))
            line = []
    text.append(" ".join(line))
    data = ("\r\n".join(text)).encode()[:size]
    with open(os.path.join(folder, "file%05d.txt" % n), "wb") as f:
        f.write(data)
PYTHON
    local total=0 n=0 f size
    while IFS= read -r f; do
        size=$(stat -c %s "$f")
        [ $((total + size)) -le "$binary_bytes" ] || continue
        n=$((n + 1))
        cp "$f" "$payloads/binaries/$(printf '%03d' "$n")-$(basename "$f")"
        total=$((total + size))
        [ $((binary_bytes - total)) -gt 102400 ] || break
    done < <(find /usr/bin /usr/lib/x86_64-linux-gnu /usr/lib/wine -maxdepth 3 -type f -size +100k -size -8M \
        2>/dev/null | LC_ALL=C sort)
    printf 'abc' >"$payloads/one/one.txt"
    echo "$stamp" >"$payloads/.stamp"
}
