#include "disk/read_ahead.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace delvora {

bool ReadAhead::Retire(Transport& transport, Piece& piece, TimePoint deadline) {
    if (piece.id <= 0) return true;
    const PieceState state = transport.Wait(piece.id, deadline);
    if (state == PieceState::Lost) return false;
    piece.id = 0;
    piece.failed = state == PieceState::Failed;
    return true;
}

bool ReadAhead::Drain(Transport& transport, TimePoint deadline) {
    // Bounded by the ring's size.
    for (uint32_t i = 0; i < m_nUsed; ++i)
        if (!Retire(transport, At(i), deadline)) return false;
    m_nUsed = 0;
    return true;
}

void ReadAhead::Fill(Transport& transport, uint64_t wantedEnd) {
    // Pieces half the run long (at least kStartAfter): few requests for a
    // long run, little fetched past the end of a short one.
    const uint64_t pieceBytes = std::clamp<uint64_t>(m_nRun / 2, kStartAfter, kPieceBytes);
    wantedEnd = std::min(wantedEnd, m_nDeviceBytes);
    // At most one start per free place in the ring.
    while (m_nUsed < kPieces && m_nFillAt < wantedEnd) {
        Piece& piece = At(m_nUsed);
        // Without memory the window just stays shorter.
        if (!piece.bytes) piece.bytes.reset(new (std::nothrow) uint8_t[kPieceBytes]);
        if (!piece.bytes) return;
        piece.offset = m_nFillAt;
        piece.length = static_cast<uint32_t>(std::min<uint64_t>(pieceBytes, m_nDeviceBytes - m_nFillAt));
        piece.failed = false;
        piece.id = transport.Start(piece.bytes.get(), piece.length, piece.offset);
        if (piece.id <= 0) {
            piece.id = 0;
            return;
        }
        ++m_nUsed;
        m_nFillAt += piece.length;
    }
}

ReadAhead::Result ReadAhead::Read(Transport& transport, uint64_t offset, uint32_t count, uint8_t* out,
                                  TimePoint deadline) {
    // Outside the device: the direct read refuses it.
    if (offset > m_nDeviceBytes || count > m_nDeviceBytes - offset) return Result::NotHeld;
    const uint64_t end = offset + count;
    m_nRun = offset == m_nNext ? std::min(m_nRun + count, kWindowBytes) : count;
    m_nNext = end;
    if (count == 0 || count > kPieceBytes || offset < m_nQuietUntil) return Result::NotHeld;
    const bool inWindow = m_nUsed > 0 && offset >= At(0).offset && offset < At(m_nUsed - 1).End();
    if (!inWindow) {
        if (m_nRun < kStartAfter) return Result::NotHeld;
        // Going forward outside the window: it moves here, once the pieces
        // still on their way have landed.
        if (!Drain(transport, deadline)) return Result::Lost;
        m_nFillAt = offset;
    }
    // The reader has passed these: their buffers fetch further on. Bounded
    // by the pieces in the window.
    while (m_nUsed > 0 && At(0).End() <= offset) {
        if (!Retire(transport, At(0), deadline)) return Result::Lost;
        m_nFirst = (m_nFirst + 1) % kPieces;
        --m_nUsed;
    }
    Fill(transport, end + m_nRun);

    // The pieces are contiguous; a read may span several small ones.
    uint64_t at = offset;
    for (uint32_t i = 0; i < m_nUsed && at < end; ++i) {
        Piece& piece = At(i);
        if (piece.End() <= at) continue;
        if (piece.offset > at) break;
        if (!Retire(transport, piece, deadline)) return Result::Lost;
        if (piece.failed) {
            // A direct read tells which sectors fail; the window opens again
            // past this piece.
            m_nQuietUntil = piece.End();
            return Drain(transport, deadline) ? Result::NotHeld : Result::Lost;
        }
        const uint64_t upTo = std::min(end, piece.End());
        std::memcpy(out + (at - offset), piece.bytes.get() + (at - piece.offset), upTo - at);
        at = upTo;
    }
    return at == end ? Result::Served : Result::NotHeld;
}

void ReadAhead::Reset(uint64_t deviceBytes) {
    for (Piece& piece : m_pieces) piece = Piece{};
    m_nDeviceBytes = deviceBytes;
    m_nFirst = m_nUsed = 0;
    m_nFillAt = m_nNext = m_nRun = m_nQuietUntil = 0;
}

}  // namespace delvora
