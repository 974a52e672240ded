#!/usr/bin/env python3
"""Finds the places in the program's own sources where a simple fault can be planted, picks a
fixed-seed sample of them and plants one at a time. Used by scripts/mutate.sh.

  mutants.py plan --seed S --count N PLAN   enumerate, pick, write the plan (JSON) to PLAN
  mutants.py route PLAN SIDE DIR TARGET...  note which planned mutants SIDE's test targets build
  mutants.py show PLAN                      one line per planned mutant
  mutants.py apply PLAN INDEX               plant mutant INDEX in its file, in place

A mutant's rank is a hash of the seed, its file, the text of its line, which occurrence of that
text in the file it is, its column and its change, never of its line number or of the other
sites, so the same seed picks the same mutants from the same tree, and mostly the same ones after
edits elsewhere.
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys

# Every folder that ships, sources and headers alike; the substitute is not the program.
PROGRAM_FOLDERS = ["app", "settings", "monitor", "tray", "driveinfo", "platform", "wine"]
NOT_PROGRAM = "platform/substitute/"
# The builds a mutant can be routed to, and the macros each defines of those the sources test:
# the host build is 64-bit, the Windows one 32-bit.
SIDES = {"native": set(), "windows": {"_WIN32", "__i386__"}}

# Binary operators that are spaced on both sides in this code base; templates (`std::vector<T>`),
# member access (`->`), rvalue references (`T&&`) and shifts are not.
OPERATOR_TOKEN = re.compile(r"<<=|>>=|<=>|<<|>>|->|<=|>=|==|!=|&&|\|\||<|>|!")
NEGATED = {"<": ">=", "<=": ">", ">": "<=", ">=": "<", "==": "!=", "!=": "=="}
BOUNDARY = {"<": "<=", "<=": "<", ">": ">=", ">=": ">"}
INTEGER = re.compile(r"(?<![\w.'])(0[xX][0-9a-fA-F]+|0|[1-9][0-9]*)([uUlL]*)(?![\w.'])")
BOOLEAN = re.compile(r"\b(TRUE|FALSE|true|false)\b")
BOOLEAN_SWAP = {"TRUE": "FALSE", "FALSE": "TRUE", "true": "false", "false": "true"}
CALL_START = re.compile(r"(?:\(void\)\s*)?(?:::)?[A-Za-z_][\w]*(?:(?:::|\.|->)[A-Za-z_]\w*)*\s*\(")
NOT_A_CALL = {"if", "while", "for", "switch", "return", "sizeof", "case", "do", "else", "delete",
              "new", "throw", "catch", "static_assert", "alignof", "decltype", "co_return"}


def program_sources(root):
    listed = subprocess.run(["git", "ls-files", "--", *PROGRAM_FOLDERS], cwd=root, check=True,
                            capture_output=True, text=True).stdout.split()
    return sorted(path for path in listed
                  if path.endswith((".cpp", ".h")) and not path.startswith(NOT_PROGRAM))


def code_mask(text):
    """The source with comments, string and character literal insides, preprocessor directives,
    static_asserts and code that no build compiles blanked to spaces, newlines kept, so offsets
    stay those of the source; and for each line, the sides (SIDES) whose build compiles it."""
    out = list(text)
    n = len(text)
    i = 0

    def blank(start, end):
        for k in range(start, end):
            if out[k] != "\n":
                out[k] = " "

    at_line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            at_line_start = True
            i += 1
            continue
        if at_line_start and c in " \t":
            i += 1
            continue
        if at_line_start and c == "#":
            end = i
            while True:  # a directive runs on over backslash-newlines
                end = text.find("\n", end)
                if end < 0:
                    end = n
                    break
                if text[end - 1] != "\\":
                    break
                end += 1
            blank(i, end)
            i = end
            continue
        at_line_start = False
        if text.startswith("//", i):
            end = text.find("\n", i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            blank(i + 1, j)  # keep the quotes, blank what is between them
            i = j + 1
        else:
            i += 1
    masked = "".join(out)

    # static_assert ... ; (blanked after literals, so a ';' in its message cannot end it early)
    for match in re.finditer(r"\bstatic_assert\b", masked):
        end = masked.find(";", match.start())
        end = len(masked) if end < 0 else end + 1
        blank(match.start(), end)
    masked = "".join(out)

    # Which side compiles each line. Only conditionals on the macros in SIDES are decided (#ifdef,
    # #ifndef, #if [!]defined(...)); any other is taken as compiled on both sides.
    everywhere = set(SIDES)
    offset = 0
    stack = []  # per open conditional: [decided?, the sides that compile its current branch]
    sides = []
    for line in text.splitlines(keepends=True):
        directive = re.match(r"\s*#\s*(\w+)\s*(.*)", line)
        if directive:
            word, rest = directive.group(1), directive.group(2).strip()
            test = re.fullmatch(r"(!?)\s*(?:defined\s*\(?\s*)?(\w+)\s*\)?", rest)
            if word in ("ifdef", "ifndef", "if"):
                macro = test.group(2) if test else None
                wanted = not (word == "ifndef" or (test and test.group(1)))
                decided = any(macro in defined for defined in SIDES.values())
                stack.append([decided, {side for side, defined in SIDES.items()
                                        if not decided or (macro in defined) == wanted}])
            elif word == "else" and stack and stack[-1][0]:
                stack[-1][1] = everywhere - stack[-1][1]
            elif word == "elif" and stack:
                stack[-1] = [False, everywhere]
            elif word == "endif" and stack:
                stack.pop()
        compiled = everywhere.intersection(*(frame[1] for frame in stack))
        if not compiled:
            blank(offset, offset + len(line))
        sides.append(sorted(compiled))
        offset += len(line)
    return "".join(out), sides


def line_bounds(text, position):
    start = text.rfind("\n", 0, position) + 1
    end = text.find("\n", position)
    return start, (len(text) if end < 0 else end)


def call_statement_end(masked, start):
    """If a call statement starts at `start` (after indentation), the offset just past its ';',
    else None. The statement may span lines; it must end its last line."""
    match = CALL_START.match(masked, start)
    if not match:
        return None
    head = re.match(r"(?:\(void\)\s*)?(?:::)?([A-Za-z_]\w*)", masked[start:])
    if head.group(1) in NOT_A_CALL:
        return None
    depth = 0
    i = match.end() - 1
    while i < len(masked):
        ch = masked[i]
        if ch in "([{":
            depth += 1
        elif ch in ")]}":
            depth -= 1
            if depth == 0:
                # A chain of calls goes on: `.append(...).append(...)`.
                rest = re.match(r"\s*(?:\.|->)\s*[A-Za-z_]\w*\s*\(", masked[i + 1:])
                if rest:
                    i += rest.end()
                    depth = 1
                    continue
                tail = re.match(r"\s*;[ \t]*(?=\n|$)", masked[i + 1:])
                return i + 1 + tail.end() if tail else None
        elif ch == ";":
            return None
        i += 1
    return None


def enumerate_sites(root, path):
    with open(os.path.join(root, path), encoding="utf-8") as source:
        text = source.read()
    masked, line_sides = code_mask(text)
    found = []

    def add(start, end, operator, replacement):
        found.append({"file": path, "start": start, "end": end, "operator": operator,
                      "replacement": replacement})

    for match in OPERATOR_TOKEN.finditer(masked):
        token, start, end = match.group(0), match.start(), match.end()
        before = masked[start - 1] if start > 0 else "\n"
        after = masked[end] if end < len(masked) else "\n"
        spaced = before.isspace() and after.isspace()
        if token in NEGATED and spaced and not masked[:start].rstrip().endswith("operator"):
            add(start, end, "negate-comparison", NEGATED[token])
            if token in BOUNDARY:
                add(start, end, "shift-boundary", BOUNDARY[token])
        elif token in ("&&", "||") and spaced:
            add(start, end, "swap-logic", "||" if token == "&&" else "&&")
        elif token == "!" and after not in "=" and (before.isspace() or before in "(,=&|?:"):
            add(start, end, "drop-not", "")

    for match in INTEGER.finditer(masked):
        literal, suffix = match.group(1), match.group(2)
        value = int(literal, 16) if literal[:2].lower() == "0x" else int(literal)
        # One mutant a literal, so that constants do not crowd out the other operators: 0 becomes
        # 1, any other value one less.
        spelled_as_hex = literal[:2].lower() == "0x"
        if value == 0:
            add(match.start(), match.end(), "constant+1", ("0x1" if spelled_as_hex else "1") + suffix)
        else:
            changed = f"0x{value - 1:X}" if spelled_as_hex else str(value - 1)
            add(match.start(), match.end(), "constant-1", changed + suffix)

    for match in BOOLEAN.finditer(masked):
        add(match.start(), match.end(), "swap-boolean", BOOLEAN_SWAP[match.group(1)])

    position = 0
    for line in masked.splitlines(keepends=True):
        indent = len(line) - len(line.lstrip(" \t"))
        if line.strip():
            end = call_statement_end(masked, position + indent)
            if end is not None:
                # Keep the line count so that compiler messages still point at the right lines.
                removed = text[position + indent:end]
                add(position + indent, end, "delete-call", "(void)0;" + "\n" * removed.count("\n"))
        position += len(line)

    # Describe each site by its line's text and the occurrence of that text in the file, which
    # survive edits to other lines.
    lines = text.split("\n")
    seen = {}
    occurrence = []
    for line in lines:
        key = line.strip()
        seen[key] = seen.get(key, 0) + 1
        occurrence.append(seen[key])
    for site in found:
        line_number = text.count("\n", 0, site["start"]) + 1
        line_start, _ = line_bounds(text, site["start"])
        site["line"] = line_number
        site["column"] = site["start"] - line_start + 1
        site["original"] = text[site["start"]:site["end"]]
        site["anchor"] = f"{lines[line_number - 1].strip()}\0{occurrence[line_number - 1]}"
        site["sides"] = line_sides[line_number - 1]
    return text, found


def rank(seed, site):
    key = "\0".join([str(seed), site["file"], site["anchor"], str(site["column"]),
                     site["operator"], site["replacement"]])
    return hashlib.sha256(key.encode("utf-8")).hexdigest()


def describe(text, site, width=36):
    """`original context -> mutated context`, one line, cut to `width` characters each side."""
    line_start, line_end = line_bounds(text, site["start"])
    head = text[line_start:site["start"]].lstrip()
    if site["operator"] == "delete-call":
        statement = " ".join(text[site["start"]:site["end"]].split())
        if len(statement) > 2 * width:
            statement = statement[:2 * width - 3] + "..."
        return f"{statement} -> (deleted)"
    tail = text[site["end"]:line_end].rstrip()
    if len(head) > width:  # cut at a space where there is one
        cut = head[-(width - 3):]
        head = "..." + (cut[cut.find(" "):] if " " in cut[:-1] else cut)
    if len(tail) > width:
        cut = tail[:width - 3]
        tail = (cut[:cut.rfind(" ")] if " " in cut[1:] else cut) + " ..."
    return f"{head}{site['original']}{tail} -> {head}{site['replacement']}{tail}"


def plan(args):
    root = os.getcwd()
    files = program_sources(root)
    if not files:
        sys.exit("mutants.py: no program sources under " + " ".join(PROGRAM_FOLDERS))
    texts, sites = {}, []
    for path in files:
        texts[path], found = enumerate_sites(root, path)
        sites.extend(found)
    chosen = sorted(sites, key=lambda site: rank(args.seed, site))[:args.count]
    chosen.sort(key=lambda site: (site["file"], site["start"], site["operator"], site["replacement"]))
    for number, site in enumerate(chosen, 1):
        site["index"] = number
        site["description"] = describe(texts[site["file"]], site)
    by_operator = {}
    for site in sites:
        by_operator[site["operator"]] = by_operator.get(site["operator"], 0) + 1
    summary = {"seed": args.seed, "files": files, "candidates": len(sites),
               "by_operator": by_operator, "mutants": chosen}
    with open(args.plan, "w", encoding="utf-8") as out:
        json.dump(summary, out, indent=1)


def built_files(root, directory, targets):
    """The repository files that building `targets` in the Ninja build `directory` compiles:
    sources from the build graph, headers from the compiler's dependency log."""
    def ninja(*tool):
        return subprocess.run(["ninja", "-C", directory, "-t", *tool], check=True,
                              capture_output=True, text=True).stdout.splitlines()
    paths = ninja("inputs", *targets)
    objects = [path for path in paths if path.endswith((".o", ".obj"))]
    if objects:
        paths += [line.strip() for line in ninja("deps", *objects) if line.startswith(" ")]
    return {os.path.relpath(os.path.realpath(os.path.join(directory, path)), root) for path in paths}


