#!/usr/bin/env python3
"""helpman — a manual page from its scdoc frame and the program's own help,
so that the page cannot drift from what the program accepts.

  helpman.py debug FRAME OUT VERSION     (inside a simulated camera: runs `debug`)
  helpman.py camfind FRAME OUT VERSION PROGRAM...   (PROGRAM -h is camfind's help)
  helpman.py camsim FRAME OUT VERSION USAGE-FILE SIMDIR
                                   (USAGE-FILE is what `camsim --help` prints)

The frame's markers, each alone on a line, are replaced: @options@ (in each
`## MODULE` section of debug's MODULES), @synopsis@, @description@ and
@sections@ (camfind: a section for each headed list of its help, such as
its options), @synopsis@ and @usage@ (camsim); @version@ anywhere,
and @simdir@ (camsim: where the simulated camera is installed).
OUT is the page, rendered by scdoc and compressed (gzip -9n), as packages
ship it.
"""
import gzip
import re
import subprocess
import sys

# debug's option rows: "-r  --read [hex]<TAB>text", "    --scan<TAB><TAB>text".
DEBUG_ROW = re.compile(r"^(?:-(\S)  |    )--(.+?)(?: \[([^\]]*)\])?\t+(.*)$")


def fail(message):
    sys.exit(f"helpman: {message}")


def escape(text):
    """scdoc's own markup characters, taken literally."""
    return re.sub(r"([\\*_])", r"\\\1", text)


def run(argv):
    r = subprocess.run(argv, capture_output=True, text=True, stdin=subprocess.DEVNULL, timeout=60)
    if r.returncode != 0:
        fail(f"{' '.join(argv)} exited {r.returncode}: {r.stderr.strip()}")
    return r.stdout


def debug_modules(usage):
    """The module names of the program's usage, after "modules name:"."""
    lines = usage.splitlines()
    if "modules name:" not in lines:
        fail("no module list in the usage of debug")
    return [name for line in lines[lines.index("modules name:") + 1:] for name in line.split()]


def debug_rows(help_text):
    """A module's option rows, between its "usage:" line and the closing row of stars."""
    rows, inside = [], False
    for line in help_text.splitlines():
        if line.endswith(" usage:"):
            inside = True
        elif inside and line.startswith("****"):
            break
        elif inside and (m := DEBUG_ROW.match(line)):
            rows.append(m.groups())
    return rows


def debug_options(rows):
    if not rows:
        return ["No options besides *-M*."]
    out = []
    for letter, name, hint, text in rows:
        flags = (f"*-{escape(letter)}*, " if letter else "") + f"*--{escape(name.strip())}*"
        out.append(flags + (f" _{escape(hint.strip())}_" if hint and hint.strip() else ""))
        out += [f"\t{escape(text.strip())}", ""] if text.strip() else [""]
    return out[:-1]


def fill_debug(frame):
    modules = debug_modules(run(["debug"]))
    lines, out, section, in_modules, filled = frame.splitlines(), [], None, False, set()
    for line in lines:
        if line.startswith("# "):
            in_modules = line == "# MODULES"
        elif in_modules and line.startswith("## "):
            section = line[3:].strip()
            if section not in modules:
                fail(f"the page has a section for {section}, which debug does not list")
        if line == "@options@":
            if not in_modules or section is None:
                fail("@options@ outside a module section")
            out += debug_options(debug_rows(run(["debug", "-h", section])))
            filled.add(section)
        else:
            out.append(line)
    missing = [m for m in modules if m not in filled]
    if missing:
        fail(f"no section with @options@ for the modules {' '.join(missing)}")
    return out


def blocks(text):
    """Paragraphs: runs of lines between empty lines."""
    return [b.splitlines() for b in re.split(r"\n\s*\n", text.strip("\n")) if b.strip()]


def synopsis(lines, program):
    """Usage lines as scdoc paragraphs, continuation lines joined; the program
    and its verbs in bold."""
    entries = []
    for line in lines:
        words = line.split()
        if words[:1] == ["usage:"]:
            words = words[1:]
        if words[:1] == [program]:
            entries.append(words)
        elif entries:
            entries[-1] += words
    out = []
    for words in entries:
        verbs = 1
        while verbs < len(words) and re.fullmatch(r"[a-z]+", words[verbs]):
            verbs += 1
        out += [" ".join([f"*{w}*" for w in words[:verbs]] + [escape(w) for w in words[verbs:]]), ""]
    return out[:-1]


