# The Python module against the tool (PDSPLIT_BIN) on DOSCARs of the generator (DOSCAR_GEN):
# its arrays, formatted by the tool's writer, give the tool's tables byte for byte; its sums
# are sums of its arrays; its pymatgen DOS holds the numbers of the tool's element tables.
import os
import signal
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np
import pytest

import pdsplit
from pdsplit import _core

TOOL, GEN = os.environ["PDSPLIT_BIN"], os.environ["DOSCAR_GEN"]
NATOM = 3

# kind: the generator's arguments (after --natom 3 --ngrid 40), spin.
UP, NC = "collinear", "noncollinear"
KINDS = {
    "l3": ("--npcol 3", None), "l6-spin": ("--npcol 6", UP), "lm9": ("--npcol 9", None),
    "lm18-spin": ("--npcol 18", UP), "lm32-spin-f": ("--npcol 32", UP),
    "lm16-shared": ("--npcol 16", None), "nc16-incar": ("--npcol 16", NC),  # INCAR: LSORBIT
    "nc36": ("--npcol 36 --noncollinear", NC), "nc64-wrapped": ("--npcol 64 --noncollinear", NC),
    "total-only": ("--npcol 18 --total-only", UP), "md": ("--npcol 9 --md", None),
    "gz": ("--npcol 18 --compress gz", UP), "atom-shift": ("--npcol 18 --atom-shift", UP),
}
POSCAR = ("Pt2Ni\n1.0\n 3.9 0 0\n 0 3.9 0\n 0 0 3.9\nPt Ni\n2 1\nDirect\n 0 0 0\n"
          " 0.5 0.5 0\n 0.5 0 0.5\n")


@pytest.fixture(scope="session")
def doscar(tmp_path_factory):
    made = {}

    def make(kind):
        if kind not in made:
            args = KINDS[kind][0].split()
            folder = tmp_path_factory.mktemp(kind)
            path = folder / ("DOSCAR." + args[-1] if "--compress" in args else "DOSCAR")
            subprocess.run([GEN, "--natom", str(NATOM), "--ngrid", "40", *args, path], check=True)
            if kind == "nc16-incar":
                (folder / "INCAR").write_text("SYSTEM = x\n LSORBIT = .TRUE. ! spin-orbit\n")
            (folder / "POSCAR").write_text(POSCAR)
            made[kind] = str(path)
        return made[kind]
    return make


@pytest.fixture
def tool(tmp_path):
    """Runs the tool on a DOSCAR in a fresh folder: (status, output, {table: bytes})."""
    def run(path, *args):
        folder = tempfile.mkdtemp(dir=tmp_path)
        done = subprocess.run([TOOL, "--quiet", f"--doscar={path}", *args], cwd=folder,
                              capture_output=True, text=True)
        tables = {f: open(os.path.join(folder, f), "rb").read() for f in os.listdir(folder)}
        return done.returncode, done.stdout + done.stderr, tables
    return run


def text(energies, values, shift):
    """The tool's table text of these energies and values."""
    return _core.format_table(np.column_stack([energies, values]), shift)


def header_names(table):
    return table.split(b"\n", 1)[0].decode().split()[2:]


@pytest.mark.parametrize("kind", KINDS)
def test_arrays_are_the_tools_tables(kind, doscar, tool, capfd):
    path = doscar(kind)
    handlers = {s: signal.getsignal(s) for s in (signal.SIGINT, signal.SIGTERM, signal.SIGPIPE)}
    d = pdsplit.read(path)
    assert capfd.readouterr() == ("", "")  # prints nothing
    assert handlers == {s: signal.getsignal(s) for s in handlers}
    assert d.energies.dtype == np.float64 and d.total.shape == (40, len(d.total_columns))
    status, _, tables = tool(path, "--header", "-t")
    assert status == 0 and header_names(tables["iDOS"]) == d.total_columns
    assert tables["iDOS"].split(b"\n", 1)[1] == text(d.energies, d.total, d.efermi)
    assert d.spin == KINDS[kind][1]
    if kind in ("total-only", "md"):
        assert (d.pdos, d.columns, d.natom) == (None, None, 0)
        return
    assert d.pdos.shape == (NATOM, 40, len(d.columns)) and d.atoms == [1, 2, 3]
    for atom in d.atoms:
        status, _, tables = tool(path, "--header", "-p", str(atom))
        table = tables[f"iLDOS{atom:03d}"]
        assert header_names(table) == d.columns
        values = text(d.atom_energies[atom - 1], d.pdos[atom - 1], d.efermi)
        assert table.split(b"\n", 1)[1] == values
    part = pdsplit.read(path, atoms="3,1-2", threads=1)
    assert part.atoms == [3, 1, 2]
    np.testing.assert_array_equal(part.pdos, d.pdos[[2, 0, 1]])


