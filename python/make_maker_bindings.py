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

# The kinds of object the setters name, longest first so that "PointLight"
# wins over "Point" and "CylindricalLights" over "Cylinder".
KINDS = sorted(["Camera", "Sphere", "PointLight", "Mesh", "Polygon", "Photons", "Cylinder", "Cone", "Plane",
                "Spotlight", "Box", "Spheresweep", "ParallelLights", "CylindricalLights", "Textures"],
               key=len, reverse=True)
# Methods whose name says too little, with only a number in the header.
SPECIAL = {
    "Init": "Starts a new scene: prepares Render/ and RenderOut/ in the work folder (deleting their files), "
            "opens Render/Tessel.pov and forgets every registered object.",
    "Finish": "Writes the global settings and closes the scene file; RenderNet2.Zarvo() then renders it.",
    "SetMatrixOnebyOne": "Sets row h, column v (0..3) of the transform matrix to value; setting (3, 3) "
                         "makes the matrix statement from rows 0..3 (see the class docstring). S_FALSE for h "
                         "or v outside 0..3.",
    "SetRotate": "Fills rotation slot index (1..4) with the angles (x, y, z) in degrees, written as x, z, y; "
                 "slots 1 to 3 are written at each placement. Any other index: S_FALSE.",
    "SetScale": "Fills scale slot index (1..4) with the factors (x, y, z), written as x, z, y; slots 1 to 3 are "
                "written at each placement. Any other index: S_FALSE.",
    "SetTriangleUVInMesh": "Sets the texture coordinates (u, v) of corner index (1..3) of the mesh's current "
                           "triangle. S_FALSE without a current triangle or for another index.",
    "PushTriangleInMesh": "Adds the current triangle to mesh meshid. S_FALSE when meshid names no mesh or it "
                          "has no current triangle.",
    "InsertPointToPolygon": "Appends the point (x, y) to polygon polygonid. S_FALSE when polygonid names no "
                            "polygon.",
    "AddtoScene": "Places the object id in the scene with the current transforms, texture and photons; its "
                  "first placement writes its declaration. S_FALSE when id names no object.",
}
PARTS = {"Pigment": "pigment", "Normal": "normal", "Finish": "finish", "Interior": "interior"}


def words(camel):
    """'AreaLightAXIS1Size' -> 'area light AXIS1 size'."""
    parts = re.findall(r"[A-Z]{2,}[0-9]*(?![a-z])|[A-Z][a-z_]*[0-9]*|[a-z_]+[0-9]*|[0-9]+", camel)
    return " ".join(p if p.isupper() and len(p) > 1 else p.lower().replace("_", " ") for p in parts)


def value_phrase(params):
    """How the value parameters read in a sentence."""
    names = [n for _, n in params]
    if names[-3:] == ["x", "y", "z"] and len(names) == 3:
        return "the point or direction (x, y, z), written as x, z, y"
    if names == ["r", "g", "b"]:
        return "the colour (r, g, b)"
    if len(names) == 1 and names[0] == "OnorOff":
        return "OnorOff (1 on, 0 off)"
    return ", ".join(names)


def describe(name, params):
    """One or two sentences saying what a Maker method does, from its name and
    parameters, for methods the header does not comment on its own."""
    if name in SPECIAL:
        return SPECIAL[name]
    first = params[0][1] if params else None
    rest = params[1:]
    if name.startswith("Create") and first == "id":
        return ("Registers a new %s under id, to be set up and then placed with AddtoScene; an id already "
                "registered keeps its object. S_FALSE for a null id." % words(name[len("Create"):]))
    for part, part_name in PARTS.items():
        prefix = part + "InTexture"
        if name.startswith(prefix) or (name.startswith(part) and "InTexture" in name):
            action = name.replace(prefix, "").replace("InTexture", "").replace(part, "", 1)
            if action == "Begin":
                return ("Starts a %s part in texture Textureid; the %s setters that follow fill it until "
                        "%sInTextureEnd." % (part_name, part_name, part))
            if action == "End":
                return "Appends the current part to texture Textureid."
            if action.startswith("Set"):
                return ("Sets the %s of the current %s part of texture Textureid to %s. S_FALSE when Textureid "
                        "names no texture." % (words(action[3:]), part_name, value_phrase(rest)))
    if name.startswith("GlobalSet"):
        return "Sets the scene's global %s to %s; Finish writes it." % (words(name[len("GlobalSet"):]),
                                                                       value_phrase(params))
    if name.startswith("Set") and first == "id":
        body = name[len("Set"):]
        kind = next((k for k in KINDS if body.startswith(k)), None)
        if kind:
            prop = body[len(kind):]
            what = words(kind).rstrip("s") if kind == "Textures" else words(kind)
            if not rest:
                return ("Switches on the %s of the %s id. S_FALSE when id names no %s." %
                        (words(prop[:-2] if prop.endswith("On") else prop), what, what))
            return ("Sets the %s of the %s id to %s. S_FALSE when id names no %s." %
                    (words(prop), what, value_phrase(rest), what))
    return words(name).capitalize() + "(" + ", ".join(n for _, n in params) + ")."


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
        parsed.append((m.group(1), params, " ".join(doc) or describe(m.group(1), params)))
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
        full = "%s(%s) -> S_OK or S_FALSE\n\n%s\n\n(Maker method %d of %d.)" % (
            name, ", ".join(n for _, n in params), text, number, EXPECTED_METHODS)
        w.append("  cls.def(%s, [](%s) { return m.%s(%s); }%s, %s); \\" %
                 (cxx_string(name), lam, name, call, args, cxx_string(full)))
    w.append("  /* end */")
    w.append("#define LUMORA_MAKER_METHOD_NAMES " + ", ".join(cxx_string(n) for n in names))
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(w) + "\n")


if __name__ == "__main__":
    main()
