"""pdsplit-plot: a density-of-states figure from one or more runs.

The total DOS as a grey area, one line per element (or per element and
orbital, or per group of atoms) in that element's fixed colour, spin down
mirrored below zero, energies from each run's own Fermi level. Several runs
share the axes and are told apart by line style. The sums are made as the
file is read (``pdsplit.element_sums``, ``pdsplit.sum_atoms``), so a DOSCAR
of gigabytes plots in bounded memory.
"""
from __future__ import annotations

import argparse
import os
import sys
import tempfile
import time
from typing import Dict, List, Optional, Sequence, Tuple

import numpy as np

import pdsplit
from pdsplit import _core, colours

FORMATS = {".pdf": "pdf", ".svg": "svg", ".png": "png"}
# Runs told apart by line style, in this order (then repeated).
STYLES = ["-", "--", ":", "-.", (0, (5, 1, 1, 1, 1, 1)), (0, (1, 3))]
TOTAL_GREY = "#c8c8c8"
# Colours of groups of atoms whose label is not an element symbol.
GROUP_COLOURS = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e", "#8c564b", "#17becf"]
DOSCAR_NAMES = ("DOSCAR", "DOSCAR.gz", "DOSCAR.xz", "DOSCAR.bz2")


class PlotError(Exception):
    """A run or file that cannot be used: exit status 1."""


class Curve:
    """One projected curve of one run: ``up`` drawn above zero, ``down``
    (spin down, as positive numbers) mirrored below; ``group`` is the
    element or atom group it belongs to, ``name`` its legend text."""

    def __init__(self, group: str, orbital: Optional[str], colour: str,
                 up: np.ndarray, down: Optional[np.ndarray]) -> None:
        self.group, self.orbital, self.colour = group, orbital, colour
        self.name = group if orbital is None else f"{group} {orbital}"
        self.up, self.down = up, down


class Run:
    def __init__(self, label: str, path: str, efermi: float, x: np.ndarray,
                 total: Tuple[np.ndarray, Optional[np.ndarray]], curves: List[Curve]) -> None:
        self.label, self.path, self.efermi, self.x = label, path, efermi, x
        self.total, self.curves = total, curves


def _doscar(run: str) -> str:
    if os.path.isdir(run):
        for name in DOSCAR_NAMES:
            if os.path.isfile(os.path.join(run, name)):
                return os.path.join(run, name)
        raise PlotError(f"{run}: no DOSCAR in this folder")
    if not os.path.isfile(run):
        raise PlotError(f"{run}: no such DOSCAR or folder")
    return run


def _channels(names: Sequence[str], values: np.ndarray, keep: str
              ) -> Dict[str, Tuple[np.ndarray, Optional[np.ndarray]]]:
    """Columns named ``base``, ``base_up``/``base_down`` (or with the
    magnetisation's ``_mx`` ..., left out) as {base: (up, down or None)}."""
    found: Dict[str, Dict[str, np.ndarray]] = {}
    for j, name in enumerate(names):
        base, suffix = pdsplit._split_name(name)
        if suffix in ("", "_up", "_down"):
            found.setdefault(base, {})[suffix or "_up"] = values[:, j]
    out = {}
    for base, parts in found.items():
        if keep == "all" or base == keep:
            if "_up" in parts and "_down" in parts:
                out[base] = (parts["_up"], parts["_down"])
            else:
                out[base] = (next(iter(parts.values())), None)
    return out


def _total(doscar: "pdsplit.Doscar") -> Tuple[np.ndarray, Optional[np.ndarray]]:
    # One DOS column and its integral (no spin, or spin= "sum", "up" or
    # "down"), or the two channels.
    names = doscar.total_columns
    if "DOS_down" not in names or "DOS_up" not in names:
        return doscar.total[:, 0], None  # DOS, or the one channel kept
    return doscar.total[:, names.index("DOS_up")], doscar.total[:, names.index("DOS_down")]


