# Counts the work of a training run: prints "MAPS UNIT_COMPONENTS", where
# UNIT_COMPONENTS is the sum, over every map and every training cycle, of the
# map's units times the vector components, i.e. how many unit-components the
# winner searches of training visited ("-" when it cannot be told).
#
# usage: awk -v dim=COMPONENTS -f unit_components.awk run.prop stdout [*.mapdescr]
#
# A map's cycles come in growth periods of P = N x EXPAND_CYCLES cycles (N
# its number of training vectors), each closed by one "MQE ; " line in the
# log. A map starts at INITIAL_X_SIZE x INITIAL_Y_SIZE units (2 x 2 below the
# first layer when ORIENTATION=true) and gains a row of x units at each
# "inserting row:" line, a column of y units at each "inserting column:" line.
# Maps are trained in the order of their number, the first-layer map (number
# 1) first, so the n-th block of "MQE ; " lines in the log belongs to map n.
# N comes from $NR_TRAINVEC_TOTAL of the map-description files, or, for the
# first-layer map, from the "added" lines. Each map's $ITERATIONS_TOTAL and
# final $XDIM x $YDIM are checked against the log.

BEGIN {
  expand = 25
  startX = 2
  startY = 2
  orientation = 0
  maps = 0
  inMap = 0
  training = 0
  added = 0
  saved = 0
}

# ---- the property file: the last value of a key counts ----
FILENAME ~ /run\.prop$/ {
  eq = index($0, "=")
  if (eq == 0) next
  key = substr($0, 1, eq - 1)
  value = substr($0, eq + 1)
  if (key == "EXPAND_CYCLES") expand = int(value + 0)
  else if (key == "INITIAL_X_SIZE") startX = int(value + 0)
  else if (key == "INITIAL_Y_SIZE") startY = int(value + 0)
  else if (key == "ORIENTATION") orientation = (value == "true")
  next
}

# ---- the console log, up to the first BEL ----
FILENAME ~ /stdout$/ {
  if (saved) next
  if (index($0, "\007") > 0) {
    saved = 1
    next
  }
  if (!training) {
    if ($0 == "calculating MQE0" || index($0, "loading MQE0 file: ") == 1) training = 1
    else if (index($0, "added ") == 1) added++
    next
  }
  if (index($0, "MQE ; ") > 0) {
    if (!inMap) {
      maps++
      inMap = 1
      below = maps > 1
      x = (orientation && below) ? 2 : startX
      y = (orientation && below) ? 2 : startY
    }
    periods[maps]++
    unitPeriods[maps] += x * y
  } else if (inMap && index($0, "inserting row:") == 1) {
    y++
  } else if (inMap && index($0, "inserting column:") == 1) {
    x++
  } else if (inMap && index($0, "MQE: ") == 1) {
    finalX[maps] = x
    finalY[maps] = y
    inMap = 0
  }
  next
}

# ---- map-description files, named PREFIX_gid_level_column_row.mapdescr ----
FILENAME ~ /\.mapdescr$/ {
  if (FNR == 1) {
    name = FILENAME
    sub(/\.mapdescr$/, "", name)
    parts = split(name, field, "_")
    gid = field[parts - 3] + 0
    described[gid] = 1
  }
  if ($1 == "$NR_TRAINVEC_TOTAL") trainvec[gid] = $2 + 0
  else if ($1 == "$ITERATIONS_TOTAL") iterations[gid] = $2 + 0
  else if ($1 == "$XDIM") xdim[gid] = $2 + 0
  else if ($1 == "$YDIM") ydim[gid] = $2 + 0
  else if ($1 == "$VEC_DIM") vecdim[gid] = $2 + 0
  next
}

function complain(message) {
  print "unit_components: " message > "/dev/stderr"
  broken = 1
}

END {
  total = 0
  unknown = 0
  broken = 0
  for (g in described) {
    if (g + 0 < 1 || g + 0 > maps) complain("a map-description file for map " g " that the log does not train")
  }
  for (m = 1; m <= maps; m++) {
    if (m in trainvec) n = trainvec[m]
    else if (m == 1 && added > 0) n = added
    else {
      unknown = 1
      continue
    }
    p = n * expand
    if ((m in iterations) && iterations[m] != periods[m] * p)
      complain("map " m ": $ITERATIONS_TOTAL " iterations[m] " but the log shows " periods[m] " periods of " p)
    if ((m in xdim) && (xdim[m] != finalX[m] || ydim[m] != finalY[m]))
      complain("map " m ": size " xdim[m] " x " ydim[m] " but the log gives " finalX[m] " x " finalY[m])
    d = (m in vecdim) ? vecdim[m] : dim + 0
    total += unitPeriods[m] * p * d
  }
  if (unknown || broken) print maps, "-"
  else printf "%d %.0f\n", maps, total
}
