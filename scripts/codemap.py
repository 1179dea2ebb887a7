#!/usr/bin/env python3
"""Writes the code map, src/README.md, from the sources themselves.

For every library directory that the top CMakeLists.txt adds (in its order), one table: each
unit file (sources and headers, internal/ included, tests/ left out) with the first sentence of
its header comment, its entry points and the test files that call them. A library's heading
carries its directory, its target and the first sentence of its CMakeLists.txt comment.

Entry points are the functions a source file defines at namespace scope whose names other
source files of the project name (headers and the defining file do not count); at most six
are listed by name. A unit's tests are the files under a tests/ folder that name one of its
entry points; a unit without such a file is marked as tested through its callers. The scan
is textual (comments and strings removed, braces counted), which is enough for the code's
one-definition-per-line style.

The text before the first library table and from the heading "## Outside `src/`" on is kept
as written. `--check` compares instead of writing and exits 1 when the map is stale.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MAP = ROOT / "src" / "README.md"
OUTSIDE = "## Outside `src/`"
SOURCE_SUFFIXES = (".cpp", ".c", ".h")
MAX_NAMED = 6
MAX_TESTS = 6
MAX_SUMMARY = 160
KEYWORDS = {"if", "for", "while", "switch", "catch", "return", "sizeof", "alignof", "decltype",
            "static_assert", "operator", "defined", "requires", "noexcept"}


def strip_comments_and_strings(text):
    """The text with comments, string and character literals blanked (newlines kept)."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|"(?:\\.|[^"\\\n])*"|\'(?:\\.|[^\'\\\n])*\'',
                         re.S)
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


def header_comment(text):
    """The leading comment block of a file, as one line of words."""
    lines = []
    rest = text.lstrip()
    if rest.startswith("/*"):
        end = rest.find("*/")
        body = rest[2:end if end >= 0 else len(rest)]
        lines = [re.sub(r"^\s*\*?\s?", "", line) for line in body.splitlines()]
    else:
        for line in rest.splitlines():
            stripped = line.strip()
            if not stripped.startswith(("//", "#")) or stripped.startswith(("#include", "#pragma",
                                                                             "#if", "#define")):
                break
            lines.append(re.sub(r"^(//+|#+)\s?", "", stripped))
    return " ".join(" ".join(lines).split())


def first_sentence(comment):
    match = re.match(r"(.+?[.!?])(\s|$)", comment)
    sentence = match.group(1) if match else comment
    if len(sentence) > MAX_SUMMARY:
        sentence = sentence[:MAX_SUMMARY].rsplit(" ", 1)[0] + " ..."
    return sentence.replace("|", "\\|")


def defined_functions(code):
    """Names of the functions defined at namespace scope outside anonymous namespaces and not
    static, in order of definition."""
    names = []
    scopes = []  # per open brace: "named" namespace or linkage block, "anonymous", or "other"
    pending = ""  # the text since the last brace or semicolon
    for token in re.finditer(r"[{};]|[^{};]+", code):
        piece = token.group(0)
        if piece == "{":
            head = " ".join(pending.split())
            if re.search(r"\bnamespace\s*$", head):
                kind = "anonymous"
            elif re.search(r"(\bnamespace\b[\w:\s]*|\bextern\s*)$", head):
                kind = "named"
            else:
                kind = "other"
            if kind == "other" and all(s == "named" for s in scopes):
                match = re.search(r"([A-Za-z_]\w*)\s*\(", head)
                if (match and match.group(1) not in KEYWORDS and "=" not in head[:match.start()]
                        and not re.search(r"\bstatic\b", head[:match.start()])):
                    names.append(match.group(1))
            scopes.append(kind)
            pending = ""
        elif piece == "}":
            if scopes:
                scopes.pop()
            pending = ""
        elif piece == ";":
            pending = ""
        else:
            pending += piece
    seen = set()
    return [n for n in names if not (n in seen or seen.add(n))]


def identifiers(code):
    return set(re.findall(r"\b[A-Za-z_]\w*\b", code))


def library_dirs():
    top = (ROOT / "CMakeLists.txt").read_text()
    return [ROOT / d for d in re.findall(r"^add_subdirectory\((src/[^)]+)\)", top, re.M)]


def library_target(directory):
    text = (directory / "CMakeLists.txt").read_text()
    match = re.search(r"norv_library\((\w+)", text) or re.search(r"add_library\((\w+)", text) \
        or re.search(r"add_executable\((\w+)", text)
    return match.group(1) if match else directory.name


def unit_files(directory):
    files = [p for p in directory.iterdir() if p.suffix in SOURCE_SUFFIXES]
    internal = directory / "internal"
    if internal.is_dir():
        files += [p for p in internal.iterdir() if p.suffix in SOURCE_SUFFIXES]
    return sorted(files, key=lambda p: p.relative_to(directory).as_posix())


def project_sources():
    """Every C/C++ file of the project outside build trees, with its identifiers."""
    result = {}
    for top in ("src", "include", "examples", "fuzz", "bench", "tests"):
        for path in sorted((ROOT / top).rglob("*")):
            if path.suffix in SOURCE_SUFFIXES and path.is_file():
                result[path] = identifiers(strip_comments_and_strings(path.read_text(errors="replace")))
    return result


def is_test(path):
    return "tests" in path.relative_to(ROOT).parts


def library_table(directory, sources):
    rows = ["| file | what it holds | entry points | tests |", "|---|---|---|---|"]
    for path in unit_files(directory):
        text = path.read_text(errors="replace")
        summary = first_sentence(header_comment(text))
        entries, tests = [], []
        if path.suffix != ".h":
            callers = [p for p in sources if p != path and p.suffix != ".h"]
            headers = [p for p in sources if p.suffix == ".h"]
            for name in defined_functions(strip_comments_and_strings(text)):
                if any(name in sources[p] for p in headers) and any(name in sources[p]
                                                                     for p in callers):
                    entries.append(name)
            tests = sorted({p.name for p in callers if is_test(p)
                            and any(n in sources[p] for n in entries)})
        named = ", ".join(f"`{n}`" for n in entries[:MAX_NAMED])
        if len(entries) > MAX_NAMED:
            named += f" and {len(entries) - MAX_NAMED} more"
        tested = ", ".join(tests[:MAX_TESTS])
        if len(tests) > MAX_TESTS:
            tested += f" and {len(tests) - MAX_TESTS} more"
        if entries and not tests:
            tested = "through its callers' tests"
        rows.append(f"| `{path.relative_to(directory).as_posix()}` | {summary} | {named} | {tested} |")
    return rows


def generate(current):
    start = current.find("\n## `src/")
    end = current.find(OUTSIDE)
    if start < 0 or end < 0:
        sys.exit("codemap: src/README.md lacks its library tables or its closing section")
    sources = project_sources()
    parts = [current[:start + 1].rstrip("\n"), ""]
    for directory in library_dirs():
        cmake_comment = first_sentence(header_comment((directory / "CMakeLists.txt").read_text()))
        rel = directory.relative_to(ROOT).as_posix()
        parts += [f"## `{rel}` ({library_target(directory)})", "", cmake_comment, ""]
        parts += library_table(directory, sources) + [""]
    return "\n".join(parts) + current[end:]


def main():
    current = MAP.read_text()
    wanted = generate(current)
    if "--check" in sys.argv[1:]:
        if wanted != current:
            sys.exit("codemap: src/README.md is stale; run python3 scripts/codemap.py")
        return
    MAP.write_text(wanted)


if __name__ == "__main__":
    main()
