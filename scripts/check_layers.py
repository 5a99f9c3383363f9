#!/usr/bin/env python3
"""Checks that includes flow one way through the folders under src/.

    abi, platform -> text -> settings -> engine -> app, update -> canvas -> ui

Each folder may include headers of the folders its row below names, and its
own. Includes are read in both spellings ("..." and <...>), with "." and ".."
resolved against the including file and against src/, so a path cannot slip
past the rule. Outside the platform layer a header from outside the project
must be a C++ or C standard header, one of the libraries the folder may use
or the compiler's vector instructions where the folder may use them;
the operating system's own headers (POSIX, Linux, sockets, signals, directory
reading ...) and its calls belong to the platform layer. Every file under src/
is a .h or .cpp file or a CMakeLists.txt.

    check_layers.py [--root SRC]   check the tree (default: ../src)
    check_layers.py --self-test    plant each kind of violation in a scratch
                                   copy and expect the check to find it
"""
import os
import re
import shutil
import sys
import tempfile

# The folders each folder may include (besides its own).
ALLOWED = {
    "abi": set(),
    "platform": {"abi"},
    "text": {"platform"},
    "settings": {"text", "platform"},
    "engine": {"settings", "text", "platform", "abi"},
    "app": {"engine", "settings", "text", "platform", "abi"},
    "update": {"engine", "settings", "text", "platform"},
    # The drawing module knows the engine only through its C interface.
    "canvas": {"text", "platform", "abi"},
    "ui": {"app", "update", "engine", "settings", "text", "platform", "abi"},
    # The program's entry, directly in src/.
    "": {"app", "platform", "text", "abi"},
}

# Headers of the C++ standard library that are not the operating system's.
CXX_HEADERS = set("""
algorithm any array atomic barrier bit bitset cassert ccomplex cctype cerrno cfenv cfloat
charconv chrono cinttypes ciso646 climits clocale cmath codecvt compare complex concepts
condition_variable coroutine csetjmp cstdarg cstddef cstdint cstdio cstdlib cstring ctime
cuchar cwchar cwctype deque exception execution expected filesystem format forward_list
fstream functional future initializer_list iomanip ios iosfwd iostream istream iterator
latch limits list locale map memory memory_resource mutex new numbers numeric optional
ostream queue random ranges ratio regex scoped_allocator semaphore set shared_mutex
source_location span sstream stack stdexcept stop_token streambuf string string_view
syncstream system_error thread tuple type_traits typeindex typeinfo unordered_map
unordered_set utility valarray variant vector version
""".split())
# C standard headers in their .h spelling (no POSIX additions).
C_HEADERS = {"stdint.h", "stddef.h", "limits.h", "string.h", "stdlib.h", "stdio.h",
             "math.h", "assert.h", "stdarg.h", "float.h", "inttypes.h", "wchar.h"}
# Libraries of the project, and the folders that may use them.
LIBRARIES = {
    "FreeImage.h": {"engine", "app", "ui"},
    "png.h": {"engine"},
    "zlib.h": {"engine", "ui"},
    "archive.h": {"ui"},
    "archive_entry.h": {"ui"},
}
# The compiler's vector instructions (SSE2 on x86-64), and the folders that
# may use them.
INTRINSICS = {"emmintrin.h": {"engine"}}
# Headers the build generates, and the folders that may include them.
GENERATED = {"window_stamp.h": {"app", "ui"}}
QT_FOLDERS = {"canvas", "ui"}
# The window module may use the system for its own event plumbing.
SYSTEM_FOLDERS = {"platform", "ui"}
# Calls into the operating system that must go through the platform layer.
SYSTEM_CALLS = re.compile(
    r"\b(newlocale|uselocale|freelocale|towupper_l|towlower_l|fork|execv|execvp|execl|"
    r"dlopen|dlsym|mmap|munmap|sysconf|isatty|getpid|geteuid|getuid|opendir|readdir|"
    r"sigaction|pthread_sigmask|flock|fcntl|ioctl|socket|connect|readlink|lstat)\s*\(")

# The image library is called through its loaded table only (engine/image_library.h).
IMAGE_LIBRARY_CALL = re.compile(r"\bFreeImage_(\w+)\s*\(")
IMAGE_LIBRARY_TABLE = {"engine/image_library.h", "engine/image_library.cpp"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]', re.M)
COMMENTS = re.compile(r"//[^\n]*|/\*.*?\*/|\"(?:\\.|[^\"\\\n])*\"", re.S)


def folder_of(path):
    """The top folder of a path relative to src/ ("" for files in src/)."""
    return path.split("/", 1)[0] if "/" in path else ""


def resolve(root, including, quote, name):
    """The include as a path relative to src/, or None when it is not the project's."""
    if quote == '"':
        beside = os.path.normpath(os.path.join(os.path.dirname(including), name))
        if beside.startswith(".."):
            return beside  # outside src/: reported as such
        if os.path.exists(os.path.join(root, beside)):
            return beside
    norm = os.path.normpath(name)
    if norm.startswith(".."):
        return norm
    # From src/: a file that is there, or a path into one of the folders
    # (a header that does not exist yet is still the project's).
    if os.path.exists(os.path.join(root, norm)) or ("/" in norm and folder_of(norm) in ALLOWED):
        return norm
    return None


