#pragma once

// The .MB file of memo, binary and graphic values. A value that fits the field's leader lives
// in the record only; longer ones go into a sub-allocated 4K block (up to 2048 bytes) or into
// their own run of 4K blocks. Values are never changed in place: a new value gets new space
// and the old one's is freed.

#include "engines/paradox/pager.h"

#include <string>
#include <string_view>
#include <vector>

namespace korva::paradox {

class BlobStore {
public:
    BlobStore(PagedFile& mb, std::string display);

    // The value of the blob field whose record bytes start at `desc` (leader + 10 bytes).
    // `store` may be null when the table has no .MB: only leader values read then.
    static std::string read(BlobStore* store, const std::uint8_t* desc, int leader,
                            const std::string& display);
    static void write(BlobStore* store, std::uint8_t* desc, int leader, std::string_view value);
    void free(const std::uint8_t* desc, int leader);
    void prepareCommit();

    // The first 4K block of a new .MB file.
    static std::vector<std::uint8_t> newHeader();

private:
    std::string readStored(std::uint32_t offset, std::uint32_t length, const std::string& display);
    std::uint32_t allocRun(int chunks);
    void scanFree();
    bool placeInSub(std::uint32_t block, std::string_view value, int need, std::uint16_t modNr,
                    std::uint8_t* tail);
    [[noreturn]] void damaged(const std::string& why) const;

    PagedFile& mb_;
    std::string display_;
    bool scanned_ = false;
    std::vector<std::pair<int, int>> freeRuns_;  // (first block, chunks)
    int endBlock_ = 1;                           // first block past the file's blocks
    bool changed_ = false;
    std::uint32_t subHint_ = 0;                 // last sub-allocated block filled
    std::vector<std::uint32_t> subCandidates_;  // sub-allocated blocks with freed slots
};

}  // namespace korva::paradox
