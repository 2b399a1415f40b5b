// sga diff: two archives, or an archive and a folder, compared entry by
// entry by their decoded bytes.
#include "cli/Commands.h"
#include "cli/ContentDiff.h"
#include "cli/DiffSides.h"
#include "cli/Scripting.h"

#include "archive/PathPattern.h"
#include "core/Cp1252.h"
#include "core/TerminalText.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace sga::cli {
namespace {

enum DiffExit : int { kSame = 0, kDiffers = 1, kTrouble = 2 };

struct Pair {
    const SideEntry* old = nullptr;
    const SideEntry* now = nullptr;
    char status = '?';   // 'A', 'D', 'M', '=' or '?' (the bytes decide)
};

// Entries of both sides matched by folded path; sorted by it.
std::vector<Pair> pairUp(const DiffSide& oldSide, const DiffSide& newSide) {
    auto sorted = [](const DiffSide& side) {
        std::vector<const SideEntry*> out;
        for (const SideEntry& e : side.entries()) out.push_back(&e);
        std::stable_sort(out.begin(), out.end(), [](const SideEntry* a, const SideEntry* b) { return a->key < b->key; });
        return out;
    };
    const auto a = sorted(oldSide), b = sorted(newSide);
    std::vector<Pair> pairs;
    size_t i = 0, j = 0;
    while (i < a.size() || j < b.size()) {
        if (j == b.size() || (i < a.size() && a[i]->key < b[j]->key)) {
            pairs.push_back({a[i++], nullptr, 'D'});
        } else if (i == a.size() || b[j]->key < a[i]->key) {
            pairs.push_back({nullptr, b[j++], 'A'});
        } else {
            Pair p{a[i++], b[j++], '?'};
            if (p.old->size != p.now->size) p.status = 'M';
            else if (p.old->crc && p.now->crc) p.status = *p.old->crc == *p.now->crc ? '=' : 'M';
            pairs.push_back(p);
        }
    }
    return pairs;
}

using Digest = std::array<uint8_t, 32>;

// SHA-256 of an entry too large to hold whole.
Status digestOf(DiffSide::Reader& reader, const SideEntry& entry, Digest& digest) {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    if (!context || EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context);
        return Status::error(ErrorCode::NoMemory, "cannot start a SHA-256");
    }
    Status status = reader.feed(entry, [&](const uint8_t* data, size_t size) {
        return EVP_DigestUpdate(context, data, size) == 1;
    });
    unsigned int length = 0;
    if (status) EVP_DigestFinal_ex(context, digest.data(), &length);
    EVP_MD_CTX_free(context);
    return status;
}

struct PairResult {
    std::string content;   // --content lines
    std::string error;
};

struct Readers {
    std::unique_ptr<DiffSide::Reader> old, now;
};

// Settles a pair's status from the bytes where size and CRC-32 could not,
// and makes its content diff when asked.
PairResult compare(Pair& pair, Readers& readers, bool content, const std::string& oldLabel,
                   const std::string& newLabel) {
    PairResult result;
    const ContentDiffer differ = content && pair.old && pair.now ? contentDifferFor(pair.now->path) : nullptr;
    const bool needBytes = pair.status == '?' || (pair.status == 'M' && differ);
    if (!needBytes) return result;
    auto fail = [&](const Status& s, const std::string& label) {
        result.error = printable(label) + ": " + s.message();
        pair.status = '!';
        return result;
    };
    const bool whole = pair.old->size <= inMemoryLimit() && pair.now->size <= inMemoryLimit();
    if (whole) {
        std::vector<uint8_t> a, b;
        if (Status s = readers.old->readWhole(*pair.old, a); !s) return fail(s, oldLabel);
        if (Status s = readers.now->readWhole(*pair.now, b); !s) return fail(s, newLabel);
        if (pair.status == '?') pair.status = a == b ? '=' : 'M';
        if (pair.status == 'M' && differ)
            result.content = differ({oldLabel + "/" + pair.old->path, newLabel + "/" + pair.now->path, a, b});
        return result;
    }
    if (pair.status == '?') {
        Digest a{}, b{};
        if (Status s = digestOf(*readers.old, *pair.old, a); !s) return fail(s, oldLabel);
        if (Status s = digestOf(*readers.now, *pair.now, b); !s) return fail(s, newLabel);
        pair.status = a == b ? '=' : 'M';
    }
    if (pair.status == 'M' && differ)
        std::cerr << "sga: " << printable(pair.now->path) << ": too large for a content diff\n";
    return result;
}

Json sideJson(const SideEntry* e) {
    if (!e) return nullptr;
    Json side;
    side["size"] = e->size;
    side["crc32"] = e->crc ? Json(crcHex(*e->crc)) : Json(nullptr);
    return side;
}

} // namespace

