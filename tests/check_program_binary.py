#!/usr/bin/env python3
"""Checks the built program: a PE32 GUI executable for Intel 80386 that imports only Windows'
own DLLs (no MinGW runtime to ship beside it). Writes a one-case JUnit report.

  check_program_binary.py EXE REPORT.xml
"""
import subprocess
import sys
import xml.sax.saxutils

SYSTEM_DLLS = {"advapi32.dll", "comctl32.dll", "gdi32.dll", "gdiplus.dll", "kernel32.dll", "msvcrt.dll",
               "ole32.dll", "oleaut32.dll", "shell32.dll", "shlwapi.dll", "user32.dll", "wininet.dll",
               "winmm.dll", "crypt32.dll", "bcrypt.dll"}

exe, report = sys.argv[1], sys.argv[2]
problems = []
headers = subprocess.run(["i686-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True).stdout
if "file format pei-i386" not in headers:
    problems.append("not a PE32 file for Intel 80386")
if "Subsystem\t\t00000002" not in headers:
    problems.append("not a GUI subsystem program")
imports = {line.split("DLL Name:")[1].strip().lower() for line in headers.splitlines() if "DLL Name:" in line}
if not imports:
    problems.append("no imports found")
foreign = sorted(imports - SYSTEM_DLLS)
if foreign:
    problems.append("imports DLLs Windows does not have: " + ", ".join(foreign))

message = "; ".join(problems) if problems else "PE32 GUI i386, imports " + ", ".join(sorted(imports))
print(("FAILED: " if problems else "ok: ") + message)
with open(report, "w") as f:
    f.write('<?xml version="1.0"?>\n<testsuites tests="1" failures="%d"><testsuite name="program_binary" '
            'tests="1" failures="%d"><testcase classname="program_binary" name="VardenhalUpdater.exe">'
            % (len(problems) > 0, len(problems) > 0))
    if problems:
        f.write("<failure message=%s/>" % xml.sax.saxutils.quoteattr(message))
    f.write("</testcase></testsuite></testsuites>\n")
sys.exit(1 if problems else 0)
