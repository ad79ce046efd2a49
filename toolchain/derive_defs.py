#!/usr/bin/env python3
"""Writes the module-definition files of toolchain/defs/ from wine's own DLLs.

Run once by hand when the list of DLLs changes; the build uses the committed
.def texts. Exports that lie in a non-executable section other than the export
directory (forwarders) are marked DATA.
"""
import os
import re
import subprocess
import sys

WINE_DLLS = "/usr/lib/x86_64-linux-gnu/wine/x86_64-windows"
DLLS = """kernel32 user32 gdi32 comdlg32 advapi32 comctl32 oleaut32 ole32 shell32 shlwapi
winmm ws2_32 wsock32 opengl32 glu32 version winspool.drv imm32 msvcrt uxtheme dwmapi
crypt32 setupapi psapi iphlpapi wininet urlmon secur32 rpcrt4 msimg32 odbc32 dbghelp
gdiplus winhttp usp10 ntdll dnsapi netapi32 mpr bcrypt d3d9 dinput8 dsound""".split()


def sections(path):
    text = subprocess.run(["llvm-readobj", "--sections", path], capture_output=True, text=True, check=True).stdout
    result = []
    for block in text.split("Section {")[1:]:
        size = int(re.search(r"VirtualSize: (0x[0-9A-F]+)", block).group(1), 16)
        address = int(re.search(r"VirtualAddress: (0x[0-9A-F]+)", block).group(1), 16)
        name = re.search(r"Name: (\S+)", block).group(1)
        # Forwarded exports point into the export directory: they are functions.
        code = "IMAGE_SCN_MEM_EXECUTE" in block or name == ".edata"
        result.append((address, size, code))
    return result


def exports(path):
    text = subprocess.run(["llvm-readobj", "--coff-exports", path], capture_output=True, text=True, check=True).stdout
    for block in text.split("Export {")[1:]:
        name = re.search(r"Name: (\S*)", block)
        rva = re.search(r"RVA: (0x[0-9A-F]+)", block)
        if name and name.group(1) and rva:
            yield name.group(1), int(rva.group(1), 16)


def main(out_folder):
    for dll in DLLS:
        file_name = dll if "." in dll else dll + ".dll"
        path = os.path.join(WINE_DLLS, file_name)
        layout = sections(path)
        lines = ["LIBRARY %s" % file_name.upper(), "EXPORTS"]
        for name, rva in exports(path):
            data = any(start <= rva < start + size and not code for start, size, code in layout)
            lines.append("  %s%s" % (name, " DATA" if data else ""))
        stem = dll.split(".")[0].upper()
        with open(os.path.join(out_folder, stem + ".def"), "w") as out:
            out.write("\n".join(lines) + "\n")


main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "defs"))
