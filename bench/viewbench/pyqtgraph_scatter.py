#!/usr/bin/python3
"""The peer figures for view_bench's scene operations: pyqtgraph's ScatterPlotItem on the same
data (K Gaussian blobs in D dimensions, shown by their first two coordinates) in a 1200 x 800
offscreen view, and matplotlib's point-in-polygon for the lasso.

usage: pyqtgraph_scatter.py --points N [--dims D] [--clusters K] [--repeat R]
Prints one line per operation: "<op> time_ms: MEDIAN".
"""
import argparse
import os
import statistics
import time

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

import numpy as np
import pyqtgraph as pg
from matplotlib.path import Path


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--points", type=int, default=10000)
    parser.add_argument("--dims", type=int, default=10)
    parser.add_argument("--clusters", type=int, default=10)
    parser.add_argument("--repeat", type=int, default=5)
    args = parser.parse_args()
    n, d, k = args.points, max(2, args.dims), max(1, args.clusters)

    rng = np.random.default_rng(7)
    centres = rng.uniform(-50, 50, size=(k, d)).astype(np.float32)
    values = centres[np.arange(n) % k] + rng.normal(0, 4, size=(n, d)).astype(np.float32)
    x, y = values[:, 0], values[:, 1]
    lut = pg.colormap.get("viridis").getLookupTable(nPts=11)
    brushes = [pg.mkBrush(*c) for c in lut]

    app = pg.mkQApp()
    widget = pg.PlotWidget()
    widget.resize(1200, 800)
    widget.show()
    app.processEvents()

    def timed(step):
        times = []
        for r in range(args.repeat):
            start = time.perf_counter()
            step(r)
            times.append((time.perf_counter() - start) * 1000)
        return statistics.median(times)

    holder = {}

    def build(_):
        if "item" in holder:
            widget.removeItem(holder["item"])
        item = pg.ScatterPlotItem(x=x, y=y, size=5, pen=None, brush=brushes[0])
        widget.addItem(item)
        holder["item"] = item

    print("build time_ms: %.2f" % timed(build))
    widget.grab()
    print("paint time_ms: %.2f" % timed(lambda _: widget.grab()))

    def recolour(r):
        v = values[:, r % d]
        t = (v - v.min()) / (v.max() - v.min())
        index = np.minimum((t * 10).astype(int), 10)
        holder["item"].setBrush([brushes[i] for i in index])

    print("recolour time_ms: %.2f" % timed(recolour))
    print("recolour+paint time_ms: %.2f" % timed(lambda r: (recolour(r), widget.grab())))

    cx, cy = (x.min() + x.max()) / 2, (y.min() + y.max()) / 2
    radius = 0.45 * min(x.max() - x.min(), y.max() - y.min())
    angles = 2 * np.pi * np.arange(200) / 200
    radii = np.where(np.arange(200) % 2, 0.8 * radius, radius)
    star = Path(np.column_stack([cx + radii * np.cos(angles), cy + radii * np.sin(angles)]), closed=False)
    points = np.column_stack([x, y])
    print("lasso (matplotlib contains_points) time_ms: %.2f" % timed(lambda _: star.contains_points(points)))


if __name__ == "__main__":
    main()
