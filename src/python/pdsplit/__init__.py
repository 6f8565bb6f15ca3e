"""Density of states from VASP's DOSCAR, read by pdsplit's own code.

Every reader of the ``pdsplit`` tool in Python, returning numpy arrays:

- :func:`read`: the total DOS and the projected DOS of every atom, or of
  the atoms asked for, as a :class:`Doscar`;
- :func:`total`: the total DOS alone;
- :func:`sum_atoms`, :func:`element_sums`: sums over atoms, made as the
  blocks are read, in the tool's bounded memory, for files too big to hold;
- :func:`moments`: what ``--moments`` gives (integral, filling, centre,
  width, skewness, kurtosis), as a numpy structured array.

Every function takes the tool's keywords where they apply, with its
meanings:

``efermi``
    the Fermi energy (eV) used instead of the one of DOSCAR's line 6
    (``--efermi``).
``noncollinear``
    None: decided as the tool decides, from the file's shape and, for the
    shape two kinds of run share (16 values per projected line, 2 per
    total-DOS line), from ``LNONCOLLINEAR``/``LSORBIT`` in the INCAR beside
    DOSCAR; True: taken as a non-collinear run (``--noncollinear``); False:
    INCAR is not read.
``orbitals``
    ``"lm"`` (columns as in DOSCAR), ``"l"``, ``"d-split"`` or ``"sum"``,
    the groupings of ``--orbitals``.
``spin``
    None: every spin channel or component as in the file; ``"sum"``: one
    column per orbital holding spin up + down (named without ``_up`` and
    ``_down``), ``"up"`` or ``"down"``: that channel alone (``--spin``;
    spin-polarised files only, else ValueError).
``window``
    ``(emin, emax)`` or ``"EMIN:EMAX"``, either end None or empty: the grid
    points whose energy less the Fermi energy, as a table writes it (3
    decimals), lies in [emin, emax] (``--window``).
``gaussian``
    the standard deviation (eV) of a Gaussian broadening of every DOS
    column (``--gaussian``).
``structure``
    the POSCAR or CONTCAR that names the elements; by default CONTCAR,
    else POSCAR, beside DOSCAR.
``threads``
    how many threads read the file (default: as the tool, up to 8).

Atoms are numbered from 1, as in the tool; ``atoms`` is a list of them or
the command line's list syntax, ``"1-4,9"``.

Every fault of the file is raised as :class:`DoscarError` with the tool's
message (file, line, columns, text); a bad argument is a ``ValueError`` or
``TypeError``. The interpreter lock is released while reading, and Ctrl-C
stops a read at once (``KeyboardInterrupt``).
"""
from __future__ import annotations

import operator
import os
from typing import Any, Dict, List, Optional, Sequence, Tuple, Union

import numpy as np

from . import _core
from ._core import DoscarError

__all__ = ["Doscar", "DoscarError", "read", "total", "sum_atoms", "element_sums", "moments"]

Atoms = Union[None, str, Sequence[int]]
Window = Union[None, str, Tuple[Optional[float], Optional[float]]]

MOMENT_FIELDS = ("integral", "filling", "centre", "width", "skewness", "kurtosis")

# The tool's l,m orbital names, and pymatgen's for the same orbitals.
_PYMATGEN_ORBITALS = {"dx2-y2": "dx2", "f-3": "f_3", "f-2": "f_2", "f-1": "f_1"}
_SUFFIXES = ("_up", "_down", "_mx", "_my", "_mz")


def _number(name: str, value: Any, positive: bool = False) -> Optional[float]:
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float, np.integer, np.floating)):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    x = float(value)
    if not np.isfinite(x) or (positive and x <= 0):
        raise ValueError(f"{name}={value!r}: " + ("not above 0" if positive else "not finite"))
    return x


def _window(window: Window) -> Tuple[Optional[float], Optional[float]]:
    if window is None:
        return None, None
    if isinstance(window, str):
        if ":" not in window:
            raise ValueError(f"window={window!r}: not EMIN:EMAX (either may be empty)")
        ends = [part.strip() or None for part in window.split(":", 1)]
        try:
            low, high = (None if e is None else float(e) for e in ends)
        except ValueError:
            raise ValueError(f"window={window!r}: an end is not a number") from None
    else:
        try:
            low, high = window
        except (TypeError, ValueError):
            raise TypeError("window must be (emin, emax) or 'EMIN:EMAX'") from None
    low, high = _number("window's emin", low), _number("window's emax", high)
    if low is not None and high is not None and low > high:
        raise ValueError(f"window={window!r}: EMIN is above EMAX")
    return low, high