def read_run(run: str, label: str, opts: argparse.Namespace, efermi: Optional[float],
             overrides: Dict[str, str]) -> Run:
    path = _doscar(run)
    head = pdsplit.total(path, efermi=efermi, threads=opts.threads)
    # --spin applies where there are two channels; other runs are drawn as they are.
    spin = opts.spin if head.spin == "collinear" else None
    shift = 0.0 if opts.no_shift else head.efermi
    window = (opts.xmin + shift - head.efermi, opts.xmax + shift - head.efermi)
    grouping = opts.orbitals or "sum"
    kw = dict(efermi=efermi, spin=spin, window=window, gaussian=opts.gaussian,
              threads=opts.threads)
    t = pdsplit.total(path, orbitals=grouping, **kw)
    if not t.columns:
        raise PlotError(f"{path}: no projected DOS in this DOSCAR")
    if opts.atoms:
        sums = [(name, pdsplit.sum_atoms(path, atoms, grouping, **kw)) for name, atoms in opts.atoms]
    else:
        structure = opts.structure
        if structure is not None and not os.path.isfile(structure):
            raise PlotError(f"{structure}: no such structure file")
        sums = list(pdsplit.element_sums(path, structure, grouping, **kw).items())
    curves = []
    for index, (group, values) in enumerate(sums):
        if opts.atoms and group not in colours.TABLE and group not in overrides:
            base = GROUP_COLOURS[index % len(GROUP_COLOURS)]
            local = dict(overrides, **{group: base})
        else:
            local = overrides
        keep = "total" if grouping == "sum" else "all"
        for orbital, (up, down) in _channels(t.columns, values, keep).items():
            if grouping != "sum" and orbital == "total":
                continue
            name = None if grouping == "sum" else orbital
            curves.append(Curve(group, name, colours.colour(group, name, local), up, down))
    return Run(label, path, t.efermi, t.energies - shift, _total(t), curves)


def _peak(run: Run, values: Optional[np.ndarray], lo: float, hi: float) -> float:
    if values is None:
        return 0.0
    inside = (run.x >= lo) & (run.x <= hi)
    return float(np.max(np.abs(values[inside]), initial=0.0))


def draw(runs: List[Run], opts: argparse.Namespace):
    """The figure (a matplotlib ``Figure`` on the Agg canvas)."""
    from matplotlib.backends.backend_agg import FigureCanvasAgg
    from matplotlib.figure import Figure
    from matplotlib.lines import Line2D
    from matplotlib.patches import Patch

    lo, hi = opts.xmin, opts.xmax
    groups = list(dict.fromkeys(c.group for r in runs for c in r.curves))
    if opts.subplot == "runs":
        panels = [([r], None) for r in runs]
    elif opts.subplot == "elements":
        panels = [(runs, g) for g in groups]
    else:
        panels = [(runs, None)]
    fig = Figure(figsize=opts.size)
    FigureCanvasAgg(fig)
    axes = fig.subplots(len(panels), 1, sharex=True, sharey=True, squeeze=False)[:, 0]

    peaks: Dict[str, float] = {}
    for r in runs:
        for c in r.curves:
            peaks[c.name] = max(peaks.get(c.name, 0.0), _peak(r, c.up, lo, hi), _peak(r, c.down, lo, hi))
    largest = max(peaks.values(), default=0.0)
    shown = {n for n, p in peaks.items() if p >= opts.legend_cutoff / 100 * largest}

    ymax, mirrored = 0.0, False
    for ax, (panel_runs, group) in zip(axes, panels):
        for r in panel_runs:
            style = STYLES[runs.index(r) % len(STYLES)]
            parts: List[Tuple[str, str, Optional[str], np.ndarray, Optional[np.ndarray]]] = []
            if group is None:
                parts.append(("total", TOTAL_GREY, None, *r.total))
            parts += [(c.name, c.colour, c.name, c.up, c.down) for c in r.curves
                      if group is None or c.group == group]
            for name, colour, label, up, down in parts:
                for sign, values, channel in ((1, up, "up"), (-1, down, "down")):
                    if values is None:
                        continue
                    mirrored |= sign < 0
                    ymax = max(ymax, _peak(r, values, lo, hi))
                    y = sign * values
                    gid = f"{r.label}|{name}|{channel}"
                    if label is None:
                        ax.fill_between(r.x, 0, y, color=TOTAL_GREY, alpha=0.6, lw=0, gid=gid)
                        if len(panel_runs) > 1:
                            ax.plot(r.x, y, color="#909090", lw=0.5, ls=style, gid=gid)
                        continue
                    ax.fill_between(r.x, 0, y, color=colour, alpha=0.15, lw=0, gid=gid)
                    ax.plot(r.x, y, color=colour, lw=0.9, ls=style, gid=gid)
            if opts.no_shift:
                ax.axvline(r.efermi, color="k", lw=0.6, ls="--", gid=f"{r.label}|fermi")
        if not opts.no_shift:
            ax.axvline(0.0, color="k", lw=0.6, ls="--", gid="fermi")
        if mirrored:
            ax.axhline(0.0, color="k", lw=0.4)
        if opts.subplot == "runs":
            ax.text(0.02, 0.95, panel_runs[0].label, transform=ax.transAxes, va="top")

    # One legend for every panel of runs (the first); a legend per element panel,
    # the runs' line styles named in the first.
    for i, (ax, (panel_runs, group)) in enumerate(zip(axes, panels)):
        if i and opts.subplot != "elements":
            continue
        handles, texts = [], []
        if group is None:
            handles.append(Patch(color=TOTAL_GREY))
            texts.append("Total")
        for c in dict((c.name, c) for r in runs for c in r.curves).values():
            if c.name in shown and (group is None or c.group == group):
                handles.append(Line2D([], [], color=c.colour, lw=1.2))
                texts.append(c.name)
        if len(panel_runs) > 1 and i == 0:
            for j, r in enumerate(panel_runs):
                handles.append(Line2D([], [], color="k", lw=0.9, ls=STYLES[j % len(STYLES)]))
                texts.append(r.label)
        ax.legend(handles, texts, frameon=False, loc="upper right", handlelength=1.8,
                  fontsize=opts.font_size * 0.85, borderaxespad=0.2, labelspacing=0.25)

    top = ymax * 1.08 or 1.0
    axes[0].set_ylim(-top if mirrored else 0.0, top)
    axes[0].set_xlim(lo, hi)
    axes[-1].set_xlabel("E (eV)" if opts.no_shift else r"$E - E_\mathrm{F}$ (eV)")
    for ax in axes:
        ax.set_ylabel("DOS (states/eV)" if len(axes) == 1 else "DOS")
        ax.tick_params(direction="in", top=True, right=True)
    fig.set_layout_engine("constrained", h_pad=0.02, w_pad=0.02, hspace=0.0)
    return fig


