"""Runs a GoogleTest executable of the Windows build under Wine and passes its result on."""
import os
import subprocess
import sys

from harness import BUILD, ENV, WINE

exe = os.path.join(BUILD, sys.argv[1])
result = subprocess.run([WINE, exe], env=ENV, stdin=subprocess.DEVNULL, timeout=280)
sys.exit(result.returncode)
