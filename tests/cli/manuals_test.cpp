// Every option a --help prints is in that command's part of the manual, of the manual page and
// of the bash completion, so an option added to the program cannot go undocumented.
#include "cli_process.h"

#include <gtest/gtest.h>
#include <regex>
#include <set>

namespace orvane::test {
namespace {

const std::filesystem::path sources = ORVANE_SOURCE_DIR;

// The subcommands a --help lists.
std::vector<std::string> subcommandsOf(const std::string& help) {
    std::vector<std::string> names;
    bool listed = false;
    const std::regex name("^  ([a-z]+) ");
    for (const std::string& line : linesOf(help)) {
        std::smatch match;
        if (line == "Subcommands:")
            listed = true;
        else if (listed && line.empty())
            break;
        else if (listed && std::regex_search(line, match, name))
            names.push_back(match[1]);
    }
    return names;
}

// The long option each option line of a --help begins with ("  -o,--output TEXT ...").
std::set<std::string> optionsOf(const std::string& help) {
    std::set<std::string> options;
    const std::regex option("^  (?:-[a-z],)?(--[a-z0-9-]+)");
    for (const std::string& line : linesOf(help)) {
        std::smatch match;
        if (std::regex_search(line, match, option) && match[1] != "--help")
            options.insert(match[1]);
    }
    return options;
}

// Every stretch of lines from one that matches start up to the next one that matches end.
std::string partsOf(const std::string& text, const std::string& start, const std::string& end) {
    const std::regex first(start);
    const std::regex next(end);
    std::string parts;
    bool inside = false;
    for (const std::string& line : linesOf(text)) {
        if (std::regex_search(line, first))
            inside = true;
        else if (inside && std::regex_search(line, next))
            inside = false;
        if (inside)
            parts += line + '\n';
    }
    return parts;
}

// The options the completion offers after the command.
std::string completionOf(const std::string& script, const std::string& command) {
    std::smatch match;
    const std::regex offered("\\n\\s+" + command + "\\)\\s*options=\"([^\"]*)\"");
    return std::regex_search(script, match, offered) ? match[1].str() : "";
}

bool mentions(const std::string& text, const std::string& option) {
    return std::regex_search(text, std::regex(option + "(?![a-z0-9-])"));
}

TEST(CliManuals, EveryOptionOfEveryHelpIsDocumented) {
    const std::string manual = readFile(sources / "docs/command-line.md");
    const std::string page =
        std::regex_replace(readFile(sources / "packaging/orvane-cli.1.in"), std::regex("\\\\-"), "-");
    const std::string completion = readFile(sources / "packaging/orvane-cli.bash-completion");
    const std::vector<std::string> commands = subcommandsOf(runCli({"--help"}).out);
    ASSERT_GE(commands.size(), 10U);
    for (const std::string& command : commands) {
        const CliResult help = runCli({command, "--help"});
        ASSERT_EQ(help.exitCode, 0) << command << ": " << help.err;
        std::set<std::string> options = optionsOf(help.out);
        // A command of commands (job release, job list ...): theirs are its own.
        for (const std::string& sub : subcommandsOf(help.out)) {
            options.merge(optionsOf(runCli({command, sub, "--help"}).out));
        }
        EXPECT_FALSE(options.empty()) << command;
        const std::pair<std::string, std::string> places[] = {
            {"docs/command-line.md", partsOf(manual, "^## `" + command + "`", "^## ")},
            {"packaging/orvane-cli.1.in", partsOf(page, "^\\.SS \"" + command + "[ \"]", "^\\.S[SH] ")},
            {"packaging/orvane-cli.bash-completion", completionOf(completion, command)},
        };
        for (const auto& [file, part] : places) {
            EXPECT_FALSE(part.empty()) << file << " has no part for " << command;
            for (const std::string& option : options)
                EXPECT_TRUE(mentions(part, option)) << file << " lacks " << command << " " << option;
        }
    }
}

} // namespace
} // namespace orvane::test