def _replace(target: str, write) -> None:
    """Writes ``target`` through a temporary file beside it, renamed into
    place once complete: a failure leaves no partial file and keeps an older one."""
    folder = os.path.dirname(os.path.abspath(target))
    try:
        fd, temporary = tempfile.mkstemp(prefix="." + os.path.basename(target) + ".", dir=folder)
    except OSError as e:
        raise PlotError(f"cannot write {target}: {e.strerror}") from None
    try:
        with os.fdopen(fd, "wb") as f:
            write(f)
        os.chmod(temporary, 0o666 & ~_umask())
        os.replace(temporary, target)
    except BaseException as e:
        os.unlink(temporary)
        if isinstance(e, OSError):
            raise PlotError(f"cannot write {target}: {e.strerror or e}") from None
        raise


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask


def write_data(runs: List[Run], f) -> None:
    """The curves as drawn (spin down negative), a block per run."""
    for i, r in enumerate(runs):
        names, columns = ["E"], [r.x]
        for c in [Curve("total", None, "", *r.total)] + r.curves:
            key = c.name.replace(" ", ".")
            names.append(key if c.down is None else key + "_up")
            columns.append(c.up)
            if c.down is not None:
                names.append(key + "_down")
                columns.append(-c.down)
        gap = "\n\n" if i else ""
        f.write(f"{gap}# run {r.label}: {r.path}, E_F = {r.efermi:.6f} eV\n"
                f"# {' '.join(names)}\n".encode())
        np.savetxt(f, np.column_stack(columns), fmt="%.6g")


def _atoms_group(text: str) -> Tuple[str, List[int]]:
    label, sep, atoms = text.rpartition("=")
    try:
        numbers = _core.parse_atoms(atoms)
    except ValueError as e:
        raise argparse.ArgumentTypeError(str(e)) from None
    return (label if sep else f"atoms {atoms}"), numbers


def _size(text: str) -> Tuple[float, float]:
    try:
        w, h = (float(v) for v in text.lower().split("x"))
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not WIDTHxHEIGHT (inches)") from None
    if not (0 < w <= 50 and 0 < h <= 50):
        raise argparse.ArgumentTypeError(f"{text!r}: each side from above 0 to 50 inches")
    return w, h


def _threads(text: str) -> int:
    if not text.isdigit() or int(text) < 1:
        raise argparse.ArgumentTypeError(f"{text!r} is not a whole number above 0")
    return int(text)