def route(args):
    """Notes for each planned mutant whether `side`'s test targets build it (route), and whether
    that side's whole build does (compiled): code that ships but that no test program builds."""
    with open(args.plan, encoding="utf-8") as source:
        summary = json.load(source)
    root = os.getcwd()
    tested = built_files(root, args.directory, args.targets)
    compiled = built_files(root, args.directory, ["all"])
    for site in summary["mutants"]:
        for key, files in (("route", tested), ("compiled", compiled)):
            sides = set(site.get(key, []))
            if args.side in site["sides"] and site["file"] in files:
                sides.add(args.side)
            site[key] = sorted(sides)
    with open(args.plan, "w", encoding="utf-8") as out:
        json.dump(summary, out, indent=1)


def show(args):
    with open(args.plan, encoding="utf-8") as source:
        summary = json.load(source)
    operators = ", ".join(f"{name} {count}" for name, count in sorted(summary["by_operator"].items()))
    print(f"{summary['candidates']} candidate mutants in {len(summary['files'])} files "
          f"({operators}); seed {summary['seed']} picks {len(summary['mutants'])}")
    for site in summary["mutants"]:
        # Where it goes is known once the builds are there (route); a plain listing leaves it out.
        route = ""
        if "route" in site:
            route = "+".join(site["route"]) or ("untested" if site["compiled"] else "unbuilt")
            route += "\t"
        print(f"{site['index']}\t{site['file']}:{site['line']}\t{route}{site['operator']}\t"
              f"{site['description']}")