# Keywords, and the tool's options that mean the same.
OPTIONS = [
    ("lm18-spin", dict(orbitals="l", spin="sum"), ["--orbitals=l", "--spin=sum"]),
    ("l6-spin", dict(spin="down", gaussian=0.2), ["--spin=down", "--gaussian=0.2"]),
    ("lm32-spin-f", dict(orbitals="d-split", window="-5:3"),
     ["--orbitals=d-split", "--window=-5:3"]),
    ("lm9", dict(orbitals="sum", gaussian=0.3), ["--orbitals=sum", "--gaussian=0.3"]),
    ("nc36", dict(orbitals="l", window=(None, 0), efermi=4.5),
     ["--orbitals=l", "--window=:0", "--efermi=4.5"]),
    ("lm16-shared", dict(orbitals="l", noncollinear=True), ["--orbitals=l", "--noncollinear"]),
    ("nc16-incar", dict(orbitals="l", noncollinear=False), ["--orbitals=l"]),
]


@pytest.mark.parametrize("kind,keywords,options", OPTIONS)
def test_keywords_shape_as_the_tool_options(kind, keywords, options, doscar, tool, tmp_path):
    path = doscar(kind)
    if keywords.get("noncollinear") is False:  # the same file without INCAR beside it
        os.link(path, tmp_path / "DOSCAR")
        path = str(tmp_path / "DOSCAR")
    d = pdsplit.read(path, **keywords)
    poscar = os.path.join(os.path.dirname(doscar(kind)), "POSCAR")
    sums = pdsplit.element_sums(path, structure=poscar, **keywords)
    t = pdsplit.total(path, **keywords)
    assert t.columns == d.columns and t.pdos is None
    _, _, tables = tool(path, *options, "--header", "-t")
    assert tables["iDOS"].split(b"\n", 1)[1] == text(t.energies, t.total, d.efermi)
    np.testing.assert_array_equal(t.energies, d.energies)
    _, _, tables = tool(path, *options, "--header", "-p", "2")
    assert header_names(tables["iLDOS002"]) == d.columns
    assert tables["iLDOS002"].split(b"\n", 1)[1] == text(d.atom_energies[1], d.pdos[1], d.efermi)
    _, _, tables = tool(path, *options, "--structure=" + poscar, "-e")
    for symbol in ("Pt", "Ni"):
        assert tables["iSUMDOS_" + symbol] == text(d.atom_energies[0], sums[symbol], d.efermi)
    _, _, tables = tool(path, *options, "-s2", "3", "1", "3", "sum")
    summed = pdsplit.sum_atoms(path, [3, 1, 3], **keywords)
    assert tables["sum"] == text(d.atom_energies[0], summed, d.efermi)


def moments_lines(rows):  # printf's %.6f, NaN as nan
    return [" ".join([r[0]] + ["nan" if np.isnan(x) else f"{x:.6f}" for x in list(r)[1:]])
            for r in rows]


@pytest.mark.parametrize("kind,keywords,options", [
    ("lm18-spin", dict(atoms="1-3", orbitals="l"), ["--orbitals=l", "-s2", "1", "2", "3", "x"]),
    ("nc36", dict(atoms=[2], window="-6:2"), ["--window=-6:2", "-s2", "2", "x"]),
    ("lm32-spin-f", dict(), ["-t", "x"]),
])
def test_moments_are_the_tools(kind, keywords, options, doscar, tool):
    rows = pdsplit.moments(doscar(kind), **keywords)
    _, _, tables = tool(doscar(kind), "--moments", *options)
    lines = tables["x.moments"].decode().splitlines()
    assert lines[0] == "# " + " ".join(rows.dtype.names)
    assert lines[1:] == moments_lines(rows)


def parse_table(table):
    """A tool table as numbers (the E-less form 0.4648-107 included) and its column names."""
    lines = table.decode().splitlines()
    rows = [[float(f[:-4] + "E" + f[-4:]) if "E" not in f and len(f) > 5 and f[-4] in "+-"
             else float(f) for f in line.split()] for line in lines[1:]]
    return np.array(rows), header_names(table)


@pytest.mark.parametrize("kind,orbital", [
    ("lm18-spin", "dxy"), ("lm32-spin-f", "f_3"), ("l6-spin", None), ("nc36", "dz2"),
])
def test_to_pymatgen_holds_the_tools_element_tables(kind, orbital, doscar, tool):
    from pymatgen.electronic_structure.core import Orbital, OrbitalType, Spin
    path = doscar(kind)
    d = pdsplit.read(path)
    cdos = d.to_pymatgen()
    assert [s.specie.symbol for s in cdos.structure] == ["Pt", "Pt", "Ni"]
    np.testing.assert_allclose(cdos.structure.frac_coords, [[0, 0, 0], [.5, .5, 0], [.5, 0, .5]])
    assert cdos.efermi == d.efermi
    np.testing.assert_array_equal(cdos.energies, d.energies)
    site = cdos.structure[1]
    if orbital:  # l,m-projected: pymatgen's Orbital names
        assert Orbital[orbital] in cdos.pdos[site]
    else:
        assert set(cdos.pdos[site]) == {t for t in OrbitalType
                                        if t.name != "f" or kind != "l6-spin"}
    _, _, tables = tool(path, "--orbitals=l", "--header", "-e")
    for symbol in ("Pt", "Ni"):
        table, names = parse_table(tables["iSUMDOS_" + symbol])
        spd = cdos.get_element_spd_dos(symbol)
        for l, dos in spd.items():
            spins = {"": Spin.up} if d.spin != "collinear" else {"_up": Spin.up, "_down": Spin.down}
            assert set(dos.densities) == set(spins.values())  # no mx, my, mz as Spin.down
            for suffix, spin in spins.items():
                column = table[:, 1 + names.index(l.name + suffix)]
                np.testing.assert_allclose(dos.densities[spin], column, rtol=5e-4, atol=0)