def _positive(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r} is not a number") from None
    if not value > 0 or not np.isfinite(value):
        raise argparse.ArgumentTypeError(f"{text!r} is not above 0")
    return value


def parser() -> argparse.ArgumentParser:
    p = argparse.ArgumentParser(
        prog="pdsplit-plot",
        description="Draws the density of states of one or more VASP runs: the total DOS as a "
        "grey area, a line per element (or per element and orbital, or per group of atoms) in "
        "that element's fixed colour, spin down below zero, energies from each run's Fermi level.",
        epilog="Example: pdsplit-plot bulk slab --labels=bulk,slab --orbitals=l -o dos.pdf")
    p.add_argument("runs", nargs="*", metavar="RUN", default=["."],
                   help="a folder holding DOSCAR (or DOSCAR.gz, .xz, .bz2), or a DOSCAR's path "
                   "(default: .); several runs are overlaid, aligned at their Fermi levels")
    p.add_argument("-o", "--output", required=True, metavar="FIGURE",
                   help="the figure to write; its extension (.pdf, .svg, .png) chooses the format")
    p.add_argument("--orbitals", choices=["l", "d-split"],
                   help="a line per element and orbital (s p d f; t2g and eg for d-split), "
                   "in shades of the element's colour")
    p.add_argument("--atoms", action="append", type=_atoms_group, metavar="[LABEL=]LIST",
                   help="a line for the sum over these atoms (1-4,9, numbered from 1) instead "
                   "of a line per element; repeat for several groups; a LABEL that is an element "
                   "symbol takes its colour (default label: atoms LIST)")
    p.add_argument("--structure", metavar="FILE",
                   help="the POSCAR or CONTCAR naming the elements (default: CONTCAR, else "
                   "POSCAR, beside each DOSCAR)")
    p.add_argument("--spin", choices=["sum", "up", "down"],
                   help="for spin-polarised runs: one curve of up + down, or one channel, drawn "
                   "above zero (default: up above zero, down mirrored below)")
    p.add_argument("--efermi", metavar="E[,E...]",
                   help="the Fermi energy (eV) instead of DOSCAR's: one for every run, or one per run")
    p.add_argument("--no-shift", action="store_true",
                   help="energies as in the file, with a dashed line at each run's Fermi level")
    p.add_argument("--xmin", type=float, default=None,
                   help="left end of the energy axis (default -6 eV; unshifted, the first run's "
                   "Fermi level - 6)")
    p.add_argument("--xmax", type=float, default=None,
                   help="right end of the energy axis (default 6 eV; unshifted, its Fermi level + 6)")
    p.add_argument("--gaussian", type=_positive, metavar="WIDTH",
                   help="Gaussian broadening of every curve, standard deviation in eV")
    p.add_argument("--labels", metavar="A,B,...",
                   help="the runs' names in the legend, one per run (default: their folders)")
    p.add_argument("--subplot", choices=["runs", "elements"],
                   help="a panel per run, or per element (atom group), sharing both axes")
    p.add_argument("--colours", metavar="FILE",
                   help="colours instead of the table's, lines such as 'Fe = #c0392b' or "
                   "'Fe.d = #800000'")
    p.add_argument("--legend-cutoff", type=float, default=3.0, metavar="PERCENT",
                   help="leave out of the legend the curves whose peak in the energy range is below "
                   "PERCENT of the largest projected curve's (default 3)")
    p.add_argument("--size", type=_size, default=(3.4, 2.6), metavar="WxH",
                   help="figure size in inches (default 3.4x2.6, a journal column)")
    p.add_argument("--dpi", type=_positive, default=300.0, help="resolution of a PNG (default 300)")
    p.add_argument("--font-size", type=_positive, default=8.0, metavar="PT",
                   help="font size in points (default 8)")
    p.add_argument("--data", metavar="FILE",
                   help="also write the curves as drawn (after broadening, spin down negative) "
                   "as a table: a block per run, a '#' line naming the columns")
    p.add_argument("--threads", type=_threads, default=None, help="threads reading each DOSCAR")
    p.add_argument("-v", "--verbose", action="store_true",
                   help="print the seconds spent reading and drawing on standard error")
    return p


def _efermis(p: argparse.ArgumentParser, text: Optional[str], count: int) -> List[Optional[float]]:
    if text is None:
        return [None] * count
    try:
        values = [float(v) for v in text.split(",")]
    except ValueError:
        p.error(f"argument --efermi: {text!r} is not a list of numbers")
    if len(values) not in (1, count):
        p.error(f"argument --efermi: {len(values)} values for {count} runs")
    return values * count if len(values) == 1 else values


