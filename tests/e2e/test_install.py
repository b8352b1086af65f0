"""What a user installs: `cmake --install` into a prefix gives a stripped
binary that runs, a manual page that renders cleanly under spoolmap's own
title and the copyright file, and `cpack -G DEB` gives a package with the
same files that depends on the shared libraries the binary really links."""

import os
import subprocess

import harness
from harness import WGS84
from testdb import Column, Table

BUILD = os.environ.get("SPOOLMAP_BUILD_DIR", "")
SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def checked(args, **options):
    completed = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               timeout=300, **options)
    if completed.returncode != 0:
        raise AssertionError("%s failed:\n%s" % (" ".join(args), completed.stdout.decode()))
    return completed.stdout.decode()


class Install(harness.ScratchTestCase):
    def test_installed_binary_unloads_and_its_manual_page_is_found(self):
        prefix = self.path("prefix")
        checked(["cmake", "--install", BUILD, "--prefix", prefix])
        binary = os.path.join(prefix, "bin", "spoolmap")
        page = os.path.join(prefix, "share", "man", "man1", "spoolmap.1.gz")
        self.assertTrue(os.access(binary, os.X_OK))
        self.assertTrue(os.path.isfile(page))
        self.assertTrue(os.path.isfile(os.path.join(prefix, "share", "doc", "spoolmap",
                                                    "copyright")))
        self.assertNotIn(".symtab", checked(["readelf", "-S", "-W", binary]))

        table = Table(name="t", columns=[Column("name", "TEXT(8)")], geometry_column="geom",
                      geometry_type="POINT", srid=4326, srtext=WGS84,
                      rows=[{"name": "a", "geom": ("Point", (1, 2))}])
        harness.make_database(self.dir, [table])
        completed = subprocess.run([binary] + harness.init_args("out"), cwd=self.dir,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(completed.returncode, 0, completed.stderr.decode())
        self.assertEqual(harness.ogr_feature_count(self.path("out.shp")), 1)

        # man finds the installed page through the prefix and renders it.
        rendered = checked(["man", "-M", os.path.join(prefix, "share", "man"), "spoolmap"],
                           env=dict(os.environ, MANPAGER="cat", PAGER="cat", MANWIDTH="80"))
        self.assertRegex(rendered.split("\n")[0], r"^SPOOLMAP\(1\) +spoolmap Manual +SPOOLMAP\(1\)$")
        self.assertIn("EXIT STATUS", rendered)

    def test_manual_page_has_no_warnings(self):
        page = os.path.join(SOURCE, "man", "spoolmap.1")
        self.assertEqual(checked(["mandoc", "-T", "lint", "-W", "warning", page]), "")
        completed = subprocess.run(["groff", "-ww", "-z", "-mandoc", page],
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual((completed.returncode, completed.stderr.decode()), (0, ""))

    def test_debian_package(self):
        checked(["cpack", "-G", "DEB", "-B", self.dir], cwd=BUILD)
        packages = [name for name in os.listdir(self.dir) if name.endswith(".deb")]
        self.assertEqual(len(packages), 1, packages)
        package = self.path(packages[0])
        depends = checked(["dpkg-deb", "-f", package, "Depends"])
        linked = checked(["ldd", os.path.join(BUILD, "spoolmap")])
        for library, debian_package in (("libsqlite3", "libsqlite3-0"), ("libc.so", "libc6")):
            self.assertIn(library, linked)
            self.assertIn(debian_package, depends)
        contents = checked(["dpkg-deb", "-c", package])
        self.assertIn("./usr/bin/spoolmap", contents)
        self.assertIn("./usr/share/man/man1/spoolmap.1.gz", contents)
        self.assertIn("./usr/share/doc/spoolmap/copyright", contents)


if __name__ == "__main__":
    harness.main()
