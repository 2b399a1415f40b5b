// sga grep: a regular expression over the decoded bytes of every entry.
#include "cli/Commands.h"
#include "cli/Grep.h"
#include "cli/Scripting.h"

#include "archive/PathPattern.h"
#include "core/ActivityLog.h"
#include "core/Cp1252.h"
#include "core/TerminalText.h"
#include "extract/EntryFeed.h"
#include "preview/TextEntry.h"
#include "preview/Ucs.h"

#include <cstdio>
#include <iostream>

namespace sga::cli {
namespace {

enum GrepExit : int { kMatched = 0, kNoMatch = 1, kTrouble = 2 };

struct EntryResult {
    std::string output;
    std::string error;
    bool matched = false;
};

// One entry searched: .ucs decoded from UTF-16 on the way.
EntryResult searchEntry(EntryFeed& feed, const ArchiveModel& model, const ArchiveFile& file,
                        const GrepPattern& pattern, const GrepOptions& options, const std::string& prefix) {
    EntrySearch search(pattern, options, prefix);
    const bool ucs = textKindOf(file.path()) == TextKind::Ucs;
    Utf16leDecoder decoder;
    bool first = true, utf16 = false;
    std::string decoded;
    NullLog log;
    const Status status = feed.feed(model, file, log, [&](const uint8_t* data, size_t size) {
        if (first) {
            utf16 = ucs && looksLikeUtf16le(data, size);
            first = false;
        }
        if (!utf16) return search.feed(reinterpret_cast<const char*>(data), size);
        decoded.clear();
        decoder.feed(data, size, decoded);
        return search.feed(decoded.data(), decoded.size());
    });
    EntryResult result;
    if (!status) {
        result.error = status.message();
        return result;
    }
    if (utf16) {
        decoded.clear();
        decoder.finish(decoded);
        search.feed(decoded.data(), decoded.size());
    }
    search.finish();
    result.output = search.output();
    result.matched = search.matchingLines() > 0;
    return result;
}

// The selected files of one archive, in listing order; --glob patterns
// that select nothing here are no error.
std::vector<size_t> globbed(const ArchiveModel& model, const std::vector<std::string>& globs) {
    SelectionOptions selection{globs, {}};
    auto files = selectFiles(model, selection);
    return files ? std::move(*files) : std::vector<size_t>{};
}

} // namespace

void addGrepCommand(CLI::App& app, Context& context) {
    struct Options {
        std::string pattern;
        std::vector<std::string> archives;
        GrepOptions grep;
        std::vector<std::string> globs;
        int jobs = defaultJobs();
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand(
        "grep", "Search the decoded bytes of every entry (.ucs as UTF-8) for a regular expression (RE2)");
    sub->add_option("PATTERN", options->pattern, "Regular expression (RE2 syntax, linear time)")->required();
    sub->add_option("ARCHIVE", options->archives, "Archives to search")->required();
    sub->add_flag("-i,--ignore-case", options->grep.ignoreCase, "Ignore letter case");
    sub->add_flag("-F,--fixed-strings", options->grep.fixed, "PATTERN is a plain string, not an expression");
    sub->add_flag("-w,--word-regexp", options->grep.words,
                  "Match only between non-word characters (or a line's start and end)");
    auto* paths = sub->add_flag("-l,--files-with-matches", options->grep.pathsOnly, "Print only the paths of entries that match");
    sub->add_flag("-c,--count", options->grep.counts, "Print PATH:COUNT of matching lines for each entry that matches")
        ->excludes(paths);
    sub->add_option("--glob", options->globs, "Search only entries matching PATTERN (repeatable; list's pattern rules)")
        ->type_name("PATTERN")
        ->allow_extra_args(false);
    sub->add_option("-j,--jobs", options->jobs, "Entries searched in parallel (default: the machine's cores)")
        ->check(CLI::Range(1, 64));
    sub->callback([options, &context] {
        auto compiled = GrepPattern::compile(options->pattern, options->grep);
        if (!compiled) {
            std::cerr << "sga: " << compiled.message() << "\n";
            context.exitCode = kTrouble;
            return;
        }
        const GrepPattern& pattern = **compiled;
        bool matched = false, trouble = false;
        const bool several = options->archives.size() > 1;
        for (const std::string& archivePath : options->archives) {
            NullLog log;
            auto loaded = loadArchive(archivePath, log);
            if (!loaded) {
                trouble = true;
                continue;
            }
            const ArchiveModel& model = loaded->model;
            const std::vector<size_t> files = globbed(model, options->globs);
            const int jobs = std::max(1, options->jobs);
            std::vector<EntryFeed> feeds(static_cast<size_t>(jobs));
            bool opened = true;
            for (EntryFeed& f : feeds) {
                const Status s = f.open(archivePath);
                if (!s) {
                    std::cerr << "sga: " << s.message() << "\n";
                    opened = false;
                    break;
                }
            }
            if (!opened) {
                trouble = true;
                continue;
            }
            std::vector<EntryResult> results(files.size());
            auto fileAt = [&](int k) -> const ArchiveFile& { return model.files[files[static_cast<size_t>(k)]]; };
            auto prefixOf = [&](const ArchiveFile& f) {
                const std::string path = printable(modelTextToUtf8(model, f.path()));
                return several ? printable(archivePath) + ":" + path : path;
            };
            // At most 256 MiB of entries in flight; the next entry always starts.
            OrderedPipeline(jobs, jobs * 64, uint64_t{256} << 20,
                            [&](int k) { return static_cast<uint64_t>(std::max<int64_t>(0, fileAt(k).size)); })
                .run(
                    static_cast<int>(files.size()),
                    [&](int worker, int k) {
                        const ArchiveFile& f = fileAt(k);
                        results[static_cast<size_t>(k)] =
                            searchEntry(feeds[static_cast<size_t>(worker)], model, f, pattern, options->grep, prefixOf(f));
                    },
                    [](int) { return true; },
                    [&](int k) {
                        EntryResult& r = results[static_cast<size_t>(k)];
                        std::fwrite(r.output.data(), 1, r.output.size(), stdout);
                        if (!r.error.empty()) {
                            std::fflush(stdout);
                            std::cerr << "sga: " << printable(archivePath) << ": " << r.error << "\n";
                            trouble = true;
                        }
                        matched = matched || r.matched;
                        r = EntryResult{};
                    });
        }
        std::fflush(stdout);
        context.exitCode = trouble ? kTrouble : matched ? kMatched : kNoMatch;
    });
}

} // namespace sga::cli
