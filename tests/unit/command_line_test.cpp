// The command line: switches, the order of the checks, the usage text, the
// summary and the small text functions.

#include "run/command_line.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "process_end_capture.h"
#include "text/characters.h"

namespace {

// Owns mutable copies of the arguments, since the parser changes them in place.
struct Arguments {
    std::vector<std::string> texts;
    std::vector<char*> pointers;
    explicit Arguments(std::vector<std::string> args) : texts(std::move(args)) {
        texts.insert(texts.begin(), "spoolmap");
        for (auto& text : texts) {
            pointers.push_back(text.data());
        }
    }
    int argc() const { return static_cast<int>(pointers.size()); }
    char** argv() { return pointers.data(); }
};

// The settings point into the argument strings, which live as long as the
// process does; so do these.
Arguments& keep(std::vector<std::string> args) {
    static std::deque<Arguments> kept;
    return kept.emplace_back(std::move(args));
}

EndResult parse(std::vector<std::string> args, RunSettings& settings) {
    Arguments& arguments = keep(std::move(args));
    return run_capturing_end(
        [&] { parse_command_line(arguments.argc(), arguments.argv(), settings); });
}

EndResult parse(std::vector<std::string> args) {
    RunSettings settings;
    return parse(std::move(args), settings);
}

const std::string kUsageTail = std::string("\n\n") + kUsageText + "\n";

const std::vector<std::string> kInit = {"-o", "init", "-l", "roads,geom", "-f", "out", "-D", "gis"};

std::vector<std::string> init_with(std::vector<std::string> more) {
    std::vector<std::string> args = kInit;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const char kShapeTypes[] =
    "1 point, 3 polyline, 5 polygon, 8 multipoint, 9, 10, 11 pointz, 13 polylinez, 15 polygonz, "
    "18 multipointz, 19, 20, 21 pointm, 23 polylinem, 25 polygonm, 28 multipointm";

std::string bad_shape_type(const std::string& value) {
    return "Invalid value for command line switch '-t'. '" + value +
           "' is no shape type; give one of " + kShapeTypes + ".";
}

std::string names_directory(const std::string& directory, const std::string& example) {
    return "Switch '-f' names the directory '" + directory +
           "'; give the base name of the files in it, as in -f " + example + ".";
}

std::string goes_only_with(const std::string& given, const std::string& missing) {
    return "Switch '" + given + "' goes only with '" + missing +
           "'; without both, the server's own settings (PGUSER, PGPASSWORD, ~/.pgpass, a service "
           "file) apply.";
}

TEST(UsageText, IsByteExact) {
    const std::string expected =
        "Usage:\n\nspoolmap -o init -l <tabname,colname> -f <filename> \n"
        "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
        "          [ -t <shape_type> ] \n          [ -w <where_clause> ] \n"
        "          [ -log [ <directory> ] ] \n\n"
        "spoolmap -o append -l <tabname,colname> -f <filename> \n"
        "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
        "          [ -w <where_clause> ] \n          [ -log [ <directory> ] ] \n\n"
        "spoolmap -L -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n\n"
        "spoolmap -V";
    EXPECT_EQ(kUsageText, expected);
}

// Each bad command line: one line that says what is wrong, then the usage,
// on the error stream, status 1. Where several things are wrong, the walk's
// finding comes first, then the checks after it in their order.
TEST(CommandLine, ABadCommandLineSaysWhatIsWrongThenShowsTheUsage) {
    const std::string pairs = "init needs -l <tabname,colname>, -f <filename> and -D <database>.";
    const std::vector<std::pair<std::vector<std::string>, std::string>> refused = {
        {{}, "No switches given."},
        {{"-V", "-o"}, "Switch '-V' stands alone: spoolmap -V."},
        {{"-o", "init", "--version"}, "Switch '--version' stands alone: spoolmap --version."},
        {init_with({"-d", "x"}),
         "Unknown switch '-d'; switches are case-sensitive: did you mean '-D'?"},
        {init_with({"--where", "x > 1"}), "Unknown switch '--where'; did you mean '-w'?"},
        {init_with({"-x", "1"}), "Unknown switch '-x'."},
        {init_with({"-h", "dbhost"}),
         "Unknown switch '-h'; a server goes in -s, and --help shows the help."},
        {init_with({"stray"}),
         "Unexpected argument 'stray': each value follows its switch, and a value with blanks "
         "goes in quotes."},
        {init_with({"-w"}), "Switch '-w' needs a value: -w <where_clause>."},
        {init_with({"-trc"}), "Switch '-trc' needs a value: -trc <file,level>."},
        {init_with({"-s", "a", "-s", "a"}), "Switch '-s' is given twice."},
        {{"-o", "init", "-l", "wells"},
         "Switch '-l' needs a table and its geometry column, as in -l roads,geom; 'wells' names "
         "no column."},
        {{"-o", "init", "-l", ",,roads,"},
         "Switch '-l' needs a table and its geometry column, as in -l roads,geom; ',,roads,' "
         "names only one."},
        {init_with({"-trc", "trace.txt"}),
         "Switch '-trc' needs a trace file and a level, as in -trc trace.txt,2; not 'trace.txt'."},
        {init_with({"-trc", std::string(300, 'f') + "," + std::string(181, '1')}),
         "The trace file and level of switch '-trc' are longer than 480 characters together."},
        {{"-o", "init", "-f", "out/"}, names_directory("out/", "out/roads")},
        {{"-o", "init", "-f", "."}, names_directory(".", "./roads")},
        {{"-o", "init", "-f", "out/.SHP"}, names_directory("out/", "out/roads")},
        {{"-o", "init", "-f", ".shp"},
         "Switch '-f' needs the base name of the files, as in -f roads."},
        {{"-t", "point3", "-o", "INIT"}, bad_shape_type("point3")},
        {{"-l", "roads,geom", "-f", "out", "-D", "gis"},
         "Switch '-o' is missing: give -o init or -o append to unload, or -L to list the spatial "
         "columns."},
        {{"-o", "inti", "-l", "a,b"},
         "Invalid value for command line switch '-o'. 'inti' is no operation; give init or "
         "append."},
        {{"-o", "init", "-l", "roads,geom"}, "Switches '-f', '-D' are missing: -o " + pairs},
        {{"-o", "append", "-l", "r,g", "-D", "gis"},
         "Switch '-f' is missing: -o append" + pairs.substr(4)},
        {{"-o", "append", "-l", "r,g", "-f", "o", "-D", "d", "-t", "1"},
         "Switch '-t' goes only with -o init: an append keeps the shape type of its set."},
        {init_with({"-t", "31", "-u", "scott"}), goes_only_with("-u", "-p")},
        {init_with({"-p", "tiger"}), goes_only_with("-p", "-u")},
        {init_with({"-p", std::string(256, 'p')}),
         "The value of switch '-p' is longer than 255 bytes."},
        {init_with({"-t", "2"}), bad_shape_type("2")},
        {init_with({"-t", "0"}), bad_shape_type("0")},
        {init_with({"-t", "nullz"}), bad_shape_type("nullz")},
        {init_with({"-t", "null"}), bad_shape_type("null")},
        {{"-L", "-D", "gis", "-l", "a,b"},
         "Switch '-l' does not go with -L, which lists the spatial columns and unloads nothing."},
        {{"-L", "-s", "/data"},
         "Switch '-D' is missing: -L lists the spatial columns of a database."},
    };
    for (const auto& [args, reason] : refused) {
        EndResult result = parse(args);
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_EQ(result.status, 1) << shown;
        EXPECT_EQ(result.err, "\n" + reason + kUsageTail) << shown;
        EXPECT_EQ(result.out, "") << shown;
    }
}

TEST(CommandLine, AcceptedSettings) {
    RunSettings s;
    EndResult result = parse({"-log",         "-o",   "init",       "-l", ",Roads,Geom,extra", "-f",
                              "Data/out.SHP", "-D",   "Gis/MyDb",   "-s", "/Srv/Dir",          "-u",
                              "Scott",        "-p",   "Tiger",      "-t", "PolygonZ",          "-w",
                              "-x > 1",       "-trc", "trace.txt,2"},
                             s);
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(s.operation, Operation::kInit);
    EXPECT_STREQ(s.table_name, "roads");
    EXPECT_STREQ(s.column_name, "geom");
    EXPECT_STREQ(s.base_name, "Data/out");
    EXPECT_STREQ(s.database, "Gis/mydb");
    EXPECT_STREQ(s.server, "/Srv/Dir");
    EXPECT_STREQ(s.user, "Scott");
    EXPECT_STREQ(s.password, "Tiger");
    EXPECT_EQ(s.requested_shape_type, 15);
    EXPECT_STREQ(s.where_clause, "-x > 1");
    EXPECT_TRUE(s.log_given);
    EXPECT_EQ(s.log_directory, nullptr);
    EXPECT_STREQ(s.trace_file, "trace.txt");
    EXPECT_STREQ(s.trace_level, "2");

    RunSettings t;
    ASSERT_FALSE(parse(init_with({"-log", "logs", "-t", "+9"}), t).ended);
    EXPECT_STREQ(t.log_directory, "logs");
    EXPECT_EQ(t.requested_shape_type, 9);
    RunSettings u;
    ASSERT_FALSE(parse(init_with({"-log"}), u).ended);
    EXPECT_TRUE(u.log_given);
    EXPECT_EQ(u.log_directory, nullptr);
    RunSettings listing;
    ASSERT_FALSE(parse({"-L", "-D", "gis", "-s", "/data", "-u", "a", "-p", "b"}, listing).ended);
    EXPECT_TRUE(listing.list_given);
    EXPECT_FALSE(listing.operation_given);
}

// Only the database's own name is matched ignoring case: a directory part
// keeps its capitals, and a name in double quotes its own.
TEST(CommandLine, DatabaseNameKeepsTheCaseOfItsDirectory) {
    const std::pair<const char*, const char*> cases[] = {
        {"MyDb", "mydb"},
        {"Data/Roads", "Data/roads"},
        {"/Srv/GIS/NaturalEarth.GPKG", "/Srv/GIS/naturalearth.gpkg"},
        {"\"MyDb\"", "MyDb"},
        {"Data/\"MyDb\"", "Data/MyDb"},
        {"\"Data/MyDb\"", "Data/MyDb"},
        {"\"", "\""},
    };
    for (const auto& [given, database] : cases) {
        RunSettings s;
        ASSERT_FALSE(parse({"-L", "-D", given}, s).ended) << given;
        EXPECT_STREQ(s.database, database) << given;
    }
}

// -l: a schema before the table, double quotes keeping case (and commas and
// dots inside), the summary giving the names back as written.
TEST(CommandLine, TableSwitchNames) {
    struct Case {
        const char* value;
        const char* schema;  // null: none
        const char* table;
        const char* column;
        bool quoted[3];  // schema, table, column
        const char* summary;
    };
    const Case cases[] = {
        {"Other.Depots,Geom",
         "other",
         "depots",
         "geom",
         {false, false, false},
         "other.depots,geom"},
        {"\"MixedCase\",geom",
         nullptr,
         "MixedCase",
         "geom",
         {false, true, false},
         "\"MixedCase\",geom"},
        {"\"My.Schema\".\"a,\"\"b\",\"G\"",
         "My.Schema",
         "a,\"b",
         "G",
         {true, true, true},
         "\"My.Schema\".\"a,\"\"b\",\"G\""},
        {",,t,c.d,extra", nullptr, "t", "c.d", {false, false, false}, "t,c.d"},
    };
    for (const Case& c : cases) {
        RunSettings s;
        EndResult result = parse({"-o", "init", "-l", c.value, "-f", "x", "-D", "d"}, s);
        ASSERT_FALSE(result.ended) << c.value << result.err;
        EXPECT_EQ(s.schema_name == nullptr, c.schema == nullptr) << c.value;
        if (c.schema != nullptr && s.schema_name != nullptr) {
            EXPECT_STREQ(s.schema_name, c.schema);
        }
        EXPECT_STREQ(s.table_name, c.table);
        EXPECT_STREQ(s.column_name, c.column);
        EXPECT_EQ(s.schema_quoted, c.quoted[0]) << c.value;
        EXPECT_EQ(s.table_quoted, c.quoted[1]) << c.value;
        EXPECT_EQ(s.column_quoted, c.quoted[2]) << c.value;
        char buffer[256];
        command_line_summary(s, buffer, sizeof buffer);
        EXPECT_NE(std::string(buffer).find(std::string("-l ") + c.summary + "\n"),
                  std::string::npos)
            << buffer;
    }
    for (const char* bad : {"\"open,geom", "\"a\"b,geom", "a.b.c,geom", ".t,geom", "s.,geom",
                            "t,\"\"", "ta\"b,geom"}) {
        EXPECT_EQ(parse({"-o", "init", "-l", bad, "-f", "x", "-D", "d"}).err,
                  "\nInvalid value for command line switch '-l': '" + std::string(bad) +
                      "' has an empty name, a double quote left open, or more than a schema "
                      "before the table." +
                      kUsageTail)
            << bad;
    }
    // A comma inside quotes separates nothing.
    EXPECT_EQ(parse({"-o", "init", "-l", "\"a,b\"", "-f", "x", "-D", "d"}).err,
              "\nSwitch '-l' needs a table and its geometry column, as in -l roads,geom; "
              "'\"a,b\"' names only one." +
                  kUsageTail);
}

TEST(CommandLine, BaseNameLosesAShpSuffixInAnyCase) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"roads.shp", "roads"}, {"roads", "roads"}, {"roads.SHP", "roads"},
        {"r.Shp", "r"},         {"shp", "shp"},     {"a.shp.shp", "a.shp"}};
    for (const auto& [given, base] : cases) {
        RunSettings s;
        ASSERT_FALSE(parse({"-o", "init", "-l", "a,b", "-f", given, "-D", "d"}, s).ended);
        EXPECT_EQ(std::string(s.base_name), base) << given;
    }
}

