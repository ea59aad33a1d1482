#!/usr/bin/python3
"""scikit-learn's Lloyd k-means on the data sets bench_kmeans writes (KMEANS_BENCH_DATA_DIR),
started from the same seed rows as the classic engine (row c * (n / k)).
Usage: OMP_NUM_THREADS=1 /usr/bin/python3 bench/bench_kmeans.py DIR"""
import statistics
import sys
import time

import numpy as np
from sklearn.cluster import KMeans

directory = sys.argv[1]
n = 100000
for d in (10, 50):
    X = np.fromfile(f"{directory}/points_{d}.f32", dtype=np.float32).reshape(n, d)
    for k in (10, 50):
        init = X[[c * (n // k) for c in range(k)]]
        times = []
        for _ in range(5):
            start = time.perf_counter()
            km = KMeans(n_clusters=k, init=init, n_init=1, algorithm="lloyd").fit(X)
            times.append(time.perf_counter() - start)
        print(f"d:{d} k:{k} median {statistics.median(times) * 1000:.1f} ms, {km.n_iter_} iterations")