def _atoms(atoms: Atoms) -> Optional[List[int]]:
    if atoms is None:
        return None
    if isinstance(atoms, str):
        return _core.parse_atoms(atoms)
    if isinstance(atoms, (int, np.integer)) and not isinstance(atoms, bool):
        atoms = [atoms]
    error = TypeError("atoms must be atom numbers (from 1) or a list such as '1-4,9'")
    try:
        items = list(atoms)
    except TypeError:
        raise error from None
    if any(isinstance(a, bool) for a in items):
        raise error
    try:
        return [operator.index(a) for a in items]
    except TypeError:
        raise error from None


def _split_name(name: str) -> Tuple[str, str]:
    """A column's name as its orbital or group and its component suffix."""
    for suffix in _SUFFIXES:
        if name.endswith(suffix):
            return name[: -len(suffix)], suffix
    return name, ""


def _request(path: Union[str, os.PathLike], atoms: Atoms, efermi: Optional[float],
             noncollinear: Optional[bool], orbitals: str, spin: Optional[str], window: Window,
             gaussian: Optional[float], structure: Any, threads: Optional[int]) -> Any:
    q = _core.Request()
    q.path = os.fspath(path)
    q.atoms = _atoms(atoms)
    q.efermi = _number("efermi", efermi)
    if noncollinear is not None and not isinstance(noncollinear, bool):
        raise TypeError("noncollinear must be None, True or False")
    q.noncollinear = noncollinear
    if not isinstance(orbitals, str):
        raise TypeError("orbitals must be 'lm', 'l', 'd-split' or 'sum'")
    q.orbitals = orbitals
    if spin is not None and not isinstance(spin, str):
        raise TypeError("spin must be None, 'sum', 'up' or 'down'")
    q.spin = spin
    q.window_min, q.window_max = _window(window)
    q.gaussian = _number("gaussian", gaussian, positive=True)
    if isinstance(structure, (str, os.PathLike)):
        q.structure = os.fspath(structure)
    if threads is None:
        q.threads = _core.default_threads
    else:
        if isinstance(threads, bool) or not isinstance(threads, (int, np.integer)):
            raise TypeError("threads must be an int")
        if threads < 1:
            raise ValueError(f"threads={threads}: at least 1")
        q.threads = int(threads)
    return q


