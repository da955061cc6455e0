#!/usr/bin/env python3
"""Independent oracle for the HRV interval statistics and the Lomb-Scargle spectrum.

Decodes the beat annotations of a PhysioNet record (MIT annotation format) and computes the
time-domain, Poincare and SDARR measures with numpy and the spectrum with
scipy.signal.lombscargle, the way the textbooks define them. The expected values in
hrv/stats/tests/ were made once with this script (Debian 12: Python 3.11, numpy 1.24.2,
scipy 1.10.1); it is not needed to build or test.

    tools/hrv_oracle.py mitdb100 DATA_DIR TESTDATA_DIR   writes the beat file and the spectrum
                                                         file, prints the expected values
    tools/hrv_oracle.py nsr001 DATA_DIR OUT_FILE         writes the 24-hour series of nsr001
                                                         (beat time and RR, s) to OUT_FILE and
                                                         scipy's Hann spectrum of it to
                                                         OUT_FILE.spectrum, for the benchmark's
                                                         HRVSTATS_NSR001_SPECTRUM
"""
import sys
import time

import numpy as np
import scipy
import scipy.signal

BEAT_CODES = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 25, 30, 34, 35, 37, 38, 41}
SKIP, NUM, SUB, CHN, AUX = 59, 60, 61, 62, 63


def read_beat_samples(path):
    """Sample numbers of the beat annotations of an MIT-format annotation file."""
    data = open(path, "rb").read()
    i, t, beats = 0, 0, []
    while i + 1 < len(data):
        word = data[i] | (data[i + 1] << 8)
        i += 2
        code, inc = word >> 10, word & 0x3FF
        if code == 0 and inc == 0:
            break
        if code == SKIP:
            high = data[i] | (data[i + 1] << 8)
            low = data[i + 2] | (data[i + 3] << 8)
            i += 4
            skip = (high << 16) | low
            if skip >= 1 << 31:
                skip -= 1 << 32
            t += skip
            continue
        if code in (NUM, SUB, CHN):
            continue
        if code == AUX:
            i += inc + (inc & 1)
            continue
        t += inc
        if code in BEAT_CODES:
            beats.append(t)
    return np.array(beats, dtype=np.int64)


def series(samples, fs):
    """RR, delta-RR, rate and beat time of each interval that has a previous interval, the way
    the engine forms its series (the first interval used ends at the third beat)."""
    p = samples.astype(np.float64)
    rr_all = np.diff(p) / fs
    rr = rr_all[1:]
    delta = rr_all[1:] - rr_all[:-1]
    times = p[2:] / fs
    dsamples = np.diff(np.diff(samples))  # exact integer differences of RR in samples
    return rr, delta, 1.0 / rr, times, dsamples


def spectrum(t, x, window, max_freq=0.5, count=500):
    slope, intercept = np.polyfit(t, x, 1)
    resid = x - (slope * t + intercept)
    u = (t - t[0]) / (t[-1] - t[0])
    if window == "hann":
        w = 0.5 - 0.5 * np.cos(2 * np.pi * u)
    else:
        w = np.ones_like(u)
    w = w / np.sqrt(np.mean(w * w))
    y = resid * w
    df = max_freq / count
    omega = 2 * np.pi * df * np.arange(1, count + 1)
    p = scipy.signal.lombscargle(t, y, omega, precenter=False, normalize=False)
    return 2.0 * p / len(t), df, y, omega


def townsend_direct(t, y, w):
    """The classic periodogram at one angular frequency, written out (Lomb 1976)."""
    c, s = np.cos(w * t), np.sin(w * t)
    tau = 0.5 * np.arctan2(2 * np.sum(c * s), np.sum(c * c) - np.sum(s * s))
    ct, st = np.cos(w * t - tau), np.sin(w * t - tau)
    return np.sum(y * ct) ** 2 / np.sum(ct * ct) + np.sum(y * st) ** 2 / np.sum(st * st)