def flip(data, at, byte):
    return data[:at] + bytes([byte]) + data[at + 1:]


DAMAGE = {
    "cut": lambda b: b[: len(b) * 2 // 3],
    "line7": lambda b: b"\n".join(l[:-12] if n == 6 else l for n, l in enumerate(b.split(b"\n"))),
    "archive": lambda b: flip(b, len(b) // 2, b[len(b) // 2] ^ 0x55),
}


@pytest.mark.parametrize("kind,how", [
    ("lm18-spin", "cut"), ("lm9", "line7"), ("gz", "archive"),
    ("lm9", "missing"),
])
def test_faults_are_doscar_errors_with_the_tools_message(kind, how, doscar, tool, tmp_path):
    path = tmp_path / ("bad" + os.path.splitext(doscar(kind))[1])
    if how != "missing":
        path.write_bytes(DAMAGE[how](open(doscar(kind), "rb").read()))
    status, report, _ = tool(path, "-a")
    assert status == 1
    for call in (lambda: pdsplit.read(path), lambda: pdsplit.sum_atoms(path, [1]),
                 lambda: pdsplit.moments(path, atoms="1-2")):
        with pytest.raises(pdsplit.DoscarError) as fault:
            call()
        assert str(fault.value) in report.splitlines() or " " + str(fault.value) in report


@pytest.mark.parametrize("keywords,error,match", [  # on lm9 unless a kind is given
    (dict(atoms="2-9"), ValueError, "1-3"), (dict(atoms="3-1"), ValueError, "rise"),
    (dict(atoms="Fe"), ValueError, "atom list"), (dict(atoms=[1.5]), TypeError, "atom numbers"),
    (dict(atoms=[True]), TypeError, "atom numbers"),
    (dict(orbitals="spd"), ValueError, "unknown grouping"),
    (dict(kind="l3", orbitals="d-split"), ValueError, "l,m-projected"),
    (dict(window="1"), ValueError, "EMIN:EMAX"), (dict(window=(2, 1)), ValueError, "above"),
    (dict(window="50:60"), ValueError, "fewer than 2 rows"),
    (dict(gaussian=0), ValueError, "above 0"),
    (dict(gaussian="0.1"), TypeError, "number"),
    (dict(efermi=float("nan")), ValueError, "finite"),
    (dict(threads=0), ValueError, "at least 1"), (dict(spin="both"), ValueError, "unknown channels"),
    (dict(kind="l3", spin="sum"), ValueError, "without spin"),
    (dict(noncollinear="yes"), TypeError, "noncollinear"),
    (dict(kind="lm18-spin", noncollinear=True), pdsplit.DoscarError, "no non-collinear run"),
    (dict(kind="total-only", atoms=[1]), pdsplit.DoscarError, "no projected DOS"),
])
def test_bad_arguments(keywords, error, match, doscar):
    path = doscar(keywords.pop("kind", "lm9"))
    with pytest.raises(error, match=match):
        pdsplit.read(path, **keywords)


@pytest.fixture(scope="session")
def big(tmp_path_factory):
    """A 304 MB DOSCAR: 256 atoms x 3001 points x 32 columns."""
    path = tmp_path_factory.mktemp("big") / "DOSCAR"
    subprocess.run([GEN, "--natom", "256", "--ngrid", "3001", "--npcol", "32", str(path)],
                   check=True)
    yield str(path)
    path.unlink()


def test_sum_atoms_memory_within_the_tools_bound(big):
    # In a process of its own, the peak resident memory the call adds.
    script = ("import resource, pdsplit; before = resource.getrusage(resource.RUSAGE_SELF)"
              ".ru_maxrss; s = pdsplit.sum_atoms(%r, '1-256'); print(resource.getrusage("
              "resource.RUSAGE_SELF).ru_maxrss - before, s.nbytes)" % big)
    added, table = map(int, subprocess.run([sys.executable, "-c", script], check=True,
                                           capture_output=True, text=True).stdout.split())
    assert added * 1024 <= (64 << 20) + 2 * table, (added, table)


def test_ctrl_c_stops_a_read_at_once(big):
    fired = []  # a read of 300 MB on one thread takes several times 0.1 s
    interrupt = lambda: fired.append(time.monotonic()) or os.kill(os.getpid(), signal.SIGINT)
    threading.Timer(0.1, interrupt).start()
    with pytest.raises(KeyboardInterrupt):
        pdsplit.read(big, threads=1)
    assert fired and time.monotonic() - fired[0] < 0.5
