// Answers read in batches. While an answer comes in, the engine tells its link
// how many more characters it needs, so that a link able to wait for them
// (TMBLink::ExpectChars) hands them over together instead of waking the
// program once per character. What is decoded, and in which order, does not
// change; only how many characters each read brings.
#include "MBEngineImpl.h"

namespace mbcore::detail {

namespace {

// A binary answer's address, id and error code: the code says whether the
// frame ends right after (an error answer carries no data).
constexpr uint32_t kBinaryHeader = 3;
constexpr uint32_t kBinaryErrorFrame = 5;
// An ASCII answer's address, id, command and status: a failing status may
// come with any payload.
constexpr uint32_t kAsciiHeader = 4;

} // namespace

// The last good answer to the same request, in bytes (0: none seen yet).
uint16_t TEngine::ExpectedAnswerBytes() const
{
    const TAnswerSize &s = m_answerSizes[m_MBMasterCommandToSlave];
    const bool same = s.address == m_MBMasterAddressToSlave && s.id == m_MBMasterIDToSlave
                      && s.query == m_MBMasterQueryMode;
    return same ? s.bytes : 0;
}

void TEngine::LearnAnswerSize()
{
    m_answerSizes[m_MBMasterCommandToSlave] = {m_MBMasterAddressToSlave, m_MBMasterIDToSlave, m_MBMasterQueryMode,
                                               m_MBNumberOfReceivedBytes};
}

void TEngine::ForgetAnswerSizes()
{
    m_answerSizes.fill({});
}

// How many characters the answer being received still needs: first up to its
// header, whose code may end it early, then up to the size of the last good
// answer to the same request. Never more than it certainly or most likely
// needs, so that its end is read when it has come. 0 when nothing is known
// (no answer begun, a request never answered yet, an ASCII failure status):
// then each character is taken as it comes.
uint32_t TEngine::AnswerCharsAhead() const
{
    if (!m_awaitingAnswer || m_rxOverflowed)
        return 0;
    const uint32_t bytes = m_MBNumberOfReceivedBytes;
    uint32_t have = 0;
    uint32_t want = 0;
    if (m_MBMode == modeMaster) {
        // The last character read (the hint follows a read): a low nibble
        // waiting for its high one, while no frame is open, begins the answer
        // as far as anyone can tell.
        const bool lowNibbleWaits = !(m_RxLastChar & 0x40);
        if (bytes == 0 && !lowNibbleWaits)
            return 0; // no frame begun
        have = 2 * bytes + (lowNibbleWaits ? 1 : 0);
        uint32_t frame = kBinaryHeader;
        if (bytes >= kBinaryHeader)
            frame = m_RxBuffer[2] > 128 ? kBinaryErrorFrame : ExpectedAnswerBytes();
        want = 2 * frame;
    } else if (m_MBMode == modeASCIIMaster) {
        if (!m_AsciiFrameOpen)
            return 0;
        have = 1 + 2 * bytes + (m_AsciiHighNibbleNext ? 0 : 1); // 'S' and the digits
        if (bytes < kAsciiHeader) {
            want = 1 + 2 * kAsciiHeader;
        } else if (m_RxBuffer[3] < 254) {
            const uint32_t frame = ExpectedAnswerBytes();
            want = frame > 0 ? 1 + 2 * frame + 1 : 0; // and ';'
        }
    }
    return want > have ? want - have : 0;
}

void TEngine::HintLink()
{
    if (!m_link || !m_LinkOpen || m_hintsOff)
        return;
    const uint32_t ahead = AnswerCharsAhead();
    if (ahead < 2)
        return;
    m_hintedChars = ahead;
    m_link->ExpectChars(ahead);
}

// At the answer's time-out: the link may still hold characters back for its
// hint. They are read first, so that an answer which has come in full ends its
// transaction rather than being asked again or timed out. True when the
// transaction has ended (or a new one has begun from its end event).
bool TEngine::HeldAnswerEnded()
{
    if (m_hintedChars == 0 || !m_awaitingAnswer)
        return false;
    const uint32_t serial = m_transactionSerial;
    constexpr uint32_t kChunk = 4096;
    for (;;) {
        const std::ptrdiff_t got = HandleRxData(kChunk, false);
        if (serial != m_transactionSerial || !m_awaitingAnswer)
            return true;
        if (got < static_cast<std::ptrdiff_t>(kChunk) || !m_link)
            return false;
    }
}

} // namespace mbcore::detail
