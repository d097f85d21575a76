#pragma once
// Reads fetched ahead over a connection that has several requests in
// flight at once (NBD). A reader that goes forward in small steps (a file
// copied 64 KiB at a time) would wait one network round trip per step;
// once it has gone forward far enough, the window keeps the next pieces on
// their way and serves its steps from them. The window reaches as far ahead
// as the run read forward is long (up to its full size), so that a short
// run (one group's inode table, then a jump elsewhere) does not pull
// megabytes it never uses.
#include <array>
#include <chrono>
#include <cstdint>
#include <memory>

namespace delvora {

class ReadAhead {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    enum class PieceState { Done, Failed, Lost };

    /// The connection's asynchronous reads.
    class Transport {
    public:
        virtual ~Transport() = default;
        /// Starts reading length bytes at offset into buffer, which must stay
        /// untouched until Wait answers; answers the request's id (> 0), or 0
        /// when it cannot start.
        virtual int64_t Start(uint8_t* buffer, uint32_t length, uint64_t offset) = 0;
        /// Waits for the request until the deadline. Done and Failed (the
        /// server refused it) retire it; Lost means the connection timed out or
        /// died, and then requests may still be writing: only closing the
        /// connection stops them.
        virtual PieceState Wait(int64_t id, TimePoint deadline) = 0;
        /// Without waiting: true, with its state, when the request has
        /// finished (it is then retired, not to be waited for); false while
        /// it is on its way or when the transport cannot tell.
        virtual bool Landed(int64_t id, PieceState& state) {
            (void)id;
            (void)state;
            return false;
        }
    };

    enum class Result {
        Served,   // the bytes are in the caller's buffer
        NotHeld,  // read them directly (not going forward, or a piece failed)
        Lost,     // the connection is lost: close it, then Reset
    };

    static constexpr uint32_t kPieceBytes = 1u << 20;
    static constexpr uint32_t kPieces = 4;
    /// Bytes read forward in a row before the window opens, so that scattered
    /// small reads (a folder tree's clusters) do not pull megabytes each.
    static constexpr uint64_t kStartAfter = 128u << 10;
    static constexpr uint64_t kWindowBytes = uint64_t{kPieces} * kPieceBytes;

    /// Serves [offset, offset + count) (inside the device) when the reads go
    /// forward; every wait ends by the deadline.
    Result Read(Transport& transport, uint64_t offset, uint32_t count, uint8_t* out, TimePoint deadline);
    /// Waits, until the deadline, for the pieces still on their way; false
    /// when the connection was lost meanwhile. Before a connection is closed
    /// on purpose, so that the server is not left replying to a closed socket.
    bool Drain(Transport& transport, TimePoint deadline);
    /// Forgets every piece and takes the size of the device now read. Only
    /// while no piece is in flight (the connection closed or not yet used):
    /// a piece in flight writes into a buffer held here.
    void Reset(uint64_t deviceBytes);
    /// True once the reads have gone forward far enough to open the window.
    bool Streaming() const { return m_nRun >= kStartAfter; }

    /// Bytes asked of the connection ahead of the reader: the read-ahead's
    /// pieces and the prefetch cache's ranges alike.
    struct Piece {
        std::unique_ptr<uint8_t[]> bytes;
        uint64_t offset = 0;
        uint32_t length = 0;
        int64_t id = 0;  // > 0 while in flight
        bool failed = false;
        uint64_t End() const { return offset + length; }
    };

private:

    Piece& At(uint32_t i) { return m_pieces[(m_nFirst + i) % kPieces]; }
    bool Retire(Transport& transport, Piece& piece, TimePoint deadline);
    /// Starts pieces until the window reaches wantedEnd or the ring is full.
    void Fill(Transport& transport, uint64_t wantedEnd);

    uint64_t m_nDeviceBytes = 0;
    std::array<Piece, kPieces> m_pieces;  // a ring; buffers allocated when first used
    uint32_t m_nFirst = 0;        // the piece with the lowest offset
    uint32_t m_nUsed = 0;         // pieces in the window, in offset order from m_nFirst
    uint64_t m_nFillAt = 0;       // where the next piece starts
    uint64_t m_nNext = 0;         // where a read going forward starts
    uint64_t m_nRun = 0;          // bytes read forward in a row (at most kWindowBytes)
    uint64_t m_nQuietUntil = 0;   // up to here a piece failed: read directly
};

}  // namespace delvora
