#!/usr/bin/env python3
"""Lists what an installation left on a Windows machine, in a form that two
machines can be compared by: the simulated machine (a sandbox folder) and a
Wine prefix.

    manifest.py --drive C_FOLDER --user NAME --select TEXT... [--reg FILE --key KEY...]

Files and folders whose path (relative to the C: folder) contains one of the
--select texts are listed with their size, content digest and, for files the
package dated, their modification time; shell links are listed by what they
point at (read with lnkinfo), internet shortcuts by their text. Registry values
under the --key keys are read from the .reg files (UTF-8 or UTF-16) and listed
one a line. Paths are lower-cased in ASCII, as Windows compares them, and the
user's profile folder is written users/~ whatever the user's name.
"""
import argparse
import hashlib
import os
import re
import subprocess
import sys
import time


def normal_path(relative, user):
    path = relative.replace(os.sep, "/")
    path = re.sub(r"[A-Z]", lambda m: m.group(0).lower(), path)
    prefix = "users/" + re.sub(r"[A-Z]", lambda m: m.group(0).lower(), user) + "/"
    if path.startswith(prefix) or path + "/" == prefix:
        path = "users/~/" + path[len(prefix):]
    return path.rstrip("/")


def normal_text(text, user):
    """Windows paths inside a link or a value: the same rules as file paths."""
    text = text.replace("\\", "/")
    text = re.sub(r"(?i)c:/users/" + re.escape(user) + "(/|$)", "c:/users/~/", text)
    return re.sub(r"[A-Z]", lambda m: m.group(0).lower(), text)


LINK_FIELDS = ("Local path", "Working directory", "Command line arguments", "Description",
               "Icon location", "Relative path")


def describe_link(path, user):
    try:
        # Strings a link holds in the system code page are Chinese (936).
        out = subprocess.run(["lnkinfo", "-c", "windows-936", path], capture_output=True, text=True, check=True).stdout
    except (OSError, subprocess.CalledProcessError) as error:
        return "unreadable link (%s)" % error
    fields = []
    for line in out.splitlines():
        name, _, value = line.strip().partition(":")
        name = name.strip()
        # An empty string and a missing one mean the same to the shell.
        if name in LINK_FIELDS and value.strip():
            fields.append("%s=%s" % (name.lower().replace(" ", "-"), normal_text(value.strip(), user)))
    return " ".join(sorted(fields))


def list_files(drive, user, selects, dated_before):
    lines = []
    wanted = [s.lower() for s in selects]
    # Wine's profile folders are links into the home folder, some of them to
    # the same place: each real folder is listed once, by its first path.
    visited = set()
    for top, folders, files in os.walk(drive, followlinks=True):
        visited.add(os.path.realpath(top))
        folders[:] = [f for f in sorted(folders) if os.path.realpath(os.path.join(top, f)) not in visited]
        for name in folders + files:
            full = os.path.join(top, name)
            relative = normal_path(os.path.relpath(full, drive), user)
            if not any(w in relative.lower() for w in wanted):
                continue
            if os.path.isdir(full):
                lines.append("folder %s" % relative)
                continue
            stat = os.stat(full)
            if relative.endswith(".lnk"):
                detail = describe_link(full, user)
            elif relative.endswith(".url"):
                with open(full, "rb") as handle:
                    detail = handle.read().replace(b"\r\n", b"\n").decode("gbk", "replace").strip().replace("\n", " | ")
            else:
                with open(full, "rb") as handle:
                    digest = hashlib.sha256(handle.read()).hexdigest()[:16]
                detail = "%d bytes sha256:%s" % (stat.st_size, digest)
                # Times the package gave; files made at install time are newer.
                if stat.st_mtime < dated_before:
                    detail += " time:" + time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(stat.st_mtime))
            lines.append("file %s %s" % (relative, detail))
    return lines


def read_reg(path):
    data = open(path, "rb").read()
    if data.startswith(b"\xff\xfe"):
        text = data[2:].decode("utf-16-le")
    else:
        text = data.decode("utf-8-sig")
    joined = re.sub(r"\\\r?\n\s*", "", text)
    key = None
    values = []
    for line in joined.splitlines():
        line = line.strip()
        if line.startswith("[") and line.endswith("]"):
            key = line[1:-1]
            values.append((key, None, None))
        elif key and (line.startswith('"') or line.startswith("@=")):
            if line.startswith("@="):
                name, rest = "", line[2:]
            else:
                match = re.match(r'"((?:[^"\\]|\\.)*)"=(.*)$', line)
                if not match:
                    continue
                name, rest = match.group(1).replace('\\"', '"').replace("\\\\", "\\"), match.group(2)
            values.append((key, name, rest))
    return values


def normal_value(raw, user):
    if raw.startswith('"') and raw.endswith('"'):
        text = raw[1:-1].replace('\\"', '"').replace("\\\\", "\\")
        return "sz " + normal_text(text, user)
    kind, _, data = raw.partition(":")
    return "%s %s" % (kind.lower(), data.replace(",", "").lower())


ROOTS = {"hklm": "hkey_local_machine", "hkcu": "hkey_current_user", "hkcr": "hkey_classes_root",
         "hku": "hkey_users"}


def normal_key(key):
    head, _, rest = key.partition("\\")
    head = ROOTS.get(head.lower(), head.lower())
    return (head + ("\\" + rest if rest else "")).lower()


def list_registry(files, keys, user):
    wanted = [normal_key(k) for k in keys]
    lines = set()
    for path in files:
        for key, name, raw in read_reg(path):
            k = normal_key(key)
            if not any(k == w or k.startswith(w + "\\") for w in wanted):
                continue
            if name is None:
                lines.add("key %s" % k)
            else:
                lines.add("value %s | %s | %s" % (k, name, normal_value(raw, user)))
    return sorted(lines)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--drive", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--select", action="append", default=[])
    parser.add_argument("--reg", action="append", default=[])
    parser.add_argument("--key", action="append", default=[])
    args = parser.parse_args()
    dated_before = time.time() - 86400
    lines = sorted(list_files(args.drive, args.user, args.select, dated_before))
    lines += list_registry(args.reg, args.key, args.user)
    sys.stdout.write("".join(line + "\n" for line in lines))


if __name__ == "__main__":
    main()