def apply(args):
    with open(args.plan, encoding="utf-8") as source:
        summary = json.load(source)
    site = next(s for s in summary["mutants"] if s["index"] == args.index)
    with open(site["file"], encoding="utf-8") as source:
        text = source.read()
    if text[site["start"]:site["end"]] != site["original"]:
        sys.exit(f"mutants.py: {site['file']} changed since the plan was made")
    with open(site["file"], "w", encoding="utf-8") as out:
        out.write(text[:site["start"]] + site["replacement"] + text[site["end"]:])


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("plan")
    p.add_argument("--seed", type=int, default=1)
    p.add_argument("--count", type=int, default=60)
    p.add_argument("plan")
    p.set_defaults(run=plan)
    r = commands.add_parser("route")
    r.add_argument("plan")
    r.add_argument("side", choices=sorted(SIDES))
    r.add_argument("directory")
    r.add_argument("targets", nargs="+")
    r.set_defaults(run=route)
    s = commands.add_parser("show")
    s.add_argument("plan")
    s.set_defaults(run=show)
    a = commands.add_parser("apply")
    a.add_argument("plan")
    a.add_argument("index", type=int)
    a.set_defaults(run=apply)
    args = parser.parse_args()
    args.run(args)


if __name__ == "__main__":
    main()
