"""The Python module's two speed figures, each against a reference timed in
the same run (median of RUNS rounds, the order swapped every other round):

- pdsplit.read of the 76 MB file (64 atoms x 3001 points x 32 columns)
  against the tool's -s1 1 64 on the same file, and against numpy.loadtxt
  of the same atom lines (a generic reader; given the lines already in
  memory and mended where VASP drops the E of an exponent, which loadtxt
  cannot read, so that only its parsing is timed);
- pdsplit.sum_atoms over all atoms of the 761 MB file (640 atoms) against
  the tool's -s1 1 640.

    /usr/bin/python3 bench/python-bench.py BUILD_DIR DATA_DIR [RUNS]

The files are made in DATA_DIR/atoms64 and DATA_DIR/atoms640 by
bench/generated-doscar.sh when absent, as for the other benchmarks.
"""
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

build, data = os.path.abspath(sys.argv[1]), sys.argv[2]
runs = int(sys.argv[3]) if len(sys.argv) > 3 else 7
sys.path.insert(0, os.path.join(build, "python"))
import numpy as np  # noqa: E402
import pdsplit  # noqa: E402

here = os.path.dirname(os.path.abspath(__file__))
tool = os.path.join(build, "pdsplit")
scratch = tempfile.mkdtemp()


def doscar(natom):
    folder = os.path.join(data, f"atoms{natom}")
    subprocess.run(["sh", os.path.join(here, "generated-doscar.sh"), build, folder, str(natom)],
                   check=True)
    return os.path.join(folder, "DOSCAR")


def timed(work):
    start = time.perf_counter()
    work()
    return time.perf_counter() - start


def compare(label, ours, reference, reference_label):
    times = {"ours": [], "reference": []}
    for r in range(runs):
        order = [("ours", ours), ("reference", reference)]
        for name, work in order if r % 2 == 0 else order[::-1]:
            times[name].append(timed(work))
    a, b = statistics.median(times["ours"]), statistics.median(times["reference"])
    print(f"{label:44s} {1000 * a:9.1f} ms")
    print(f"{reference_label:44s} {1000 * b:9.1f} ms")
    print(f"{'ratio':44s} {a / b:9.2f}\n")


def run_tool(path, *args):
    return lambda: subprocess.run([tool, "--quiet", f"--doscar={path}", *args, "bench.out"],
                                  cwd=scratch, check=True)


small, large = doscar(64), doscar(640)
print(f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.1f}, {runs} rounds\n")
compare("pdsplit.read (76 MB, 64 atoms)", lambda: pdsplit.read(small),
        run_tool(small, "-s1", "1", "64"), "pdsplit -s1 1 64")
compare("pdsplit.sum_atoms('1-640') (761 MB)", lambda: pdsplit.sum_atoms(large, "1-640"),
        run_tool(large, "-s1", "1", "640"), "pdsplit -s1 1 640")

# numpy.loadtxt of the same atom lines, once (it takes seconds).
with open(small) as f:
    lines = f.readlines()
ngrid = int(lines[5].split()[2])
atom_lines = [line for n, line in enumerate(lines[6 + ngrid:]) if n % (ngrid + 1) != 0]
atom_lines = [re.sub(r"(\d)([+-]\d{3})\b", r"\1E\2", line) for line in atom_lines]
table = []
loadtxt = timed(lambda: table.append(np.loadtxt(atom_lines)))
read = statistics.median(timed(lambda: pdsplit.read(small)) for _ in range(runs))
d = pdsplit.read(small)
same = np.array_equal(table[0].reshape(d.pdos.shape[0], ngrid, -1)[:, :, 1:], d.pdos)
print(f"loadtxt reads the same doubles: {same}")
print(f"{'numpy.loadtxt of the same atom lines':44s} {1000 * loadtxt:9.1f} ms")
print(f"{'pdsplit.read':44s} {1000 * read:9.1f} ms")
print(f"{'loadtxt / read':44s} {loadtxt / read:9.1f}")
