#!/usr/bin/env python3
"""Writes the pybind11 bindings of Maker from scene/Maker.h.

Every method of the class becomes a method of lumora.Maker under its own
name and in its own order; the comment lines right above a declaration
become its docstring, the header's opening comment the class docstring.
The build stops when the header does not hold exactly the expected number
of methods, so a method added or lost in the header cannot slip by.

usage: make_maker_bindings.py Maker.h out.inc
"""
import re
import sys

EXPECTED_METHODS = 126

# C++ parameter type -> (binding parameter type, expression passed to Maker)
TYPES = {
    "const char*": ("OptionalText", "TextArg({name}, \"{name}\")"),
    "double": ("double", "{name}"),
    "std::int32_t": ("std::int32_t", "{name}"),
}

DECL = re.compile(r"HRESULT\s+(\w+)\s*\(([^)]*)\)\s*;")


def class_comment(lines):
    out = []
    for line in lines:
        if line.startswith("#pragma"):
            continue
        if not line.startswith("//"):
            break
        out.append(line[2:].strip() if line.strip() == "//" else line[3:].rstrip())
    return "\n".join(out).strip()


def parse(text):
    lines = text.splitlines()
    start = next(i for i, l in enumerate(lines) if l.startswith("class Maker"))
    end = next(i for i in range(start, len(lines)) if lines[i].strip() == "private:")
    methods = []
    comment = []
    pending = None
    for raw in lines[start + 1:end]:
        line = raw.strip()
        if pending is not None:
            pending += " " + line
            if ";" in line:
                methods.append((pending, comment))
                pending, comment = None, []
            continue
        if line.startswith("//"):
            comment.append(line[2:].strip())
        elif line.startswith("HRESULT"):
            if ";" in line:
                methods.append((line, comment))
                comment = []
            else:
                pending = line
        elif not line or line in ("public:",) or line.startswith(("Maker(", "~Maker", "Maker&")):
            comment = []
    parsed = []
    for decl, doc in methods:
        decl = re.sub(r"//.*$", "", decl)
        m = DECL.search(decl)
        if not m:
            raise SystemExit("cannot read declaration: " + decl)
        params = []
        for p in filter(None, (s.strip() for s in m.group(2).split(","))):
            pm = re.match(r"(.*?)\s*(\w+)$", p)
            ctype = pm.group(1).replace(" *", "*").strip()
            if ctype not in TYPES:
                raise SystemExit("unknown parameter type %r in %s" % (ctype, m.group(1)))
            params.append((ctype, pm.group(2)))
        parsed.append((m.group(1), params, " ".join(doc)))
    return class_comment(lines), parsed


def cxx_string(s):
    return '"' + s.replace("\\", "\\\\").replace('"', '\\"').replace("\n", "\\n") + '"'


def main():
    header, out = sys.argv[1], sys.argv[2]
    with open(header, encoding="utf-8") as f:
        doc, methods = parse(f.read())
    if len(methods) != EXPECTED_METHODS:
        raise SystemExit("%s declares %d methods of Maker, expected %d" % (header, len(methods),
                                                                          EXPECTED_METHODS))
    w = ["// Written by make_maker_bindings.py from scene/Maker.h; do not edit.",
         "#define LUMORA_MAKER_DOC " + cxx_string(doc),
         "#define LUMORA_MAKER_METHODS(cls) \\"]
    names = []
    for number, (name, params, text) in enumerate(methods, start=1):
        names.append(name)
        lam = ", ".join(["Maker& m"] + ["%s %s" % (TYPES[t][0], n) for t, n in params])
        call = ", ".join(TYPES[t][1].format(name=n) for t, n in params)
        args = "".join(", py::arg(%s)" % cxx_string(n) for _, n in params)
        full = "Method %d of %d." % (number, EXPECTED_METHODS) + (" " + text if text else "")
        w.append("  cls.def(%s, [](%s) { return m.%s(%s); }%s, %s); \\" %
                 (cxx_string(name), lam, name, call, args, cxx_string(full)))
    w.append("  /* end */")
    w.append("#define LUMORA_MAKER_METHOD_NAMES " + ", ".join(cxx_string(n) for n in names))
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(w) + "\n")


if __name__ == "__main__":
    main()