def mitdb100(data_dir, testdata_dir):
    fs = 360.0
    samples = read_beat_samples(f"{data_dir}/ecg/mitdb/100.atr")
    with open(f"{testdata_dir}/mitdb100_beats.txt", "w") as f:
        f.write("# MIT-BIH Arrhythmia Database record 100: sample numbers (360 Hz) of the beat annotations\n")
        f.write("# of 100.atr, decoded by tools/hrv_oracle.py. Attribution: testdata/README.md.\n")
        for s in samples:
            f.write(f"{s}\n")
    rr, delta, rate, times, dsamples = series(samples, fs)
    n = len(rr)
    out = {}
    out["beats"] = len(samples)
    out["n"] = n
    out["meanRR"] = np.mean(rr)
    out["medianRR"] = np.median(rr)
    out["SDRR"] = np.std(rr, ddof=1)
    out["SDSD"] = np.std(delta, ddof=1)
    out["RMSSD"] = np.sqrt(np.mean(delta ** 2))
    out["meanRate"] = np.mean(rate)
    out["SDRate"] = np.std(rate, ddof=1)
    out["pNN50count"] = int(np.sum(np.abs(dsamples) > 18))  # 50 ms = 18 samples, ties excluded
    out["ties50"] = int(np.sum(np.abs(dsamples) == 18))
    out["SD1"] = np.sqrt(0.5) * out["SDSD"]
    out["SD2"] = np.sqrt(2 * out["SDRR"] ** 2 - 0.5 * out["SDSD"] ** 2)
    # SDARR: 300 s segments from 0; the last segment counts only when the record reaches its end.
    end_time = 650000 / fs
    seg = np.floor(times / 300.0).astype(np.int64)
    means = [np.mean(rr[seg == j]) for j in np.unique(seg) if (j + 1) * 300.0 <= end_time]
    out["segments"] = len(means)
    out["SDARR"] = np.std(means, ddof=1)
    bins = np.floor(rr / 0.01).astype(np.int64)
    out["rrFirstBin"] = int(bins.min())
    out["rrBinCounts"] = np.bincount(bins - bins.min()).tolist()

    for window in ("hann", "rect"):
        p, df, y, omega = spectrum(times, rr, window)
        for k in (10, 100, 250, 499):
            direct = townsend_direct(times, y, omega[k]) / n
            assert abs(direct - p[k]) <= 1e-9 * abs(p[k]), (k, direct, p[k])
        span = times[-1] - times[0]
        out[f"{window}Total"] = df * span * np.sum(p)
        out[f"{window}VLF"] = df * span * np.sum(p[0:40])
        out[f"{window}LF"] = df * span * np.sum(p[39:150])
        out[f"{window}HF"] = df * span * np.sum(p[149:450])
        out[f"{window}Power"] = p
    with open(f"{testdata_dir}/mitdb100_lombscargle.txt", "w") as f:
        f.write("# Lomb-Scargle spectrum (s^2) of the RR series of mitdb100_beats.txt at k * 0.001 Hz,\n")
        f.write("# k = 1..500, linear detrend, Hann window (column 1) and rectangular window (column 2):\n")
        f.write(f"# 2/n * scipy.signal.lombscargle(precenter=False, normalize=False), scipy {scipy.__version__},\n")
        f.write(f"# numpy {np.__version__}; written by tools/hrv_oracle.py.\n")
        for a, b in zip(out["hannPower"], out["rectPower"]):
            f.write(f"{a:.17g} {b:.17g}\n")
    for key, value in out.items():
        if key.endswith("Power"):
            continue
        print(f"{key} = {value!r}" if isinstance(value, (int, list)) else f"{key} = {value:.17g}")


def nsr001(data_dir, out_file):
    fs = 128.0
    samples = read_beat_samples(f"{data_dir}/ecg/nsr2db/nsr001.ecg")
    rr, _, _, times, _ = series(samples, fs)
    np.savetxt(out_file, np.column_stack([times, rr]), fmt="%.17g")
    start = time.perf_counter()
    p, _, _, _ = spectrum(times, rr, "hann")
    np.savetxt(out_file + ".spectrum", p, fmt="%.17g")
    print(f"nsr001: {len(rr)} intervals; scipy {scipy.__version__} 500-point spectrum "
          f"{time.perf_counter() - start:.2f} s")


if __name__ == "__main__":
    if len(sys.argv) != 4 or sys.argv[1] not in ("mitdb100", "nsr001"):
        sys.exit(__doc__)
    {"mitdb100": mitdb100, "nsr001": nsr001}[sys.argv[1]](sys.argv[2], sys.argv[3])
