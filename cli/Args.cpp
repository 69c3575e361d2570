#include "cli/Args.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace cli {

namespace {

constexpr const char* MapWords[] = {"floating", "water", "standard", "underwater"};

Result Usage(const CommandSyntax& syntax, const std::string& problem) {
    return Fail(Fault::Usage,
                problem + " (usage: atlasforge-cli " + syntax.name + " " + syntax.usage + ")");
}

// The options that take a file, as "--name FILE" or "--name=FILE".
struct FileOption {
    std::string name;
    bool CommandSyntax::*takes;
    std::optional<std::string> Args::*value;
};
const FileOption FileOptions[] = {
    {"--palette", &CommandSyntax::palette, &Args::palette},
    {"--import", &CommandSyntax::import, &Args::import},
};

} // namespace

Result ParseArgs(const CommandSyntax& syntax, const std::vector<std::string>& words, Args& out) {
    out = Args{};
    bool optionsEnded = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (optionsEnded || word.size() < 2 || word[0] != '-' ||
            std::isdigit(static_cast<unsigned char>(word[1]))) {
            out.positional.push_back(word);
        } else if (word == "--") {
            optionsEnded = true;
        } else if (word == "--help" || word == "-h") {
            out.help = true;
        } else if (word == "--dry-run" && syntax.dryRun) {
            out.dryRun = true;
        } else if (word == "--json" && syntax.json) {
            out.json = true;
        } else if (word == "--usage" && syntax.usageTable) {
            out.usage = true;
        } else if (word == "--usage" && syntax.usageTable) {
            out.usage = true;
        } else {
            const auto option = std::find_if(
                std::begin(FileOptions), std::end(FileOptions), [&](const FileOption& o) {
                    return syntax.*o.takes &&
                           (word == o.name || word.rfind(o.name + "=", 0) == 0);
                });
            if (option == std::end(FileOptions)) {
                return Usage(syntax, "unknown option " + formats::Clip(word));
            }
            if (word.size() > option->name.size()) {
                out.*option->value = word.substr(option->name.size() + 1);
            } else if (i + 1 < words.size()) {
                out.*option->value = words[++i];
            } else {
                return Usage(syntax, option->name + " needs a file");
            }
        }
    }
    if (out.help) {
        return Done();
    }
    const int count = static_cast<int>(out.positional.size());
    if (count < syntax.minPositional) {
        return Usage(syntax, "too few arguments");
    }
    if (count > syntax.maxPositional) {
        return Usage(syntax,
                     "unexpected argument " + formats::Clip(out.positional[syntax.maxPositional]));
    }
    return Done();
}

Result ParseMapId(const std::string& word, int& mapId) {
    for (int m = 0; m < 4; ++m) {
        if (word == std::to_string(m) || word == MapWords[m]) {
            mapId = m;
            return Done();
        }
    }
    return Fail(Fault::Usage, "unknown map " + formats::Clip(word) +
                                  " (use 0 to 3 or floating, water, standard, underwater)");
}

bool HasExtension(const std::string& path, const std::string& extension) {
    if (path.size() <= extension.size()) {
        return false;
    }
    return std::equal(extension.begin(), extension.end(),
                      path.end() - static_cast<long>(extension.size()), [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

} // namespace cli