def term(text):
    """A verb or option as scdoc: flags and verb words bold, values
    (capitals) underlined, the rest as it is."""
    out = []
    for word in text.split():
        bare = word.rstrip(",")
        if re.fullmatch(r"-{1,2}[\w-]+|[a-z]+", bare):
            out.append(f"*{escape(bare)}*" + word[len(bare):])
        elif re.fullmatch(r"[A-Z][A-Z0-9_-]*", word):
            out.append(f"_{escape(word)}_")
        else:
            out.append(escape(word))
    # A line that starts with "[" would open a table.
    return re.sub(r"^\[", r"\\[", " ".join(out))


def definitions(lines):
    """Rows of a list ("  TERM  text", text continued on lines indented
    further) as scdoc: the term, then its text indented."""
    entries = []
    for line in lines:
        indent = len(line) - len(line.lstrip())
        if indent < 8:
            name, _, text = line.strip().partition("  ")
            entries.append([term(name), text.strip()])
        elif entries:
            entries[-1][1] = f"{entries[-1][1]} {line.strip()}".strip()
    out = []
    for name, text in entries:
        out += [name] + ([f"\t{escape(text)}"] if text else []) + [""]
    return out[:-1]


def fill_camfind(frame, program):
    """The usage is the synopsis; a paragraph under a heading ("Options:")
    becomes a section of its own, a list; the other paragraphs are the
    description."""
    paragraphs = blocks(run(program + ["-h"]))
    if not paragraphs or not paragraphs[0][0].startswith("usage: camfind"):
        fail("camfind -h does not start with its usage")
    description, sections = [], []
    for b in paragraphs[1:]:
        if re.fullmatch(r"[A-Z][\w ]*:", b[0]) and len(b) > 1:
            sections += [f"# {b[0][:-1].upper()}", ""] + definitions(b[1:]) + [""]
        elif b[0].startswith("  -"):
            sections += ["# OPTIONS", ""] + definitions(b) + [""]
        else:
            description += [escape(" ".join(x.strip() for x in b)), ""]
    parts = {
        "@synopsis@": synopsis(paragraphs[0], "camfind"),
        "@description@": description[:-1],
        "@sections@": sections[:-1],
    }
    return replace(frame, parts)


def fill_camsim(frame, usage_file):
    with open(usage_file) as f:
        text = f.read()
    lines = text.splitlines()
    usage = [l for l in lines if l.startswith("  camsim ")]
    if not usage:
        fail(f"no usage lines in {usage_file}")
    after = lines.index(usage[-1]) + 1
    rest = "\n".join(lines[after:]).strip("\n").splitlines()
    return replace(frame, {"@synopsis@": synopsis(usage, "camsim"), "@usage@": ["```"] + rest + ["```"]})


def replace(frame, parts):
    out = []
    for line in frame.splitlines():
        if line in parts:
            if not parts[line]:
                fail(f"nothing to put at {line}")
            out += parts[line]
        else:
            out.append(line)
    return out


def main(argv):
    if len(argv) < 5 or argv[1] not in ("debug", "camfind", "camsim"):
        fail(__doc__)
    kind, frame_file, out_file, version = argv[1:5]
    with open(frame_file) as f:
        frame = f.read()
    if kind == "debug":
        lines = fill_debug(frame)
    elif kind == "camfind":
        lines = fill_camfind(frame, argv[5:])
    else:
        lines = fill_camsim(frame, argv[5])
        lines = [l.replace("@simdir@", escape(argv[6])) for l in lines]
    source = "\n".join(lines).replace("@version@", version) + "\n"
    try:
        r = subprocess.run(["scdoc"], input=source.encode(), capture_output=True)
    except FileNotFoundError:
        fail("no scdoc (scripts/ensure-deps package installs it)")
    if r.returncode != 0:
        fail(f"scdoc refuses the page for {frame_file}: {r.stderr.decode().strip()}")
    with open(out_file, "wb") as f:
        f.write(gzip.compress(r.stdout, compresslevel=9, mtime=0))


if __name__ == "__main__":
    main(sys.argv)