def check(root):
    problems = []
    for base, _, files in os.walk(root):
        for f in sorted(files):
            full = os.path.join(base, f)
            rel = os.path.relpath(full, root).replace(os.sep, "/")
            if f == "CMakeLists.txt":
                continue
            if not (f.endswith(".h") or f.endswith(".cpp")):
                problems.append(f"{rel}: not a .h or .cpp file")
            src_folder = folder_of(rel)
            if src_folder not in ALLOWED:
                problems.append(f"{rel}: in a folder the layers do not know")
                continue
            try:
                text = open(full, encoding="utf-8", errors="replace").read()
            except OSError as e:
                problems.append(f"{rel}: {e}")
                continue
            for quote, name in INCLUDE.findall(text):
                target = resolve(root, rel, quote, name)
                if target is not None:
                    if target.startswith(".."):
                        problems.append(f"{rel}: includes {name}, outside src/")
                        continue
                    to = folder_of(target)
                    if to != src_folder and to not in ALLOWED[src_folder]:
                        problems.append(f"{rel}: includes {target}")
                    continue
                # A header from outside the project.
                if name in CXX_HEADERS or name in C_HEADERS:
                    continue
                if name in GENERATED:
                    if src_folder not in GENERATED[name]:
                        problems.append(f"{rel}: includes the generated {name}")
                    continue
                if name in LIBRARIES:
                    if src_folder not in LIBRARIES[name]:
                        problems.append(f"{rel}: includes <{name}>, not a library of {src_folder or 'src'}/")
                    continue
                if name in INTRINSICS:
                    if src_folder not in INTRINSICS[name]:
                        problems.append(f"{rel}: includes the compiler's <{name}>")
                    continue
                if name.startswith("Q"):
                    if src_folder not in QT_FOLDERS:
                        problems.append(f"{rel}: includes Qt's <{name}>")
                    continue
                if src_folder in SYSTEM_FOLDERS:
                    continue
                problems.append(f"{rel}: includes the system's <{name}> outside the platform layer")
            if rel not in IMAGE_LIBRARY_TABLE:
                code = COMMENTS.sub("", text)
                for m in IMAGE_LIBRARY_CALL.finditer(code):
                    line = code.count("\n", 0, m.start()) + 1
                    problems.append(f"{rel}: calls the image library's FreeImage_{m.group(1)} "
                                    f"directly, not through Fi() (line {line})")
            if src_folder not in SYSTEM_FOLDERS:
                code = COMMENTS.sub("", text)
                for m in SYSTEM_CALLS.finditer(code):
                    line = code.count("\n", 0, m.start()) + 1
                    problems.append(f"{rel}: calls the system's {m.group(1)} (line {line})")
    return problems


def self_test(root):
    """Plants each kind of violation in a copy of the tree; each must be found."""
    plants = [
        ("angle-bracket project include", "engine/naming.cpp", "#include <app/cli.h>\n"),
        ("a path with ..", "engine/naming.cpp", '#include "../app/cli.h"\n'),
        ("a path with . and ..", "settings/options.cpp", '#include "./../engine/steps.h"\n'),
        ("<csignal>", "engine/naming.cpp", "#include <csignal>\n"),
        ("<dirent.h>", "settings/config.cpp", "#include <dirent.h>\n"),
        ("<sys/mman.h>", "app/cli.cpp", "#include <sys/mman.h>\n"),
        ("the canvas including the engine", "canvas/canvas.cpp", '#include "engine/steps.h"\n'),
        ("Qt in the engine", "engine/frame.cpp", "#include <QString>\n"),
        ("a direct call into the image library", "engine/frame.cpp",
         "static unsigned w(FIBITMAP* d) { return FreeImage_GetWidth(d); }\n"),
        ("vector instructions in the settings", "settings/options.cpp", "#include <emmintrin.h>\n"),
        ("a POSIX call", "engine/naming.cpp", "static void* x = (void*)newlocale(0, 0, 0);\n"),
        ("a file that is not .h or .cpp", "engine/extra.inc", '#include "app/cli.h"\n'),
        ("an upward include", "text/catalog.cpp", '#include "settings/settings.h"\n'),
        ("a sideways include", "update/update_check.cpp", '#include "app/cli.h"\n'),
    ]
    failures = 0
    with tempfile.TemporaryDirectory() as scratch:
        copy = os.path.join(scratch, "src")
        shutil.copytree(root, copy)
        if check(copy):
            print("self-test: the clean copy already fails")
            return 1
        for what, path, line in plants:
            target = os.path.join(copy, path)
            before = open(target).read() if os.path.exists(target) else None
            with open(target, "w") as f:
                f.write(line + (before or ""))
            found = check(copy)
            if before is None:
                os.remove(target)
            else:
                with open(target, "w") as f:
                    f.write(before)
            print(f"self-test: {what}: {'found' if found else 'MISSED'}")
            failures += not found
    return 1 if failures else 0


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.join(here, "..", "src")
    args = sys.argv[1:]
    if "--root" in args:
        root = args[args.index("--root") + 1]
    if "--self-test" in args:
        return self_test(root)
    problems = check(root)
    for p in problems:
        print("layering:", p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
