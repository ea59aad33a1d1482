#!/usr/bin/python3
"""Times the parallel coordinates through view_bench beside pyqtgraph drawing the same polylines
(one PlotCurveItem with a connect array, 1200 x 300 pixels, offscreen), in the same run, and
prints the medians side by side.

    /usr/bin/python3 bench/viewbench/parallel_coordinates_pyqtgraph.py [--points 10000] [--dims 10]
        [--clusters 10] [--repeat 7] [--bench build-rel/bench/view_bench]

pyqtgraph has no per-line colours or selection; its "recolour" and "select" rows change the
curve's pen, which redraws every line, as ours do. Its pen is its default 1-pixel cosmetic pen (a
2-pixel pen leaves its fast path and takes seconds); ours draws the panel's 2-pixel lines.
"""
import argparse
import os
import re
import statistics
import subprocess
import time

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

import numpy as np
import pyqtgraph as pg
from pyqtgraph.Qt import QtCore, QtGui, QtWidgets

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
M32 = 0xFFFFFFFF


def hash32(h):
    h = h & M32
    h ^= h >> 15
    h = (h * 2246822519) & M32
    h ^= h >> 13
    h = (h * 3266489917) & M32
    h ^= h >> 16
    return h


def generated_values(n, dims, clusters):
    """The same values as view_bench's generator (ParallelCoordinateOps.cpp)."""
    p = np.arange(n, dtype=np.uint64)
    out = np.empty((n, dims), dtype=np.float32)
    for d in range(dims):
        centre_hash = np.array([hash32(c * 7919 + d * 104729 + 1) for c in range(clusters)], dtype=np.uint64)
        centre = (centre_hash & 0xFFFFFF).astype(np.float32) / np.float32(16777216.0)
        h = (p * 2654435761 + d * 40503 + 17) & M32
        h ^= h >> 15
        h = (h * 2246822519) & M32
        h ^= h >> 13
        h = (h * 3266489917) & M32
        h ^= h >> 16
        noise = (h & 0xFFFFFF).astype(np.float32) / np.float32(16777216.0)
        out[:, d] = np.float32(0.6) * centre[p % clusters] + np.float32(0.4) * noise
    return out


def pyqtgraph_times(values, repeat, antialias):
    n, dims = values.shape
    lo, hi = values.min(axis=0), values.max(axis=0)
    mapped = (values - lo) / np.where(hi > lo, hi - lo, 1)
    # Axes at the same places as ours: spacing = width / (D + 1); y grows downwards.
    width, height = 1200, 300
    xs = width / (dims + 1) * np.arange(1, dims + 1)
    x = np.tile(xs, n).astype(np.float64)
    y = ((1.0 - mapped) * height).reshape(-1).astype(np.float64)
    connect = np.ones(n * dims, dtype=bool)
    connect[dims - 1::dims] = False

    pg.setConfigOptions(antialias=antialias)
    view = pg.GraphicsView()
    view.resize(width, height)
    view.setRange(QtCore.QRectF(0, 0, width, height), padding=0)
    view.show()
    image = QtGui.QImage(width, height, QtGui.QImage.Format.Format_ARGB32_Premultiplied)

    def paint():
        view.viewport().render(image)

    rows = {"pc-build": [], "pc-paint": [], "pc-recolour": [], "pc-select": []}
    for r in range(repeat):
        t = time.perf_counter()
        curve = pg.PlotCurveItem(x=x, y=y, connect=connect, pen=pg.mkPen((60, 60, 60, 150)))
        view.addItem(curve)
        paint()
        rows["pc-build"].append((time.perf_counter() - t) * 1e3)
        t = time.perf_counter()
        paint()
        rows["pc-paint"].append((time.perf_counter() - t) * 1e3)
        t = time.perf_counter()
        curve.setPen(pg.mkPen(pg.intColor(r, 10)))
        paint()
        rows["pc-recolour"].append((time.perf_counter() - t) * 1e3)
        t = time.perf_counter()
        curve.setPen(pg.mkPen(pg.intColor(r + 5, 10, alpha=60)))
        paint()
        rows["pc-select"].append((time.perf_counter() - t) * 1e3)
        view.removeItem(curve)
    view.close()
    return {op: statistics.median(ts) for op, ts in rows.items()}


def ours(bench, op, points, dims, clusters, repeat):
    out = subprocess.run([bench, "--points", str(points), "--dims", str(dims), "--clusters", str(clusters),
                          "--op", op, "--repeat", str(repeat)], check=True, capture_output=True, text=True).stdout
    return float(re.search(r"time_ms: ([0-9.]+)", out).group(1))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--points", type=int, default=10000)
    parser.add_argument("--dims", type=int, default=10)
    parser.add_argument("--clusters", type=int, default=10)
    parser.add_argument("--repeat", type=int, default=7)
    parser.add_argument("--bench", default=os.path.join(ROOT, "build-rel", "bench", "view_bench"))
    args = parser.parse_args()

    app = QtWidgets.QApplication([])  # noqa: F841 (pyqtgraph needs it alive)
    values = generated_values(args.points, args.dims, args.clusters)
    peer_aa = pyqtgraph_times(values, args.repeat, True)
    peer_plain = pyqtgraph_times(values, args.repeat, False)
    print(f"{args.points} points x {args.dims} dimensions, 1200 x 300, medians of {args.repeat} (ms)")
    print(f"{'op':<12} {'ours (aa)':>10} {'pyqtgraph aa':>13} {'pyqtgraph':>10}")
    for op in ("pc-build", "pc-paint", "pc-recolour", "pc-select"):
        mine = ours(args.bench, op, args.points, args.dims, args.clusters, args.repeat)
        print(f"{op:<12} {mine:>10.1f} {peer_aa[op]:>13.1f} {peer_plain[op]:>10.1f}")


if __name__ == "__main__":
    main()
