# Plots the tables pdsplit writes for a spin-polarised DOSCAR: the total DOS
# (spin down drawn negative) and the pro-DOS of a few atoms, with the Fermi
# level at 0.  Run it in the folder that holds the tables:
#
#   pdsplit -t && pdsplit -a
#   gnuplot -e "atoms=2" plot-dos.gp        # writes dos.png
#
# Variables (set with -e): atoms (how many iLDOS files to draw, default 2),
# pairs (orbitals per atom: 3 or 4 l-projected, 9 or 16 l,m-projected;
# default 9), out (the picture, default "dos.png").
if (!exists("atoms")) atoms = 2
if (!exists("out")) out = "dos.png"

set terminal pngcairo size 900,700 font ",11"
set output out
set multiplot layout 2,1 title "Density of states"
set xlabel "E - E_F (eV)"
set ylabel "DOS (states/eV)"
set xzeroaxis
set arrow 1 from 0, graph 0 to 0, graph 1 nohead dashtype 2 linecolor "gray40"
set key top left

# Values below 1e-99 are written as VASP writes them, without the letter E
# (0.4648-107); gnuplot would read 0.4648, so the E is put back on the way.
readable(name) = "< sed -E 's/([0-9])([-+][0-9][0-9][0-9])/\\1E\\2/g' ".name

# iDOS: energy, DOS up, DOS down, integrated up, integrated down.
set title "Total DOS"
plot readable("iDOS") using 1:2 with lines linewidth 1.5 title "spin up", \
     readable("iDOS") using 1:(-$3) with lines linewidth 1.5 title "spin down"

# iLDOSnnn: energy, then the orbitals with up and down interleaved; the sum
# of the odd value columns is spin up, of the even ones spin down.
# `pairs` is the number of orbitals: 9 for an l,m-projected s p d file.
if (!exists("pairs")) pairs = 9
up(n) = sum [c = 1:n] column(2 * c)
down(n) = sum [c = 1:n] column(2 * c + 1)
file(i) = readable(sprintf("iLDOS%03d", i))
set title "Projected DOS per atom"
plot for [i = 1:atoms] file(i) using 1:(up(pairs)) with lines title sprintf("atom %d up", i), \
     for [i = 1:atoms] file(i) using 1:(-down(pairs)) with lines dashtype 2 title sprintf("atom %d down", i)
unset multiplot