// No other process may read the password off the command line: its
// argument is overwritten as soon as it is taken.
TEST(CommandLine, PasswordArgumentIsOverwritten) {
    Arguments& arguments = keep(init_with({"-u", "scott", "-p", "tiger"}));
    RunSettings s;
    ASSERT_FALSE(run_capturing_end([&] {
                     parse_command_line(arguments.argc(), arguments.argv(), s);
                 }).ended);
    EXPECT_STREQ(s.password, "tiger");
    EXPECT_EQ(arguments.texts.back(), std::string(5, '\0'));
}

TEST(CommandLine, VersionAndHelpOnStdout) {
    for (const char* version : {"-V", "--version"}) {
        EndResult result = parse({version});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out.rfind("\nSpatial Kestrum Module spoolmap utility, version ", 0), 0u);
        EXPECT_NE(result.out.find("\n\nBuilt "), std::string::npos);
        EXPECT_NE(result.out.find(" with "), std::string::npos);
    }
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-o", "init", "--help"}}) {
        EndResult result = parse(args);
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out, std::string("\n") + kUsageText +
                                  "\n\nShape types for -t, by number or name: " + kShapeTypes +
                                  ".\n\nEvery switch, the files written and what an append "
                                  "checks: man spoolmap\n");
    }
}

std::string summary_of(std::vector<std::string> args) {
    RunSettings s;
    Arguments& arguments = keep(std::move(args));
    parse_command_line(arguments.argc(), arguments.argv(), s);
    char buffer[32768];
    command_line_summary(s, buffer, sizeof buffer);
    return buffer;
}

