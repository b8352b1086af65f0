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

const std::string kUsage = std::string("\n") + kUsageText + "\n";

std::string invalid(const char* sw) {
    return std::string("\nInvalid value for command line switch '") + sw + "'.\n";
}

const std::vector<std::string> kInit = {"-o", "init", "-l", "roads,geom", "-f", "out", "-D", "gis"};

std::vector<std::string> init_with(std::vector<std::string> more) {
    std::vector<std::string> args = kInit;
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(UsageText, IsByteExact) {
    const std::string expected =
        "Usage:\n\nspoolmap -o init -l <tabname,colname> -f <filename> \n"
        "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
        "          [ -t <shape_type> ] \n          [ -w <where_clause> ] \n"
        "          [ -log [ <directory> ] ] \n\n"
        "spoolmap -o append -l <tabname,colname> -f <filename> \n"
        "          -D <database> [ -s <server> ] [ -u <username> -p <password> ] \n"
        "          [ -w <where_clause> ] \n          [ -log [ <directory> ] ] \n\nspoolmap -V";
    EXPECT_EQ(kUsageText, expected);
}

TEST(CommandLine, RefusalsGiveTheUsageText) {
    const std::vector<std::vector<std::string>> refused = {
        {},
        {"-V", "-o"},
        {"-o", "init", "-V"},
        init_with({"-s", "a", "-s", "a"}),
        init_with({"-o", "init"}),
        init_with({"-w"}),
        {"-o", "init", "-l", "roads", "-f", "out", "-D", "gis"},
        {"-o", "init", "-l", "roads,", "-f", "out", "-D", "gis"},
        {"-o", "init", "-l", ",,roads", "-f", "out", "-D", "gis"},
        init_with({"-u", "scott"}),
        init_with({"-p", "tiger"}),
        {"-o", "append", "-l", "roads,geom", "-f", "out", "-D", "gis", "-t", "1"},
        {"-o", "init", "-l", "roads,geom", "-f", "out"},
        {"-o", "append", "-l", "roads,geom", "-D", "gis"},
        {"-l", "roads,geom", "-f", "out", "-D", "gis"},
        init_with({"-trc", "trace.txt"}),
        init_with({"-trc", std::string(300, 'f') + "," + std::string(181, '1')}),
        init_with({"stray"}),
        init_with({"-x", "1"}),
    };
    for (const auto& args : refused) {
        EndResult result = parse(args);
        std::string shown;
        for (const auto& a : args)
            shown += a + " ";
        EXPECT_TRUE(result.ended) << shown;
        EXPECT_EQ(result.status, 1) << shown;
        EXPECT_EQ(result.err, kUsage) << shown;
        EXPECT_EQ(result.out, "") << shown;
    }
}

TEST(CommandLine, InvalidValuesAreNamedInTheFixedOrder) {
    // -o is judged before the missing names are; -t's range only after -o and -u/-p.
    EXPECT_EQ(parse({"-o", "INIT"}).err, invalid("-o"));
    EXPECT_EQ(parse({"-o", "copy", "-l", "a,b"}).err, invalid("-o"));
    for (const char* type : {"2", "0", "31", "-1", "4"}) {
        EndResult result = parse(init_with({"-t", type}));
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, invalid("-t")) << type;
    }
    EXPECT_EQ(parse(init_with({"-t", "31", "-u", "x"})).err, kUsage);
    // A value that does not convert is refused as soon as the walk reaches it.
    for (const char* bad : {"x", " 1", "1 ", "1x", "", "99999999999", "+", "0x10"}) {
        EXPECT_EQ(parse({"-t", bad, "-o", "INIT"}).err, invalid("-t")) << bad;
    }
}

TEST(CommandLine, AcceptedSettings) {
    RunSettings s;
    EndResult result = parse({"-log",       "-o",           "init",  "-l",     ",Roads,Geom,extra",
                              "-f",         "Data/out.shp", "-D",    "MyDb",   "-s",
                              "/Srv/Dir",   "-u",           "Scott", "-p",     "Tiger",
                              "-t",         "+9",           "-w",    "-x > 1", "-trc",
                              "trace.txt,2"},
                             s);
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(s.operation, Operation::kInit);
    EXPECT_STREQ(s.table_name, "roads");
    EXPECT_STREQ(s.column_name, "geom");
    EXPECT_STREQ(s.base_name, "Data/out");
    EXPECT_STREQ(s.database, "mydb");
    EXPECT_STREQ(s.server, "/Srv/Dir");
    EXPECT_STREQ(s.user, "Scott");
    EXPECT_STREQ(s.password, "Tiger");
    EXPECT_EQ(s.requested_shape_type, 9);
    EXPECT_STREQ(s.where_clause, "-x > 1");
    EXPECT_TRUE(s.log_given);
    EXPECT_EQ(s.log_directory, nullptr);
    EXPECT_STREQ(s.trace_file, "trace.txt");
    EXPECT_STREQ(s.trace_level, "2");

    RunSettings t;
    ASSERT_FALSE(parse(init_with({"-log", "logs"}), t).ended);
    EXPECT_STREQ(t.log_directory, "logs");
    RunSettings u;
    ASSERT_FALSE(parse(init_with({"-log"}), u).ended);
    EXPECT_TRUE(u.log_given);
    EXPECT_EQ(u.log_directory, nullptr);
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
        EXPECT_EQ(parse({"-o", "init", "-l", bad, "-f", "x", "-D", "d"}).err, invalid("-l")) << bad;
    }
    EXPECT_EQ(parse({"-o", "init", "-l", "\"a,b\"", "-f", "x", "-D", "d"}).err, kUsage);
}

TEST(CommandLine, BaseNameLosesOnlyALowerCaseShpSuffix) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"roads.shp", "roads"}, {"roads", "roads"}, {"roads.SHP", "roads.SHP"},
        {".shp", ""},           {"shp", "shp"},     {"a.shp.shp", "a.shp"}};
    for (const auto& [given, base] : cases) {
        RunSettings s;
        ASSERT_FALSE(parse({"-o", "init", "-l", "a,b", "-f", given, "-D", "d"}, s).ended);
        EXPECT_EQ(std::string(s.base_name), base) << given;
    }
}

TEST(CommandLine, VersionIsTwoLinesOnStdout) {
    EndResult result = parse({"-V"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.out.rfind("\nSpatial Kestrum Module spoolmap utility, version ", 0), 0u);
    EXPECT_NE(result.out.find("\n\nBuilt "), std::string::npos);
    EXPECT_NE(result.out.find(" with "), std::string::npos);
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
