#!/usr/bin/env python3
"""Writes a synthetic elevation model for the README's pictures of a model in
the viewer: 512 x 512 cells of a valley between mountains, 446 to 1824 m, made
of fractal noise (amplitude falling as 1/f^1.75, as eroded relief does), as an
Int16 GeoTIFF with a no-data corner, written by GDAL.

    tools/synthetic_valley.py valley.tif      (needs python3-gdal and python3-numpy)
"""
import sys

import numpy as np
from osgeo import gdal

SIDE = 512
rng = np.random.default_rng(29)  # the same model every time

# Noise: random phases under a 1/f^1.75 spectrum, scaled to 0..1.
fx, fy = np.fft.fftfreq(SIDE)[None, :], np.fft.fftfreq(SIDE)[:, None]
frequency = np.hypot(fx, fy)
frequency[0, 0] = 1
spectrum = (rng.normal(size=(SIDE, SIDE)) + 1j * rng.normal(size=(SIDE, SIDE))) / frequency**1.75
spectrum[0, 0] = 0
noise = np.real(np.fft.ifft2(spectrum))
noise = (noise - noise.min()) / (noise.max() - noise.min())

# A valley winding down the rows, its floor smoother than the slopes.
y, x = np.mgrid[0:SIDE, 0:SIDE] / SIDE
valley = np.abs(x - 0.5 - 0.15 * np.sin(3.0 * y))
metres = (420 + 1500 * noise * np.clip(valley * 2.2, 0.15, 1) + 600 * valley).astype(np.int16)
metres[(x + y + 0.05 * noise) > 1.85] = -32768  # not surveyed: no data

model = gdal.GetDriverByName("GTiff").Create(sys.argv[1], SIDE, SIDE, 1, gdal.GDT_Int16, ["COMPRESS=DEFLATE"])
model.SetGeoTransform([7.0, 0.0003, 0, 46.6, 0, -0.0003])  # about 25 m a cell
band = model.GetRasterBand(1)
band.SetNoDataValue(-32768)
band.WriteArray(metres)
model = None
