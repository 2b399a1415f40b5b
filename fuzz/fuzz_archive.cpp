// The archive loader on arbitrary bytes: it either refuses the file with a
// message and leaves an empty index, or leaves an index and a tree whose
// counts, entry numbers and node links are consistent.

#include "core/ReportSink.h"
#include "archive/modSGA.h"
#include "fuzz/FuzzSupport.h"
#include "core/ActivityLog.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sga;
    const auto& path = fuzz::inputFile().write(data, size);
    ArchiveIndex index;
    ArchiveTree tree;
    NullLog log;
    ReportSink host;
    const Status status = openArchive(path, index, tree, log, host);
    if (!status) {
        FUZZ_CHECK(!status.message().empty());
        FUZZ_CHECK(index.entries.empty() && index.dirRecords.empty() && tree.size() == 0);
        return 0;
    }
    FUZZ_CHECK(index.dirCount() >= 0 && index.dirCount() <= index.totalEntries());
    FUZZ_CHECK(index.entries.size() == static_cast<size_t>(index.totalEntries()));
    FUZZ_CHECK(index.dirRecords.size() == static_cast<size_t>(index.myEngineData.numOfRecords));
    FUZZ_CHECK(index.dirRecords.size() > static_cast<size_t>(index.dirCount()));
    FUZZ_CHECK(index.nameTablePos >= 1 && index.nameTablePos <= static_cast<int64_t>(size) + 1);
    FUZZ_CHECK(tree.size() >= 1 && tree.size() <= index.entries.size() + 1);
    for (size_t i = 0; i < tree.size(); ++i) {
        const TreeNode& node = tree[i];
        FUZZ_CHECK(node.parent < static_cast<int>(i));
        FUZZ_CHECK((node.parent < 0) == (i == 0));
        for (int child : node.children) {
            FUZZ_CHECK(child > static_cast<int>(i) && static_cast<size_t>(child) < tree.size());
            FUZZ_CHECK(tree[static_cast<size_t>(child)].parent == static_cast<int>(i));
        }
        FUZZ_CHECK(tree.find(node.key) == static_cast<int>(i));
        const NodeRef ref = decodeNodeKey(node.key);
        if (ref.kind == NodeRef::Kind::File) {
            FUZZ_CHECK(index.isFileNumber(ref.entryNumber));
        }
    }
    return 0;
}
