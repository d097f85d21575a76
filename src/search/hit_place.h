#pragma once
// Where a keyword hit lies in the data of the file that holds it: the file
// offset whose byte is the hit's byte on the source, for the combined view
// to scroll to and the command line to print.
#include <cstdint>
#include <vector>

namespace delvora {

class Volume;
struct FileItem;

class HitPlacer {
public:
    explicit HitPlacer(Volume& volume) : m_volume(volume) {}

    /// The offset in item's data of the source byte byteOffset, through the
    /// item's runs (holes count as the bytes they stand for; a file kept in
    /// its NTFS record where its data lies in the record). False when the
    /// byte lies outside the file's size or its runs cannot be had. The
    /// last item's runs are kept, so the hits of one file fetch them once.
    bool Find(FileItem& item, uint64_t byteOffset, uint64_t& fileOffset);

private:
    struct Piece {
        uint64_t from = 0;        // first byte on the source
        uint64_t length = 0;
        uint64_t fileOffset = 0;  // of the first byte
    };
    bool Prepare(FileItem& item);
    bool PrepareInRecord(FileItem& item, uint64_t recordFrom, uint64_t recordBytes);

    Volume& m_volume;
    FileItem* m_pItem = nullptr;
    bool m_bOk = false;
    std::vector<Piece> m_pieces;  // ordered by from
};

}  // namespace delvora
