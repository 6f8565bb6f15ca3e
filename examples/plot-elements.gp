# Plots the element- and l-resolved DOS that pdsplit writes with
#
#   pdsplit --orbitals=l --header --down-negative -e
#   gnuplot -e "elements='Pt Ni'" plot-elements.gp     # writes elements.png
#
# one panel per element (iSUMDOS_Pt, iSUMDOS_Ni, ...), every column of its
# table against the energy, named by the table's first line: s, p, d (and f)
# and their total, spin up above the axis and spin down below it, the Fermi
# level at 0.  Variables (set with -e): elements (the symbols, default
# "Pt Ni"), prefix (the tables' name before the symbol, default
# "iSUMDOS_"), out (the picture, default "elements.png").
if (!exists("elements")) elements = "Pt Ni"
if (!exists("prefix")) prefix = "iSUMDOS_"
if (!exists("out")) out = "elements.png"

# noenhanced: the column names hold underscores (s_up), not subscripts.
set terminal pngcairo noenhanced size 900,350 * words(elements) + 50 font ",11"
set output out
set multiplot layout words(elements),1 title "Density of states by element and l"
set xlabel "E - EF (eV)"
set ylabel "DOS (states/eV)"
set xzeroaxis
set arrow 1 from 0, graph 0 to 0, graph 1 nohead dashtype 2 linecolor "gray40"
set key outside right top

# The first line, "# E-EF s_up s_down ...", names the columns: its "# " is
# dropped so that gnuplot takes it as their titles. Values below 1e-99 are
# written as VASP writes them, without the letter E (0.4648-107); gnuplot
# would read 0.4648, so the E is put back on the way.
readable(name) = "< sed -E -e '1s/^# //' -e 's/([0-9])([-+][0-9][0-9][0-9])/\\1E\\2/g' ".name
set key autotitle columnhead

# An orbital's up and down columns in one colour.
do for [i = 1:words(elements)] {
  set title word(elements, i)
  plot for [c = 2:*] readable(prefix.word(elements, i)) using 1:c with lines \
       linewidth 1.5 linecolor ((c - 2) / 2 + 1)
}
unset multiplot