def figure(argv: Optional[Sequence[str]] = None):
    """The figure of this command line, not written: (matplotlib ``Figure``,
    runs, options). A bad command line raises SystemExit(2), a run that
    cannot be read PlotError."""
    opts, efermis, labels = _options(argv)
    fig, runs = build(opts, efermis, labels)
    return fig, runs, opts


def _options(argv: Optional[Sequence[str]]):
    p = parser()
    opts = p.parse_args(argv)
    if os.path.splitext(opts.output)[1].lower() not in FORMATS:
        p.error(f"argument -o: {opts.output}: the name must end in .pdf, .svg or .png")
    if opts.xmin is not None and opts.xmax is not None and opts.xmin >= opts.xmax:
        p.error(f"--xmin={opts.xmin:g} is not below --xmax={opts.xmax:g}")
    efermis = _efermis(p, opts.efermi, len(opts.runs))
    labels = opts.labels.split(",") if opts.labels else None
    if labels is not None and len(labels) != len(opts.runs):
        p.error(f"argument --labels: {len(labels)} labels for {len(opts.runs)} runs")
    if labels is None:
        labels = [os.path.basename(os.path.abspath(r if os.path.isdir(r) else os.path.dirname(r) or "."))
                  for r in opts.runs]
    return opts, efermis, labels


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The command ``pdsplit-plot``: 0 when the figure is written, 1 for a
    run or file that cannot be read or written, 2 for a bad command line."""
    opts, efermis, labels = _options(argv)
    try:
        figure, runs = build(opts, efermis, labels)
        written = [opts.output]
        fmt = FORMATS[os.path.splitext(opts.output)[1].lower()]
        start = time.perf_counter()
        _replace(opts.output, lambda f: figure.savefig(f, format=fmt, dpi=opts.dpi))
        opts.times["draw"] += time.perf_counter() - start
        if opts.data:
            _replace(opts.data, lambda f: write_data(runs, f))
            written.append(opts.data)
    except PlotError as e:
        print(f"pdsplit-plot: {e}", file=sys.stderr)
        return 1
    if opts.verbose:
        print(f"pdsplit-plot: read {opts.times['read']:.2f} s, draw {opts.times['draw']:.2f} s",
              file=sys.stderr)
    for path in written:
        print(path)
    return 0


def build(opts: argparse.Namespace, efermis: List[Optional[float]], labels: List[str]):
    """Reads the runs and draws them: (figure, runs). Raises PlotError."""
    import matplotlib
    matplotlib.use("Agg")
    overrides: Dict[str, str] = {}
    if opts.colours:
        try:
            overrides = colours.read_overrides(opts.colours)
        except OSError as e:
            raise PlotError(f"cannot read {opts.colours}: {e.strerror}") from None
        except ValueError as e:
            raise PlotError(str(e)) from None
    start = time.perf_counter()
    runs = []
    for run, label, efermi in zip(opts.runs, labels, efermis):
        try:
            if not runs:
                # Unshifted, the default range is around the first run's Fermi level.
                centre = 0.0
                if opts.no_shift and (opts.xmin is None or opts.xmax is None):
                    centre = pdsplit.total(_doscar(run), efermi=efermi).efermi
                opts.xmin = centre - 6.0 if opts.xmin is None else opts.xmin
                opts.xmax = centre + 6.0 if opts.xmax is None else opts.xmax
                if opts.xmin >= opts.xmax:
                    raise PlotError(f"--xmin={opts.xmin:g} is not below --xmax={opts.xmax:g}")
            runs.append(read_run(run, label, opts, efermi, overrides))
        except pdsplit.DoscarError as e:
            hint = " (give --structure=FILE)" if "CONTCAR" in str(e) else ""
            raise PlotError(str(e).removeprefix("Error! ") + hint) from None
        except ValueError as e:
            raise PlotError(f"{run}: {e}") from None
    opts.times = {"read": time.perf_counter() - start}
    start = time.perf_counter()
    import matplotlib as mpl
    with mpl.rc_context({"font.size": opts.font_size, "font.family": "sans-serif"}):
        figure = draw(runs, opts)
    opts.times["draw"] = time.perf_counter() - start
    return figure, runs


if __name__ == "__main__":
    sys.exit(main())
