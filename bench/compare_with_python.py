#!/usr/bin/python3
"""Times the engines through the engine driver beside scikit-learn / SciPy / NumPy on the same
data, in the same run, and prints medians and ratios (ours / peer).

Run by hand with Debian's python (numpy, scipy, scikit-learn):
    /usr/bin/python3 bench/compare_with_python.py [--group NAME ...] [--repeat N] [--sizes 2000,5000]
It builds the driver in build-release/ (Release, no sanitizers) first unless --driver is given.
Groups: embed (pca, mds, isomap, le, lle; --methods lle,pca keeps some), kmeans, hc, spectral.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# A full dense eigh beyond this size takes many minutes with Debian's reference LAPACK.
MDS_PEER_MAX = 5000


def build_driver():
    build = os.path.join(ROOT, "build-release")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                    "-DTOLVEMARK_BUILD_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "engine_driver", "kmeans_seeds"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(build, "bench", "engine_driver")


def write_csv(path, X):
    header = ",".join("d%d" % i for i in range(X.shape[1]))
    # Nine digits give every float32 back exactly, so both sides see the same values.
    np.savetxt(path, X, delimiter=",", header=header, comments="", fmt="%.9g")


def blobs(n, d, centres, seed=0):
    rng = np.random.default_rng(seed)
    c = rng.uniform(-10, 10, size=(centres, d))
    labels = rng.integers(0, centres, size=n)
    return (c[labels] + rng.normal(size=(n, d))).astype(np.float32)


def swiss_roll(n, seed=0):
    rng = np.random.default_rng(seed)
    t = 1.5 * np.pi * (1 + 2 * rng.uniform(size=n))
    h = 21 * rng.uniform(size=n)
    X = np.column_stack([t * np.cos(t), h, t * np.sin(t)]) + 0.05 * rng.normal(size=(n, 3))
    return X.astype(np.float32)


def ours(driver, csv, args, repeat):
    cmd = [driver, "--csv", csv] + args + ["--repeat", str(repeat)]
    out = subprocess.run(cmd, capture_output=True, text=True)
    m = re.search(r"time_ms: ([0-9.]+)", out.stdout)
    if out.returncode != 0 or not m:
        return None
    return float(m.group(1))


def peer(fn, repeat):
    times = []
    for _ in range(repeat):
        start = time.perf_counter()
        fn()
        times.append(1000 * (time.perf_counter() - start))
    return statistics.median(times)


def row(name, n, our_ms, peer_name, peer_ms):
    ratio = "-" if our_ms is None or not peer_ms else "%.2f" % (our_ms / peer_ms)
    ours_text = "failed" if our_ms is None else "%.1f" % our_ms
    print("%-10s n=%-6d ours %10s ms   %-28s %10.1f ms   ratio %s" % (name, n, ours_text, peer_name, peer_ms, ratio),
          flush=True)


EMBED_METHODS = ("pca", "mds", "isomap", "le", "lle")


def group_embed(driver, tmp, sizes, repeat, methods=EMBED_METHODS):
    from sklearn.datasets import load_digits, make_swiss_roll
    from sklearn.decomposition import PCA
    from sklearn.manifold import Isomap, LocallyLinearEmbedding, SpectralEmbedding
    # The handwritten digits ship with scikit-learn; the roll is the tests' swissroll_2000.csv.
    sets = [("digits", load_digits().data.astype(np.float32)),
            ("swissroll", make_swiss_roll(2000, noise=0.05, random_state=7)[0].astype(np.float32))]
    sets += [("roll%d" % n, swiss_roll(n)) for n in sizes]
    k = 10
    for name, X in sets:
        csv = os.path.join(tmp, name + ".csv")
        write_csv(csv, X)
        n = X.shape[0]

        def mds():
            Xd = X.astype(np.float64)
            sq = (Xd ** 2).sum(1)
            D2 = np.maximum(sq[:, None] + sq[None, :] - 2.0 * Xd @ Xd.T, 0)
            # Double centring in O(n^2): B = -1/2 (D2 - row means - column means + grand mean).
            row = D2.mean(1)
            B = -0.5 * (D2 - row[:, None] - row[None, :] + row.mean())
            np.linalg.eigh(B)

        if "pca" in methods:
            row("pca " + name, n, ours(driver, csv, ["--method", "pca"], repeat), "sklearn PCA",
                peer(lambda: PCA(2).fit_transform(X), repeat))
        if "mds" not in methods:
            pass
        elif n <= MDS_PEER_MAX:
            row("mds " + name, n, ours(driver, csv, ["--method", "mds"], repeat), "numpy eigh (double-centred)",
                peer(mds, 1))
        else:
            row("mds " + name, n, ours(driver, csv, ["--method", "mds"], repeat), "(numpy eigh skipped)", 0)
        if "isomap" in methods:
            row("isomap " + name, n, ours(driver, csv, ["--method", "isomap", "--neighbors", str(k)], 1),
                "sklearn Isomap", peer(lambda: Isomap(n_neighbors=k, n_components=2).fit_transform(X), 1))
        if "le" in methods:
            row("le " + name, n, ours(driver, csv, ["--method", "le", "--neighbors", str(k), "--tau", "10"], repeat),
                "sklearn SpectralEmbedding",
                peer(lambda: SpectralEmbedding(n_components=2, affinity="nearest_neighbors", n_neighbors=k)
                     .fit_transform(X), repeat))
        if "lle" in methods:
            row("lle " + name, n, ours(driver, csv, ["--method", "lle", "--neighbors", str(k)], repeat),
                "sklearn LLE",
                peer(lambda: LocallyLinearEmbedding(n_neighbors=k, n_components=2).fit_transform(X), repeat))


def group_kmeans(driver, tmp, sizes, repeat):
    """Both engine types beside scikit-learn's Lloyd iterations started from the same centres:
    the classic engine's evenly spaced rows, or the k-means++ seeds of our run (written by
    kmeans_seeds). scikit-learn is timed on one thread and on all of them; for k-means++ its
    own k-means++ start is shown too, as the same task done end to end."""
    from sklearn.cluster import KMeans
    from threadpoolctl import threadpool_limits
    seeds_tool = os.path.join(os.path.dirname(driver), "kmeans_seeds")
    for d in (10, 50):
        csv = os.path.join(tmp, "blobs_%d.csv" % d)
        write_csv(csv, blobs(100000, d, 20))
        X = np.loadtxt(csv, delimiter=",", skiprows=1, dtype=np.float32)
        n = len(X)
        for k in (10, 50):
            for kind in (0, 1):
                if kind == 0:
                    init = X[[c * (n // k) for c in range(k)]]
                else:
                    seeds = os.path.join(tmp, "seeds.txt")
                    subprocess.run([seeds_tool, "--csv", csv, "--method", "kmeans", "--k", str(k), "--out", seeds],
                                   check=True, stdout=subprocess.DEVNULL)
                    init = np.loadtxt(seeds, delimiter=",", dtype=np.float32, ndmin=2)
                our_ms = ours(driver, csv, ["--method", "kmeans", "--k", str(k), "--type", str(kind)], repeat)
                fit = lambda: KMeans(k, init=init, n_init=1, algorithm="lloyd").fit(X)
                with threadpool_limits(1):
                    one = peer(fit, repeat)
                name = "kmeans t%d d%d k%d" % (kind, d, k)
                row(name, n, our_ms, "sklearn same start, 1 thread", one)
                row(name, n, our_ms, "sklearn same start, all", peer(fit, repeat))
                if kind == 1:
                    # Our steps run until the cost stops falling; tol=0 takes scikit-learn as far.
                    full = lambda: KMeans(k, init=init, n_init=1, algorithm="lloyd", tol=0.0, max_iter=10000).fit(X)
                    own = lambda: KMeans(k, init="k-means++", n_init=1, algorithm="lloyd", random_state=0).fit(X)
                    with threadpool_limits(1):
                        row(name, n, our_ms, "sklearn same start tol=0, 1 thr", peer(full, repeat))
                        row(name, n, our_ms, "sklearn k-means++, 1 thread", peer(own, repeat))


def group_hc(driver, tmp, sizes, repeat):
    from scipy.cluster.hierarchy import linkage
    from scipy.spatial.distance import pdist
    for n in sizes:
        X = blobs(n, 8, 6)
        csv = os.path.join(tmp, "hc_%d.csv" % n)
        write_csv(csv, X)
        Xd = X.astype(np.float64)
        for code, method in ((0, "single"), (1, "complete"), (2, "average"), (3, "centroid")):
            our_ms = ours(driver, csv, ["--method", "hc", "--linkage", str(code)], 1)
            if method == "centroid":
                sp = peer(lambda: linkage(Xd, "centroid"), 1)
            else:
                sp = peer(lambda: linkage(pdist(Xd, "sqeuclidean") / Xd.shape[1], method), 1)
            row("hc " + method, n, our_ms, "scipy linkage", sp)


def group_spectral(driver, tmp, sizes, repeat):
    from sklearn.cluster import SpectralClustering
    for n in sizes:
        X = blobs(n, 8, 6)
        csv = os.path.join(tmp, "sc_%d.csv" % n)
        write_csv(csv, X)
        # A(i, j) = exp(-kernel * squared distance); 0.05 keeps the blobs connected inside and
        # apart from each other (a clear eigengap) for unit-variance blobs in 8 dimensions.
        kernel = 0.05
        Xd = X.astype(np.float64)
        sq = np.maximum((Xd ** 2).sum(1)[:, None] + (Xd ** 2).sum(1)[None, :] - 2.0 * Xd @ Xd.T, 0)
        A = np.exp(-kernel * sq)
        our_ms = ours(driver, csv, ["--method", "spectral", "--k", "6", "--kernel", str(kernel)], 1)
        sk = peer(lambda: SpectralClustering(6, affinity="precomputed", random_state=0).fit(A), 1)
        row("spectral", n, our_ms, "sklearn SpectralClustering", sk)
        our_sub = ours(driver, csv, ["--method", "subspace", "--k", "6", "--kernel", str(kernel)], 1)
        row("subspace", n, our_sub, "(same peer)", sk)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver")
    parser.add_argument("--group", action="append")
    parser.add_argument("--repeat", type=int, default=3)
    parser.add_argument("--sizes", default="2000,5000,10000")
    parser.add_argument("--methods", default=",".join(EMBED_METHODS), help="embed group only")
    args = parser.parse_args()
    driver = args.driver or build_driver()
    sizes = [int(s) for s in args.sizes.split(",")]
    groups = {"embed": group_embed, "kmeans": group_kmeans, "hc": group_hc, "spectral": group_spectral}
    with tempfile.TemporaryDirectory() as tmp:
        for name in args.group or list(groups):
            if name == "embed":
                group_embed(driver, tmp, sizes, args.repeat, args.methods.split(","))
            else:
                groups[name](driver, tmp, sizes, args.repeat)
    return 0


if __name__ == "__main__":
    sys.exit(main())