class Doscar:
    """The DOS of one DOSCAR, as :func:`read` or :func:`total` gives it.

    Attributes:
        path: the file read.
        energies: float64 (NGRID,), the energies of the total-DOS block as
            written in the file (not shifted).
        efermi: the Fermi energy: DOSCAR's, or the one given.
        total: (NGRID, columns), the total DOS; ``total_columns`` names
            its columns as ``--header`` does (``DOS IDOS``, or ``DOS_up
            DOS_down IDOS_up IDOS_down``).
        pdos: (atoms read, NGRID, columns), the projected DOS of the atoms
            in ``atoms`` (their numbers, from 1), in that order; None for a
            file without projections and from :func:`total`.
        atom_energies: (atoms read, NGRID), each atom block's own energies
            (the same as ``energies`` in files VASP writes).
        columns: names of the projected columns as ``--header`` writes
            them for the grouping asked for (``s py ... dx2-y2``, ``s_up
            s_down ...``, ``s s_mx s_my s_mz ...``); None without
            projections.
        spin: None, ``"collinear"`` or ``"noncollinear"``.
        natom: the atoms of the file (0 without projections).

    The doubles are those the tool reads: formatted by its table writer
    they give its tables byte for byte.
    """

    def __init__(self, path: str, core: Dict[str, Any], structure: Any = None) -> None:
        self.path = path
        self.energies: np.ndarray = core["energies"]
        self.efermi: float = core["efermi"]
        self.total: np.ndarray = core["total"]
        self.total_columns: List[str] = core["total_columns"]
        self.pdos: Optional[np.ndarray] = core["pdos"]
        self.atom_energies: Optional[np.ndarray] = core["atom_energies"]
        self.atoms: List[int] = core["atoms"]
        self.natom: int = core["natom"]
        self.columns: Optional[List[str]] = core["columns"] if self.natom else None
        self.spin: Optional[str] = core["spin"]
        self._structure = structure

    def __repr__(self) -> str:
        shape = None if self.pdos is None else self.pdos.shape
        return (f"<Doscar {self.path!r}: {self.energies.size} points, {self.natom} atoms, "
                f"spin={self.spin}, pdos {shape}>")

    def to_pymatgen(self, structure: Any = None) -> Any:
        """The DOS as a pymatgen ``CompleteDos``.

        ``structure``: a pymatgen ``Structure`` or the path of a POSCAR;
        by default the one given to :func:`read`, else CONTCAR, else
        POSCAR beside DOSCAR. Its sites are the atoms in file order.

        Energies are as in the file and ``efermi`` is this object's. The
        densities are keyed by pymatgen's ``Spin`` and ``Orbital`` (s py pz
        px dxy dyz dz2 dxz dx2, f_3 ... f3) for l,m-projected files, by
        ``OrbitalType`` (s p d f) for l-projected files or a read with
        ``orbitals="l"``. A non-collinear file gives the total (charge)
        component of each orbital as ``Spin.up`` alone; mx, my and mz are
        left out (not put under ``Spin.down``, as some readers do).
        """
        try:
            from pymatgen.core import Structure
            from pymatgen.electronic_structure.core import Orbital, OrbitalType, Spin
            from pymatgen.electronic_structure.dos import CompleteDos, Dos
        except ImportError as e:
            raise ImportError("Doscar.to_pymatgen needs pymatgen (python3-pymatgen or "
                              "pip install pymatgen)") from e
        structure = structure if structure is not None else self._structure
        if structure is None:
            folder = os.path.dirname(self.path) or "."
            for name in ("CONTCAR", "POSCAR"):
                candidate = os.path.join(folder, name)
                if os.path.isfile(candidate) and os.path.getsize(candidate) > 0:
                    structure = candidate
                    break
            else:
                raise FileNotFoundError(f"neither CONTCAR nor POSCAR beside {self.path}")
        if not isinstance(structure, Structure):
            structure = Structure.from_file(os.fspath(structure))
        if self.natom and len(structure) != self.natom:
            raise ValueError(f"the structure has {len(structure)} sites, DOSCAR {self.natom} atoms")

        parts = [_split_name(c) for c in self.columns or []]
        lm = any(base == "py" for base, _ in parts)
        # mx, my and mz have no Spin: left out.
        spins = {"": Spin.up, "_up": Spin.up, "_down": Spin.down}
        keys = []
        for base, suffix in parts:
            if suffix not in spins or base == "total":
                keys.append(None)
            elif lm and _PYMATGEN_ORBITALS.get(base, base) in Orbital.__members__:
                keys.append((Orbital[_PYMATGEN_ORBITALS.get(base, base)], spins[suffix]))
            elif not lm and base in OrbitalType.__members__:
                keys.append((OrbitalType[base], spins[suffix]))
            else:
                raise ValueError(f"column {base!r} has no pymatgen orbital: read with "
                                 "orbitals='lm' or 'l'")
        dos_columns = [i for i, c in enumerate(self.total_columns) if c.startswith("DOS")]
        total_dos = Dos(self.efermi, self.energies,
                        {Spin.down if self.total_columns[i].endswith("_down") else Spin.up:
                         self.total[:, i] for i in dos_columns})
        pdoss: Dict[Any, Dict[Any, Dict[Any, np.ndarray]]] = {}
        if self.pdos is not None:
            for row, atom in enumerate(self.atoms):
                orbitals: Dict[Any, Dict[Any, np.ndarray]] = {}
                for j, k in enumerate(keys):
                    if k is not None:
                        orbitals.setdefault(k[0], {})[k[1]] = self.pdos[row, :, j]
                pdoss[structure[atom - 1]] = orbitals
        return CompleteDos(structure, total_dos, pdoss)


def read(path: Union[str, os.PathLike] = "DOSCAR", atoms: Atoms = None, *,
         efermi: Optional[float] = None, noncollinear: Optional[bool] = None,
         orbitals: str = "lm", spin: Optional[str] = None, window: Window = None,
         gaussian: Optional[float] = None, structure: Any = None,
         threads: Optional[int] = None) -> Doscar:
    """Reads a DOSCAR of any kind the tool reads: plain, .gz, .xz or .bz2,
    with or without spin, non-collinear, total-only, wrapped lines.

    ``atoms``: the atoms whose projected DOS is kept (all by default), a
    list or ``"1-4,9"``; only their blocks are held, so a part of a file of
    gigabytes fits in memory. ``orbitals``, ``window`` and ``gaussian``
    shape ``pdos`` and ``total`` as the tool shapes its tables; ``structure``
    is kept for :meth:`Doscar.to_pymatgen`. Returns a :class:`Doscar`.
    """
    q = _request(path, atoms, efermi, noncollinear, orbitals, spin, window, gaussian,
                 structure, threads)
    return Doscar(q.path, _core.read(q), structure)


