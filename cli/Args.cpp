#include "cli/Args.h"

#include <algorithm>
#include <cctype>

namespace cli {

namespace {

constexpr const char* MapWords[] = {"floating", "water", "standard", "underwater"};

Result Usage(const CommandSyntax& syntax, const std::string& problem) {
    return Fail(Fault::Usage,
                problem + " (usage: atlasforge-cli " + syntax.name + " " + syntax.usage + ")");
}

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
        } else if (word == "--palette" && syntax.palette) {
            if (i + 1 >= words.size()) {
                return Usage(syntax, "--palette needs a file");
            }
            out.palette = words[++i];
        } else if (word.rfind("--palette=", 0) == 0 && syntax.palette) {
            out.palette = word.substr(10);
        } else if (word == "--import" && syntax.import) {
            if (i + 1 >= words.size()) {
                return Usage(syntax, "--import needs a file");
            }
            out.import = words[++i];
        } else if (word.rfind("--import=", 0) == 0 && syntax.import) {
            out.import = word.substr(9);
        } else {
            return Usage(syntax, "unknown option " + formats::Clip(word));
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
