# pdsplit-plot on DOSCARs of the generator (DOSCAR_GEN): the figure's artists (lines, fills,
# legend texts, colours, limits) against the DOSCAR's own numbers, parsed here with numpy.
import os
import subprocess

import numpy as np
import pytest

pytest.importorskip("matplotlib")
import pdsplit  # noqa: E402
from pdsplit import colours, plot  # noqa: E402

GEN = os.environ["DOSCAR_GEN"]
POSCAR = "x\n1.0\n 3.9 0 0\n 0 3.9 0\n 0 0 3.9\n{}\n{}\nDirect\n 0 0 0\n 0.5 0.5 0\n 0.5 0 0.5\n"


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    """Folders: spin (Pt Pt Ni, 18 columns), plain (Fe Pt Pt, 9 columns), bare (no POSCAR)."""
    made, root = {}, tmp_path_factory.mktemp("runs")
    for name, npcol, species in (("spin", 18, "Pt Ni|2 1"), ("plain", 9, "Fe Pt|1 2"),
                                 ("bare", 9, None)):
        folder = root / name
        folder.mkdir()
        subprocess.run([GEN, "--natom", "3", "--ngrid", "301", "--npcol", str(npcol),
                        "--emin", "-10", "--emax", "10", folder / "DOSCAR"], check=True)
        if species:
            (folder / "POSCAR").write_text(POSCAR.format(*species.split("|")))
        made[name] = str(folder)
    return made


def model(folder):
    """E - E_F, the total DOS and each element's sum, spins and orbitals added, by the module
    (whose numbers the module's tests hold to the tool's tables)."""
    path = os.path.join(folder, "DOSCAR")
    t = pdsplit.total(path, spin="sum", orbitals="sum")
    sums = pdsplit.element_sums(path, orbitals="sum", spin="sum")
    return t.energies - t.efermi, t.total[:, 0], {k: v[:, 0] for k, v in sums.items()}


def draw(*argv):
    fig, runs, opts = plot.figure([*argv, "--legend-cutoff=0", "-o", "unused.png"])
    return fig.axes, runs


def legend(ax):
    return [t.get_text() for t in ax.get_legend().get_texts()]


def lines(ax, name=None):
    """{gid: Line2D} of the curves (gid 'run|curve|channel'); the Fermi line left out."""
    return {ln.get_gid(): ln for ln in ax.get_lines()
            if ln.get_gid() and ln.get_gid().count("|") == 2 and (name is None or f"|{name}|" in ln.get_gid())}


@pytest.mark.parametrize("args, texts, mirrored", [
    ([], ["Total", "Pt", "Ni"], True),
    (["--orbitals=l"], ["Total", "Pt s", "Pt p", "Pt d", "Ni s", "Ni p", "Ni d"], True),
    (["--orbitals=d-split", "--spin=sum"],
     ["Total", "Pt s", "Pt p", "Pt t2g", "Pt eg", "Ni s", "Ni p", "Ni t2g", "Ni eg"], False),
    (["--atoms=Ni=3", "--atoms=1-2", "--spin=up"], ["Total", "Ni", "atoms 1-2"], False),
])
def test_curves_legend_and_mirrored_spin(runs, args, texts, mirrored):
    (ax,), _ = draw(runs["spin"], *args)
    assert legend(ax) == texts
    low, high = ax.get_ylim()
    assert (low == -high) if mirrored else low == 0
    for name in texts[1:]:
        up, down = lines(ax, name).get(f"spin|{name}|up"), lines(ax, name).get(f"spin|{name}|down")
        assert up is not None and (down is not None) == mirrored
        assert up.get_ydata().sum() > 0  # DOS of a few negative zeros, as VASP writes them
        if mirrored:  # spin down below zero, in the colour of its spin up
            assert down.get_ydata().sum() < 0 and down.get_color() == up.get_color()


@pytest.mark.parametrize("args, xlim", [([], (-6, 6)), (["--xmin=-2", "--xmax=1.5"], (-2, 1.5))])
def test_limits_from_the_largest_value_in_range(runs, args, xlim):
    (ax,), _ = draw(runs["spin"], "--spin=sum", *args)
    assert ax.get_xlim() == xlim
    e, total, sums = model(runs["spin"])
    inside = (e >= xlim[0] - 5e-4) & (e <= xlim[1] + 5e-4)
    curves = [total] + list(sums.values())
    assert ax.get_ylim()[1] == pytest.approx(1.08 * max(c[inside].max() for c in curves), rel=1e-5)
    pt = lines(ax, "Pt")["spin|Pt|up"]
    assert pt.get_xdata() == pytest.approx(e[inside], abs=1e-9)
    assert pt.get_ydata() == pytest.approx(sums["Pt"][inside], rel=1e-5)


