"""What readelf says about a built program: header, segments, dynamic
section, dynamic symbols and relocations."""
import subprocess


def readelf(path, *options):
    return subprocess.run(["readelf", "-W", *options, str(path)], capture_output=True,
                          text=True, check=True).stdout


class Symbol:
    def __init__(self, fields):
        # Num: Value Size Type Bind Vis Ndx Name[@VERSION (n)]
        self.type, self.bind, self.ndx = fields[3], fields[4], fields[6]
        self.name = fields[7].split("@")[0]

    @property
    def defined_global(self):
        return self.ndx != "UND" and self.bind in ("GLOBAL", "WEAK") and self.type != "SECTION"


def symbols(path, option):
    """Rows of every symbol table readelf prints with OPTION (--dyn-syms, --syms)."""
    rows = []
    for line in readelf(path, option).splitlines():
        fields = line.split()
        if len(fields) >= 8 and fields[0].endswith(":") and fields[0][:-1].isdigit():
            rows.append(Symbol(fields))
    return rows


class Elf:
    def __init__(self, path):
        self.path = path
        self.header = readelf(path, "-h")
        self.segments = readelf(path, "-l")
        self.dynamic = readelf(path, "-d")
        self.dynsyms = symbols(path, "--dyn-syms")
        self.relocations = readelf(path, "-r")

    def dynamic_entry(self, tag):
        """The text after the tag's name, as in "(FLAGS_1) Flags: NOW PIE"."""
        for line in self.dynamic.splitlines():
            if f"({tag})" in line:
                return line.split(")", 1)[1].strip()
        return None

    def imports(self):
        return {s.name for s in self.dynsyms if s.ndx == "UND"}

    def copy_relocated(self):
        """Library data the program holds a copy of: defined in the program,
        but not the program's own exports."""
        names = set()
        for line in self.relocations.splitlines():
            fields = line.split()
            if len(fields) >= 5 and fields[2].endswith("_COPY"):
                names.add(fields[4].split("@")[0])
        return names

    def exports(self):
        return {s.name for s in self.dynsyms if s.defined_global} - self.copy_relocated()
