// Fuzz target for the command-line parser: the input split at zero bytes
// into the arguments after the program's name. A command line is refused
// through the exit function (replaced here, so a clean refusal is no crash)
// or parsed into settings whose summary and file names can be made (or, for
// the listing, that name a database and no operation); the
// parser, which changes the arguments in place, never reads or writes past
// them.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "run/command_line.h"
#include "run/run_files.h"

// More arguments than any command line of spoolmap takes.
static constexpr size_t kMaxArguments = 40;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::string> arguments = {"spoolmap"};
    std::string current;
    for (size_t i = 0; i < size && arguments.size() < kMaxArguments; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty() && arguments.size() < kMaxArguments) {
        arguments.push_back(current);
    }
    // Each argument in its own allocation, so that AddressSanitizer sees a
    // write past one.
    std::vector<std::vector<char>> storage;
    std::vector<char*> argv;
    for (const std::string& argument : arguments) {
        storage.emplace_back(argument.begin(), argument.end());
        storage.back().push_back('\0');
    }
    for (std::vector<char>& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    run_to_refusal([&] {
        static RunSettings settings;
        settings = RunSettings{};
        parse_command_line(static_cast<int>(argv.size() - 1), argv.data(), settings);
        if (settings.list_given) {
            if (settings.database == nullptr || settings.operation_given) {
                __builtin_trap();
            }
            return;
        }
        if (settings.operation == Operation::kUnknown || settings.table_name == nullptr ||
            settings.column_name == nullptr || settings.base_name == nullptr ||
            settings.database == nullptr || settings.user_given != settings.password_given) {
            __builtin_trap();
        }
        static char summary[32768];
        command_line_summary(settings, summary, sizeof summary);
        static FileSet files;
        files = FileSet{};
        name_files(settings, files);
    });
    return 0;
}