def test_an_elements_colour_is_fixed_whatever_else_is_there(runs, tmp_path):
    (a,), _ = draw(runs["spin"])
    (b,), _ = draw(runs["plain"])
    assert lines(a, "Pt")["spin|Pt|up"].get_color() == lines(b, "Pt")["plain|Pt|up"].get_color() \
        == colours.TABLE["Pt"]
    assert len(set(colours.TABLE.values())) == len(colours.TABLE) == 118
    (ax,), _ = draw(runs["plain"], "--orbitals=l")
    shades = [lines(ax, f"Fe {o}")[f"plain|Fe {o}|up"].get_color() for o in "spd"]
    assert len(set(shades)) == 3 and shades[2] == colours.TABLE["Fe"]
    (tmp_path / "c.ini").write_text("; mine\nFe = #102030\nPt.d = #aabbcc\n")
    (ax,), _ = draw(runs["plain"], "--orbitals=l", f"--colours={tmp_path / 'c.ini'}")
    got = {n: lines(ax, n)[f"plain|{n}|up"].get_color() for n in ("Fe d", "Fe s", "Pt d", "Pt s")}
    assert got["Fe d"] == "#102030" and got["Pt d"] == "#aabbcc"
    assert got["Fe s"] == colours.shade("#102030", "s") and got["Pt s"] == colours.colour("Pt", "s")


def test_runs_overlaid_at_their_fermi_levels(runs):
    e = model(runs["spin"])[0]
    (ax,), _ = draw(runs["spin"], runs["spin"], "--labels=bulk,slab", "--efermi=5.12345678,5.62345678")
    assert legend(ax)[-2:] == ["bulk", "slab"]
    bulk, slab = lines(ax)["bulk|Pt|up"], lines(ax)["slab|Pt|up"]
    assert bulk.get_linestyle() != slab.get_linestyle() and bulk.get_color() == slab.get_color()
    assert slab.get_xdata()[0] == pytest.approx(e[e >= -6 + 0.5 - 5e-4][0] - 0.5, abs=1e-9)
    assert [ln.get_xdata()[0] for ln in ax.get_lines() if ln.get_gid() == "fermi"] == [0]


@pytest.mark.parametrize("mode, panels", [("runs", [["Total", "Pt", "Ni", "Fe"]]),
                                          ("elements", [["Pt", "bulk", "slab"], ["Ni"], ["Fe"]])])
def test_subplots_share_their_scales(runs, mode, panels):
    axes, _ = draw(runs["spin"], runs["plain"], "--labels=bulk,slab", f"--subplot={mode}")
    assert [legend(ax) for ax in axes if ax.get_legend()] == panels
    assert len(axes) == (2 if mode == "runs" else 3) and len({ax.get_ylim() for ax in axes}) == 1


def test_legend_cutoff_leaves_out_small_curves(runs):
    fig, runs_, _ = plot.figure([runs["spin"], "--orbitals=l", "--legend-cutoff=100", "-o", "x.pdf"])
    peaks = {c.name: max(np.abs(c.up).max(), np.abs(c.down).max()) for c in runs_[0].curves}
    assert legend(fig.axes[0]) == ["Total", max(peaks, key=peaks.get)]


def test_data_file_holds_the_curves_as_drawn(runs, tmp_path, capsys):
    figure, data = tmp_path / "f.svg", tmp_path / "f.dat"
    assert plot.main([runs["spin"], "--gaussian=0.3", "-o", str(figure), f"--data={data}"]) == 0
    assert capsys.readouterr().out.split() == [str(figure), str(data)]
    head = data.read_text().splitlines()[1].split()[1:]
    table = np.loadtxt(data)
    (ax,), _ = draw(runs["spin"], "--gaussian=0.3")
    for gid, ln in lines(ax).items():
        name, channel = gid.split("|")[1:]
        assert table[:, head.index(f"{name}_{channel}")] == pytest.approx(ln.get_ydata(), abs=1e-5)
    assert figure.read_bytes().startswith(b"<?xml")


@pytest.mark.parametrize("args, status, says", [
    (["{bare}"], 1, "CONTCAR"), (["{spin}", "-o", "x.jpg"], 2, ".pdf, .svg or .png"),
    (["{spin}/nothere"], 1, "no such"), (["{tmp}"], 1, "no DOSCAR"),
    (["{spin}", "--colours={tmp}/bad.ini"], 1, "bad.ini line 2"),
    (["{spin}", "--labels=a,b"], 2, "2 labels for 1 runs"), (["{spin}", "--atoms=2-x"], 2, "atoms"),
])
def test_bad_input_leaves_no_figure(runs, tmp_path, capsys, args, status, says):
    (tmp_path / "bad.ini").write_text("Fe = #102030\nPt: blue\n")
    argv = [a.format(tmp=tmp_path, **runs) for a in args]
    out = tmp_path / "out" / "fig.png"
    out.parent.mkdir()
    try:
        got = plot.main(argv + ([] if "-o" in argv else ["-o", str(out)]))
    except SystemExit as e:
        got = e.code
    err = capsys.readouterr().err
    assert got == status and says in err and os.listdir(out.parent) == []
    assert status == 2 or err.count("\n") == 1 and err.startswith("pdsplit-plot: ")

