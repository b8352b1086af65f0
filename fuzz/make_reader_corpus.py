#!/usr/bin/env python3
"""Writes the seed corpora of spoolmap's own fuzz targets (fuzz/spoolmap/):
whole .shp/.shx and .dbf files as GDAL writes them and as spoolmap does
(header lengths padded as some writers pad them, a table without fields, a
set of null shapes), .prj texts of both kinds of writer, and command lines of
every form spoolmap takes.

Run from anywhere: python3 fuzz/make_reader_corpus.py (needs ogr2ogr on PATH)."""

import json
import os
import shutil
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")

WGS84 = ('GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],'
         'PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]]')


def write(target, name, data):
    directory = os.path.join(CORPUS, target)
    os.makedirs(directory, exist_ok=True)
    with open(os.path.join(directory, name), "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode("utf-8"))


def main_header(length_words, shape_type, bounds=(0.0,) * 8):
    return (struct.pack(">i20xi", 9994, length_words) + struct.pack("<ii", 1000, shape_type)
            + struct.pack("<8d", *bounds))


def dbf(fields, records, pad=0):
    """fields: (name, type, length, decimals); records: lists of field texts."""
    header_length = 32 + 32 * len(fields) + 1 + pad
    record_length = 1 + sum(f[2] for f in fields)
    data = struct.pack("<BBBBIHH20x", 3, 124, 12, 7, len(records), header_length, record_length)
    for name, kind, length, decimals in fields:
        data += name.encode().ljust(11, b"\0") + kind.encode() + b"\0" * 4
        data += bytes([length, decimals]) + b"\0" * 14
    data += b"\r" + b"\0" * pad
    for record in records:
        data += b" " + b"".join(v.encode().ljust(f[2])[:f[2]] for v, f in zip(record, fields))
    return data + b"\x1a"


def gdal_set():
    """A small point set written by ogr2ogr: (shp, shx, dbf, prj) bytes."""
    features = [{"type": "Feature", "properties": {"name": "a%d" % i, "value": i * 1.5},
                 "geometry": {"type": "Point", "coordinates": [i, -i]}} for i in range(3)]
    with tempfile.TemporaryDirectory() as scratch:
        source = os.path.join(scratch, "in.geojson")
        with open(source, "w") as f:
            json.dump({"type": "FeatureCollection", "features": features}, f)
        subprocess.run(["ogr2ogr", "-f", "ESRI Shapefile", os.path.join(scratch, "out.shp"),
                        source], check=True, capture_output=True)
        result = []
        for extension in ("shp", "shx", "dbf", "prj"):
            with open(os.path.join(scratch, "out." + extension), "rb") as f:
                result.append(f.read())
        return result


def main():
    for target in ("main_header_fuzz", "dbf_header_fuzz", "prj_text_fuzz", "command_line_fuzz"):
        shutil.rmtree(os.path.join(CORPUS, target), ignore_errors=True)
    shp, shx, dbf_bytes, prj = gdal_set()

    point = struct.pack("<i2d", 1, 1.5, -2.0)
    record = struct.pack(">ii", 1, len(point) // 2) + point
    write("main_header_fuzz", "gdal_points.shp", shp)
    write("main_header_fuzz", "gdal_points.shx", shx)
    write("main_header_fuzz", "one_point.shp",
          main_header(50 + len(record) // 2, 1, (1.5, -2, 1.5, -2, 0, 0, 0, 0)) + record)
    write("main_header_fuzz", "empty.shx", main_header(50, 0))
    null_records = b"".join(struct.pack(">ii", n, 2) + struct.pack("<i", 0) for n in (1, 2))
    write("main_header_fuzz", "null_shapes.shp",
          main_header(50 + len(null_records) // 2, 0) + null_records)

    write("dbf_header_fuzz", "gdal_points.dbf", dbf_bytes)
    fields = [("NAME", "C", 10, 0), ("AREA", "N", 18, 2), ("WHEN", "D", 8, 0),
              ("FLAG", "L", 1, 0), ("POPULATI_1", "N", 20, 255)]
    rows = [["Main", "12.50", "20240229", "T", "1"], ["", "-3.00", "", "?", ""]]
    write("dbf_header_fuzz", "spoolmap_fields.dbf", dbf(fields, rows))
    write("dbf_header_fuzz", "padded_header.dbf", dbf(fields[:2], [["x", "1.00"]], pad=31))
    write("dbf_header_fuzz", "no_fields.dbf", dbf([], [[], []]))
    write("dbf_header_fuzz", "long_name.dbf", dbf([("ABCDEFGHIJK", "C", 254, 0)], []))

    write("prj_text_fuzz", "gdal.prj", prj)
    write("prj_text_fuzz", "spoolmap.prj", WGS84)
    write("prj_text_fuzz", "trailing_line_end.prj", WGS84.lower() + "\r\n")
    write("prj_text_fuzz", "numbers.prj", 'A["x",1.0,-.5,2.50e3,0x10,+1]')
    write("prj_text_fuzz", "unknown.prj", "UNKNOWN")

    command_lines = {
        "init": ["-o", "init", "-l", "Roads,Geom", "-f", "out/roads.shp", "-D", "GIS"],
        "init_all": ["-o", "init", "-l", "t,g", "-f", "o", "-D", "d", "-s", "/data", "-u", "me",
                     "-p", "secret", "-t", "5", "-w", "id > 3", "-log", "logs", "-trc", "t.trc,2"],
        "append": ["-o", "append", "-l", "t,g", "-f", "C:\\data\\o", "-D", "d", "-log"],
        "version": ["-V"],
        "bad_type": ["-o", "init", "-l", "t,g", "-f", "o", "-D", "d", "-t", "9x"],
    }
    for name, arguments in command_lines.items():
        write("command_line_fuzz", name, b"\0".join(a.encode() for a in arguments))


if __name__ == "__main__":
    main()