void addDiffCommand(CLI::App& app, Context& context) {
    struct Options {
        std::string oldPath, newPath;
        SelectionOptions selection;
        bool stat = false, json = false, content = false;
        int jobs = defaultJobs();
    };
    auto options = std::make_shared<Options>();
    auto* sub = app.add_subcommand("diff", "Compare two archives, or an archive and a folder, by decoded bytes: "
                                           "A, D or M, a TAB and the path, sorted by path");
    sub->add_option("OLD", options->oldPath, "Archive or folder")->required();
    sub->add_option("NEW", options->newPath, "Archive or folder")->required();
    addSelectionOptions(*sub, options->selection);
    sub->add_flag("--stat", options->stat, "End with a line: N added, N deleted, N modified, N unchanged");
    auto* json = sub->add_flag("--json", options->json,
                               "JSON Lines: status, path, old and new (size, crc32) for each difference");
    sub->add_flag("--content", options->content,
                  "Follow each M line of a text entry (.lua .ini .txt .events .ucs) with a unified diff, "
                  "and of an .rgd entry with ~ changed, + added and - removed keys")
        ->excludes(json);
    sub->add_option("-j,--jobs", options->jobs, "Entries compared in parallel (default: the machine's cores)")
        ->check(CLI::Range(1, 64));
    sub->callback([options, &context] {
        context.exitCode = kTrouble;
        std::unique_ptr<DiffSide> sides[2];
        const std::string* paths[2] = {&options->oldPath, &options->newPath};
        for (int s = 0; s < 2; ++s) {
            auto side = DiffSide::open(*paths[s]);
            if (!side) {
                std::cerr << "sga: " << cp1252ToUtf8(side.message()) << "\n";
                return;
            }
            sides[s] = std::move(*side);
        }
        if (options->selection.any()) {
            // A pattern must select something on one side or the other.
            std::vector<std::string> all;
            for (const auto& side : sides)
                for (const SideEntry& e : side->entries()) all.push_back(e.path);
            if (auto check = selectPaths(all, options->selection); !check) {
                std::cerr << "sga: " << check.message() << "\n";
                return;
            }
            for (auto& side : sides) {
                std::vector<std::string> sidePaths;
                for (const SideEntry& e : side->entries()) sidePaths.push_back(e.path);
                EntrySelection selection(options->selection.patterns, options->selection.excludes, true);
                std::vector<size_t> kept;
                for (size_t i = 0; i < sidePaths.size(); ++i)
                    if (selection.takes(sidePaths[i])) kept.push_back(i);
                side->keep(kept);
            }
        }
        std::vector<Pair> pairs = pairUp(*sides[0], *sides[1]);
        const int jobs = std::max(1, options->jobs);
        std::vector<Readers> readers(static_cast<size_t>(jobs));
        for (Readers& r : readers) {
            auto a = sides[0]->reader();
            auto b = sides[1]->reader();
            if (!a || !b) {
                std::cerr << "sga: " << (a ? b.message() : a.message()) << "\n";
                return;
            }
            r.old = std::move(*a);
            r.now = std::move(*b);
        }
        int added = 0, deleted = 0, modified = 0, unchanged = 0;
        bool trouble = false;
        std::vector<PairResult> results(pairs.size());
        auto cost = [&](int k) {
            const Pair& p = pairs[static_cast<size_t>(k)];
            return static_cast<uint64_t>(std::max<int64_t>(0, p.old ? p.old->size : 0)) +
                   static_cast<uint64_t>(std::max<int64_t>(0, p.now ? p.now->size : 0));
        };
        OrderedPipeline(jobs, jobs * 64, uint64_t{512} << 20, cost)
            .run(
                static_cast<int>(pairs.size()),
                [&](int worker, int k) {
                    results[static_cast<size_t>(k)] = compare(pairs[static_cast<size_t>(k)],
                                                              readers[static_cast<size_t>(worker)], options->content,
                                                              options->oldPath, options->newPath);
                },
                [](int) { return true; },
                [&](int k) {
                    Pair& p = pairs[static_cast<size_t>(k)];
                    PairResult& r = results[static_cast<size_t>(k)];
                    if (!r.error.empty()) {
                        std::fflush(stdout);
                        std::cerr << "sga: " << r.error << "\n";
                        trouble = true;
                        return;
                    }
                    if (p.status == '=') {
                        ++unchanged;
                        return;
                    }
                    (p.status == 'A' ? added : p.status == 'D' ? deleted : modified) += 1;
                    const std::string& path = p.now ? p.now->path : p.old->path;
                    if (options->json) {
                        Json line;
                        line["status"] = std::string(1, p.status);
                        line["path"] = jsonText(path, "path");
                        line["old"] = sideJson(p.old);
                        line["new"] = sideJson(p.now);
                        writeJsonLine(line);
                    } else {
                        std::printf("%c\t%s\n", p.status, printable(path).c_str());
                        std::fwrite(r.content.data(), 1, r.content.size(), stdout);
                    }
                    r = PairResult{};
                });
        if (options->stat) {
            if (options->json)
                writeJsonLine(Json{{"added", added}, {"deleted", deleted}, {"modified", modified}, {"unchanged", unchanged}});
            else
                std::printf("%d added, %d deleted, %d modified, %d unchanged\n", added, deleted, modified, unchanged);
        }
        std::fflush(stdout);
        context.exitCode = trouble ? kTrouble : added + deleted + modified > 0 ? kDiffers : kSame;
    });
}

} // namespace sga::cli