def total(path: Union[str, os.PathLike] = "DOSCAR", *, efermi: Optional[float] = None,
          noncollinear: Optional[bool] = None, orbitals: str = "lm",
          spin: Optional[str] = None, window: Window = None, gaussian: Optional[float] = None,
          threads: Optional[int] = None) -> Doscar:
    """The total DOS alone, without reading the atom blocks: a
    :class:`Doscar` whose ``pdos`` is None; its ``energies`` and
    ``columns`` are those of the sums of :func:`sum_atoms` and
    :func:`element_sums` with the same keywords."""
    q = _request(path, None, efermi, noncollinear, orbitals, spin, window, gaussian, None,
                 threads)
    return Doscar(q.path, _core.total(q))


def sum_atoms(path: Union[str, os.PathLike], atoms: Atoms, orbitals: str = "lm",
              efermi: Optional[float] = None, *, noncollinear: Optional[bool] = None,
              spin: Optional[str] = None, window: Window = None,
              gaussian: Optional[float] = None, threads: Optional[int] = None) -> np.ndarray:
    """The projected DOS summed over ``atoms`` (``"1-64"``, or a list;
    atoms may repeat), (NGRID, columns), as ``-s1``/``-s2`` make it: each
    column added atom after atom in the order given, the blocks streamed,
    only the sum held. Columns as ``total(path, orbitals=...).columns``."""
    q = _request(path, atoms, efermi, noncollinear, orbitals, spin, window, gaussian, None,
                 threads)
    if q.atoms is None:
        raise TypeError("sum_atoms needs the atoms to add")
    return _core.sum_atoms(q)["sums"][0][1]


def element_sums(path: Union[str, os.PathLike] = "DOSCAR", structure: Any = None,
                 orbitals: str = "lm", *, efermi: Optional[float] = None,
                 noncollinear: Optional[bool] = None, spin: Optional[str] = None,
                 window: Window = None, gaussian: Optional[float] = None,
                 threads: Optional[int] = None) -> Dict[str, np.ndarray]:
    """The projected DOS summed over the atoms of each element, as ``-e``
    makes it: a dict from symbol to (NGRID, columns), in the order the
    elements first appear in ``structure`` (a POSCAR or CONTCAR path;
    by default CONTCAR, else POSCAR, beside DOSCAR)."""
    if structure is not None and not isinstance(structure, (str, os.PathLike)):
        raise TypeError("structure must be the path of a POSCAR or CONTCAR")
    q = _request(path, None, efermi, noncollinear, orbitals, spin, window, gaussian, structure,
                 threads)
    return dict(_core.element_sums(q)["sums"])


def moments(path: Union[str, os.PathLike] = "DOSCAR", atoms: Atoms = None, *,
            efermi: Optional[float] = None, noncollinear: Optional[bool] = None,
            orbitals: str = "lm", spin: Optional[str] = None, window: Window = None,
            gaussian: Optional[float] = None, threads: Optional[int] = None) -> np.ndarray:
    """What ``--moments`` gives, as a structured array with the fields of
    the ``.moments`` header: ``column integral filling centre width
    skewness kurtosis``. One row per column and, in spin-polarised files,
    per up+down pair (``d_up+down``); non-collinear files: the total
    component alone. Without ``atoms``, the moments of the total DOS (as
    ``-t --moments``); with them, of their sum (as ``-s2 ... --moments``).
    E is the energy less the Fermi energy; trapezoid rule over the window.
    """
    q = _request(path, atoms, efermi, noncollinear, orbitals, spin, window, gaussian, None,
                 threads)
    rows = _core.moments(q)["moments"]
    width = max([len(r[0]) for r in rows] + [1])
    dtype = [("column", f"U{width}")] + [(name, "f8") for name in MOMENT_FIELDS]
    return np.array([tuple(r) for r in rows], dtype=dtype)
