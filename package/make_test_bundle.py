#!/usr/bin/env python3
"""make_test_bundle.py BUILD VERSION ZIP

Writes the test bundle: every test program CTest runs under Wine in BUILD,
what they load and read, and run-tests.cmd, which runs each of CTest's
entries for them the way CTest does (its arguments and environment), one at a
time. Entries that are not Windows programs (Python, shell scripts) and
disabled ones stay out."""
import json
import os
import subprocess
import sys
import tempfile
import time
import zipfile

from make_zip import entry

# What the programs find beside themselves: the stand-ins they load, the module
# as it ships (under release\, as in the build tree) and the data they read.
BESIDE_PROGRAMS = ["STARTER.DLL", "velmo_sim.exe", "release/Calvorinor.plg",
                   "approved_imports.txt", "sample/velmo.ini", "sample/calvorin.bmp",
                   "sample/tips.rc"]

RUNNER = r"""@echo off
rem Runs the tests of Calvorinor @VERSION@, each of the @COUNT@ runs the way the
rem project's CI runs it, one at a time, and writes report.txt beside this file:
rem the Windows version, each run's result and, last, the counts. Each run's
rem output goes to logs\NAME.txt; a failed or skipped run's output is also in
rem the report.
rem The exit code is 0 only when no run failed. A run is skipped when every
rem test it ran skipped, saying why in its log (a test that needs what this
rem Windows or this user cannot have); the program then ends with 77.
setlocal
cd /d "%~dp0"
rem No other test program runs beside these: each stays on this desktop.
set CALVORINOR_TESTS_ALONE=1
if not exist logs mkdir logs
set passed=0
set failed=0
set skipped=0
> report.txt echo Calvorinor @VERSION@ tests: @COUNT@ runs
ver >> report.txt
@ROWS@
>> report.txt echo %passed% passed, %failed% failed, %skipped% skipped
echo %passed% passed, %failed% failed, %skipped% skipped: see report.txt
rem Started from Explorer, the window would close before the counts could be
rem read. (Wine's cmd leaves %cmdcmdline% empty and runs "&&" after a pipe.)
> logs\started.txt echo.%cmdcmdline%
find /i "run-tests.cmd" logs\started.txt >nul
if not errorlevel 1 pause
if not "%failed%"=="0" exit /b 1
exit /b 0

rem NAME ENVIRONMENT PROGRAM ARGUMENTS...: ENVIRONMENT is NAME=VALUE or "".
:run
echo %~1
call :exec %*
set code=%errorlevel%
if "%code%"=="77" goto skipped
if not "%code%"=="0" goto failed
set /a passed+=1
>> report.txt echo %~1: passed
goto :eof
:skipped
set /a skipped+=1
>> report.txt echo %~1: skipped, its output says why:
type "logs\%~1.txt" >> report.txt
goto :eof
:failed
set /a failed+=1
>> report.txt echo %~1: FAILED with exit code %code%, its output:
type "logs\%~1.txt" >> report.txt
goto :eof

:exec
setlocal
if not "%~2"=="" set "%~2"
"%~3" %4 %5 %6 %7 %8 %9 > "logs\%~1.txt" 2>&1
exit /b %errorlevel%
"""


def quoted(argument):
    # cmd splits call arguments at '=' and spaces unless they are quoted.
    if '"' in argument or '%' in argument:
        sys.exit("make_test_bundle: cannot pass " + argument + " through cmd")
    return '"' + argument + '"'


def wine_runs(build):
    listing = json.loads(subprocess.run(["ctest", "--show-only=json-v1"], cwd=build,
                                        check=True, capture_output=True, text=True).stdout)
    runs = []
    for test in listing["tests"]:
        command = test.get("command", [])
        properties = {p["name"]: p["value"] for p in test.get("properties", [])}
        if not command or not command[0].endswith("/wine-run") or properties.get("DISABLED"):
            continue
        if properties.get("SKIP_RETURN_CODE") != 77:
            sys.exit("make_test_bundle: run-tests.cmd counts exit code 77 as skipped, "
                     + test["name"] + " does not")
        environment = properties.get("ENVIRONMENT", [])
        # One NAME=VALUE, and six arguments (%4 to %9), are what :run passes on.
        if len(environment) > 1 or len(command[3:]) > 6:
            sys.exit("make_test_bundle: " + test["name"] + " needs more than run-tests.cmd passes")
        program = os.path.relpath(command[2], build)
        if os.sep in program:
            sys.exit("make_test_bundle: " + program + " does not lie in " + build)
        runs.append((test["name"], environment[0] if environment else "", program, command[3:]))
    return runs


def contents(path):
    # The programs' debug information is four fifths of their size, and
    # GoogleTest names a failure's file and line without it.
    if not path.endswith(".exe"):
        with open(path, "rb") as f:
            return f.read()
    with tempfile.TemporaryDirectory() as work:
        stripped = os.path.join(work, os.path.basename(path))
        subprocess.run(["i686-w64-mingw32-strip", "--strip-debug", "-o", stripped, path],
                       check=True)
        with open(stripped, "rb") as f:
            return f.read()


def main(argv):
    if len(argv) != 4:
        sys.exit(__doc__)
    build, version, out = argv[1:]
    runs = wine_runs(build)
    rows = "\n".join(" ".join(["call :run", name, quoted(env) if env else '""', quoted(program)]
                              + [quoted(a) for a in arguments])
                     for name, env, program, arguments in runs)
    runner = (RUNNER.replace("@VERSION@", version).replace("@COUNT@", str(len(runs)))
              .replace("@ROWS@", rows))
    files = sorted({program for _, _, program, _ in runs}) + BESIDE_PROGRAMS
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    date_time = time.gmtime(max(epoch, 315532800))[:6]
    partial = out + ".partial"
    with zipfile.ZipFile(partial, "w") as archive:
        archive.writestr(entry("run-tests.cmd", date_time), runner.replace("\n", "\r\n"),
                         compresslevel=9)
        for name in files:
            archive.writestr(entry(name, date_time), contents(os.path.join(build, name)),
                             compresslevel=9)
    os.replace(partial, out)
    print(len(runs))


if __name__ == "__main__":
    main(sys.argv)