TEST(CommandLineSummary, FixedOrderAndFormats) {
    EXPECT_EQ(summary_of({"-o", "init", "-l", "Roads,Geom", "-f", "out.shp", "-D", "Gis", "-log"}),
              "        -o init\n        -l roads,geom\n        -f out\n        -D gis\n      -log");
    EXPECT_EQ(
        summary_of(
            {"-trc", "t.txt,2", "-log", "logs", "-w", "a > 1", "-t", "5", "-p", "secretpassword",
             "-u",   "me",      "-s",   "srv",  "-D", "db",    "-f", "x", "-l", "t,c",
             "-o",   "init"}),
        "        -o init\n        -l t,c\n        -f x\n        -D db\n        -s srv\n"
        "        -u me\n        -p ********\n        -t 5\n        -w a > 1\n"
        "      -log logs\n      -trc t.txt,2");
}

TEST(TextFunctions, FilePartAndCase) {
    EXPECT_STREQ(file_part("data\\roads"), "roads");
    EXPECT_STREQ(file_part("C:roads"), "roads");
    EXPECT_STREQ(file_part("C:\\data/x/roads"), "roads");
    EXPECT_STREQ(file_part("/tmp/out/"), "");
    EXPECT_STREQ(file_part("r"), "r");
    EXPECT_STREQ(file_part(""), "");
    EXPECT_STREQ(file_part("a:"), "");
    char mixed[] = "MiXeD_1\xc3\x84z";
    EXPECT_STREQ(to_upper_in_place(mixed), "MIXED_1\xc3\x84Z");
    EXPECT_STREQ(to_lower_in_place(mixed), "mixed_1\xc3\x84z");
}

}  // namespace
