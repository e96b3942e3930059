#!/usr/bin/env python3
"""The layering check: every #include of the project's own code must follow
the arrows of the module table that src/CMakeLists.txt declares (and writes
to <build>/layers.txt).

    check_layers.py <layers.txt> <source folder>

A module may include its own headers, those of the modules it uses, and
what those make public in turn (their public uses, transitively). Headers
are reached as "tracksmith/<path>" (public, below include/) or relative to
the including file's folder without "../" (its own detail/ headers). Prints
one line per include against the table, "file:line: what and which rule",
and exits with status 1 when there is any.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def read_table(path):
    modules = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            name, paths, public, private = (line.split("|") + ["", "", ""])[:4]
            split = lambda text: [item for item in text.split(",") if item]
            modules[name] = {"paths": split(paths), "public": split(public), "private": split(private)}
    return modules


def reachable(modules, name):
    """The modules whose headers `name` may include."""
    def exported(module, seen):
        if module in seen:
            return
        seen.add(module)
        for used in modules[module]["public"]:
            exported(used, seen)
    allowed = {name}
    for used in modules[name]["public"] + modules[name]["private"]:
        exported(used, allowed)
    return allowed


def owner(modules, relative):
    """The module whose folder or file holds `relative` (longest path wins)."""
    best, best_length = None, -1
    for name, module in modules.items():
        for path in module["paths"]:
            if (relative == path or relative.startswith(path + "/")) and len(path) > best_length:
                best, best_length = name, len(path)
    return best


def project_files(root):
    for top, prefix in (("include/tracksmith", "include/tracksmith/"), ("src", "src/")):
        base = os.path.join(root, top)
        for folder, _, names in os.walk(base):
            for file_name in sorted(names):
                if file_name.endswith((".hpp", ".cpp", ".h", ".cc")):
                    full = os.path.join(folder, file_name)
                    yield full, os.path.relpath(full, root), os.path.relpath(full, base)


def main():
    if len(sys.argv) != 3:
        print(__doc__.strip().splitlines()[3].strip(), file=sys.stderr)
        return 2
    modules = read_table(sys.argv[1])
    root = os.path.abspath(sys.argv[2])
    generated = os.path.dirname(os.path.abspath(sys.argv[1]))  # the build tree
    problems = []
    for full, shown, relative in project_files(root):
        module = owner(modules, relative)
        if module is None:
            problems.append(f"{shown}: belongs to no module of the table")
            continue
        allowed = reachable(modules, module)
        with open(full, encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
        for number, line in enumerate(lines, start=1):
            match = INCLUDE.match(line)
            if not match:
                continue
            quote, target = match.groups()
            where = f"{shown}:{number}: #include {quote}{target}{'>' if quote == '<' else quote}"
            if "../" in target or target.startswith(".."):
                problems.append(f"{where}: an include may not climb out of its folder (\"../\"); "
                                f"name a public header as \"tracksmith/...\"")
                continue
            if target.startswith("tracksmith/"):
                included = target[len("tracksmith/"):]
                # Headers made at configure time sit below the build tree's include/.
                if not any(os.path.isfile(os.path.join(top, "include", target)) for top in (root, generated)):
                    problems.append(f"{where}: no such public header below include/")
                    continue
            elif quote == '"':
                beside = os.path.join(os.path.dirname(full), target)
                if not os.path.isfile(beside):
                    problems.append(f"{where}: names no file beside it; use <...> for other libraries")
                    continue
                base = os.path.join(root, "include/tracksmith" if shown.startswith("include/") else "src")
                included = os.path.relpath(beside, base)
            else:
                continue  # the standard library and the system
            target_module = owner(modules, included)
            if target_module is None:
                problems.append(f"{where}: the header belongs to no module of the table")
            elif target_module not in allowed:
                uses = ", ".join(sorted(allowed - {module})) or "no other module"
                problems.append(f"{where}: {module} may not use {target_module} "
                                f"(it may use {uses})")
    for problem in problems:
        print(problem)
    if problems:
        print(f"layering: {len(problems)} include(s) against the module table")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
