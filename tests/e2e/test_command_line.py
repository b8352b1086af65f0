"""The command line against the built binary: usage text, version lines and
the refusals, with their streams and exit statuses."""

import os

import harness

USAGE = ("Usage:\n\nspoolmap -o init -l <tabname,colname> -f <filename> \n"
         "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
         "          [ -t <shape_type> ] \n"
         "          [ -w <where_clause> ] \n"
         "          [ -log [ <directory> ] ] \n\n"
         "spoolmap -o append -l <tabname,colname> -f <filename> \n"
         "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
         "          [ -w <where_clause> ] \n"
         "          [ -log [ <directory> ] ] \n\n"
         "spoolmap -V")

INIT = ["-o", "init", "-l", "roads,geom", "-f", "out", "-D", "nosuchdb"]


def invalid(switch):
    return "\nInvalid value for command line switch '%s'.\n" % switch


class CommandLine(harness.ScratchTestCase):
    def assert_usage(self, args):
        result = harness.run(args, cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\n" + USAGE + "\n", result)
        self.assertEqual(result.out, "", result)

    def test_no_arguments_gives_the_usage_text(self):
        self.assert_usage([])

    def test_version_alone(self):
        result = harness.run(["-V"], cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertEqual(result.err, "")
        lines = result.out.split("\n")
        self.assertEqual(lines[0], "")
        self.assertRegex(lines[1], r"^Spatial Kestrum Module spoolmap utility, version \S+$")
        self.assertEqual(lines[2], "")
        self.assertRegex(lines[3], r"^Built \d{4}-\d\d-\d\d with \S.*$")
        self.assertEqual(lines[4:], [""])

    def test_refusals_with_the_usage_text(self):
        for args in (["-V", "-V"], ["-o", "init", "-V"], INIT + ["-s", "x", "-s", "x"],
                     INIT + ["-w"], ["-o", "init", "-l", "roads", "-f", "o", "-D", "d"],
                     INIT + ["-u", "scott"], INIT[:2] + ["-o", "append"],
                     ["-o", "append", "-l", "r,g", "-f", "o", "-D", "d", "-t", "1"]):
            with self.subTest(args=args):
                self.assert_usage(args)

    def test_invalid_values_in_the_fixed_order(self):
        for args, switch in ((["-o", "INIT"], "-o"), (INIT + ["-t", "2"], "-t"),
                             (INIT + ["-t", "0"], "-t"), (INIT + ["-t", "31"], "-t"),
                             (["-t", "abc"], "-t")):
            with self.subTest(args=args):
                result = harness.run(args, cwd=self.dir)
                self.assertEqual(result.status, 1, result)
                self.assertEqual(result.err, invalid(switch), result)

    def test_shape_type_nine_is_accepted(self):
        # Accepted by the parser: the run goes on to the database and fails
        # there, not on the command line.
        result = harness.run(INIT + ["-t", "9"], cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertNotIn("Invalid value", result.err)
        self.assertNotIn("Usage:", result.err)


if __name__ == "__main__":
    harness.main()
