"""A fixed colour for every element, and shades of it for its orbitals.

An element's colour depends on its symbol alone, never on which other
elements a figure holds, so Fe is the same red in every figure a group
makes. Common elements have hand-picked colours; the rest take a hue from
the atomic number (golden-angle steps, so neighbours differ).
"""
from __future__ import annotations

import colorsys
from typing import Dict, Optional, Tuple

SYMBOLS = (
    "H He Li Be B C N O F Ne Na Mg Al Si P S Cl Ar K Ca Sc Ti V Cr Mn Fe Co Ni Cu Zn Ga Ge "
    "As Se Br Kr Rb Sr Y Zr Nb Mo Tc Ru Rh Pd Ag Cd In Sn Sb Te I Xe Cs Ba La Ce Pr Nd Pm "
    "Sm Eu Gd Tb Dy Ho Er Tm Yb Lu Hf Ta W Re Os Ir Pt Au Hg Tl Pb Bi Po At Rn Fr Ra Ac Th "
    "Pa U Np Pu Am Cm Bk Cf Es Fm Md No Lr Rf Db Sg Bh Hs Mt Ds Rg Cn Nh Fl Mc Lv Ts Og"
).split()

# Chosen to be told apart in print and by most colour-blind readers where
# they meet in common materials (oxides, alloys, perovskites, III-V).
_CHOSEN = {
    "H": "#7f7f7f", "Li": "#8c564b", "C": "#404040", "N": "#1f4e9c", "O": "#d62728",
    "F": "#17becf", "Na": "#9467bd", "Mg": "#7fbf3f", "Al": "#8c8c3c", "Si": "#e6a117",
    "P": "#ff7f0e", "S": "#bcbd22", "Cl": "#1b9e77", "K": "#7b4fa0", "Ca": "#4daf4a",
    "Ti": "#5a7d9a", "V": "#a05195", "Cr": "#3c8d2f", "Mn": "#9e2a6b", "Fe": "#c0392b",
    "Co": "#1f77b4", "Ni": "#2ca02c", "Cu": "#d2691e", "Zn": "#6a5acd", "Ga": "#b8860b",
    "As": "#6b8e23", "Se": "#ff6f61", "Sr": "#00868b", "Zr": "#4682b4", "Mo": "#8b4513",
    "Ru": "#008080", "Rh": "#b03060", "Pd": "#3366cc", "Ag": "#708090", "In": "#cd5c5c",
    "Sn": "#556b2f", "Ba": "#483d8b", "La": "#2e8b57", "W": "#4b0082", "Ir": "#e377c2",
    "Pt": "#1f5fa0", "Au": "#d4a017", "Pb": "#5f5f8f", "Bi": "#9932cc", "Ce": "#228b22",
}

# Orbitals as shades of their element: positive mixes toward white,
# negative toward black. d (and its t2g part) keeps the element's colour,
# as it is the curve most figures are about.
_SHADES = {"s": 0.6, "p": 0.35, "d": 0.0, "t2g": 0.0, "eg": -0.4, "f": -0.55}


def _hex(rgb: Tuple[float, float, float]) -> str:
    return "#" + "".join(f"{round(min(max(c, 0.0), 1.0) * 255):02x}" for c in rgb)


def _rgb(colour: str) -> Tuple[float, float, float]:
    return tuple(int(colour[i:i + 2], 16) / 255 for i in (1, 3, 5))  # type: ignore[return-value]


def _from_number(z: int) -> str:
    hue = (z * 0.381966) % 1.0
    value = 0.72 if z % 2 else 0.58
    return _hex(colorsys.hsv_to_rgb(hue, 0.7, value))


TABLE: Dict[str, str] = {s: _CHOSEN.get(s, _from_number(z)) for z, s in enumerate(SYMBOLS, 1)}


def shade(colour: str, orbital: Optional[str]) -> str:
    """The colour of an orbital of an element whose colour is ``colour``."""
    amount = _SHADES.get(orbital or "d", 0.0)
    rgb = _rgb(colour)
    if amount >= 0:
        return _hex(tuple(c + (1 - c) * amount for c in rgb))  # type: ignore[arg-type]
    return _hex(tuple(c * (1 + amount) for c in rgb))  # type: ignore[arg-type]


def element(symbol: str) -> str:
    """The element's colour; a symbol outside the table (a POSCAR's own
    name for a species, "Fe_pv") is looked up by its leading letters, then
    hashed to a fixed colour."""
    if symbol in TABLE:
        return TABLE[symbol]
    head = symbol[:2] if symbol[:2] in TABLE else symbol[:1]
    if head in TABLE and head != "":
        return TABLE[head]
    return _from_number(sum(ord(c) * 31 ** i for i, c in enumerate(symbol)) % 997)


def colour(symbol: str, orbital: Optional[str] = None,
           overrides: Optional[Dict[str, str]] = None) -> str:
    """The colour of ``symbol`` (or of its ``orbital``), ``overrides``
    first: ``"Fe.d"`` for the orbital, else ``"Fe"`` shaded."""
    overrides = overrides or {}
    if orbital and f"{symbol}.{orbital}" in overrides:
        return overrides[f"{symbol}.{orbital}"]
    base = overrides.get(symbol) or element(symbol)
    return shade(base, orbital) if orbital else base


def read_overrides(path: str) -> Dict[str, str]:
    """``Fe = #rrggbb`` and ``Fe.d = #rrggbb`` lines; blank lines, lines
    starting with ``;`` or ``#`` followed by a space, and ``[section]``
    headers are skipped. Raises ValueError naming the line at fault."""
    found: Dict[str, str] = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            text = line.strip()
            if not text or text.startswith((";", "# ")) or text == "#" or text.startswith("["):
                continue
            key, sep, value = (part.strip() for part in text.partition("="))
            value = value.split(";", 1)[0].strip()
            if not sep or not key or len(value) != 7 or value[0] != "#":
                raise ValueError(f"{path} line {number}: not 'Fe = #rrggbb' or 'Fe.d = #rrggbb'")
            try:
                int(value[1:], 16)
            except ValueError:
                raise ValueError(f"{path} line {number}: {value!r} is not #rrggbb") from None
            found[key] = value.lower()
    return found
